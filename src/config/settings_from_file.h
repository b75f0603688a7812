// The configuration file source: a text file of "name = value" lines, the agent
// configuration file "orvix-agent.conf". The file is parsed into items, each item is
// converted by the settings catalogue into a setting value, and the file's modification
// time (at full resolution, together with its size) is the change signal. The file is
// opened only while it is read.
//
// Line format, one line at a time: blanks stripped from both ends; "#" starts a comment
// anywhere (there is no escape, also not inside quotation marks); the first "=" splits
// name from value, both stripped; quotation marks are removed from the value's end and
// then from its start, without pairing; an empty value is kept. Lines that are empty,
// have no "=" or start with "=" are skipped silently. Names must match catalogue names
// exactly; the first line naming a setting wins.
//
// The source has no lock: the configuration manager serialises every call.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "os/file_watcher.h"

namespace orvix::config::internal {

struct ConfigItem {
    std::string name;
    std::string value;
};

// One line of the format above, on its own (no logging): the item, or nothing for a
// line that yields none. The line ends before its line feed.
std::optional<ConfigItem> parse_config_line(std::string_view line);

// What one item becomes, on its own (no logging and no action taken).
struct ConfigItemConversion {
    enum class Kind {
        kNotInCatalogue,    // handed to apply_config_parameter_action with number and text
        kNumber,            // a number setting; number_read false: the value held no number (0 is used)
        kText,              // a text setting
        kUnsupportedClass,  // a catalogue row of another value class: not recorded
    };
    Kind kind = Kind::kNotInCatalogue;
    bool number_read = false;
    uint32_t number = 0;  // for kNotInCatalogue and kNumber
    SettingValue value;   // for kNumber and kText
};
ConfigItemConversion convert_config_item(const ConfigItem& item);

// The leading unsigned 32-bit decimal number of a value, read by formatted stream
// extraction (leading blanks skipped, stops at the first character that cannot continue
// it); false with 0 when there is none (also when it does not fit 32 bits).
bool read_config_number(const std::string& value, uint32_t* number);

class SettingsFromFile : public Settings {
public:
    static constexpr size_t kPathSize = 512;  // at most 511 characters and the NUL

    // Copies path (cut to 511 characters; null leaves it empty). Neither opens nor
    // examines the file.
    explicit SettingsFromFile(const char* path);

    // The file's settings; an empty map when it cannot be opened. Records the file's
    // modification time and size (zero when it cannot be examined) first.
    SettingsMap load() override;
    // 0; -502 for a missing argument; -500 when the file cannot be opened (the names
    // handed over are then emptied, so nothing is reported removed).
    int32_t reload_into(SettingsMap* merged, RemovedNames* removed) override;
    std::string source_name() const override { return path_; }
    // True when the file's modification time or size differs from the recorded one
    // (zero for a file that cannot be examined): written, replaced or deleted.
    bool has_changes() override;
    void refresh_timestamp() override;
    // The file's settings as a load would give them, read again now, without logging
    // and without acting on non-catalogue names.
    SettingsMap current_values() const override;

    // An input stream over the file, opened in text mode, shared with other readers and
    // writers; none (logged) when it cannot be opened.
    virtual std::unique_ptr<std::istream> load_file();
    // Converts the items into settings (the first line naming a setting wins, and an
    // entry already in settings stays) and records every number or text setting named
    // in the handed-over names. Always 0.
    virtual int32_t process_config(const std::vector<ConfigItem>& items, SettingsMap* settings);

    // Reads the stream line by line until its end or a read error; the items read.
    std::vector<ConfigItem> parse(std::istream& in);

    // The recorded modification time in whole seconds; 0 for none.
    int64_t recorded_time() const { return recorded_.modified_ns / 1000000000; }

protected:
    // The file's modification time and size; zero when it cannot be examined.
    orvix::os::FileStamp current_stamp() const;

    char path_[kPathSize] = {};
    orvix::os::FileStamp recorded_;
};

}  // namespace orvix::config::internal
