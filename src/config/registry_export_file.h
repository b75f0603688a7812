// Reads a file in the Windows registry export format ("Windows Registry Editor Version
// 5.00" or "REGEDIT4") and writes it into the registry of the seam below
// HKEY_LOCAL_MACHINE. On machines without a registry this is how an administrator's
// policy keys reach the in-process registry, so the layer can be tried out there.
//
// Understood: keys in brackets ("[HKEY_LOCAL_MACHINE\...]", "[-...]" deletes the key
// with everything below it), values as "name"= or @= followed by "text", dword:hex,
// hex:bytes, hex(N):bytes (lines continued with a trailing backslash) or - (delete the
// value), and comments starting with ";". The file is UTF-8 (with or without a byte-order
// mark) or UTF-16LE with its byte-order mark, as regedit writes it.
//
// A line that cannot be understood is reported with its number and skipped; the rest of
// the file still applies. Thread-safe as far as the registry seam is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvix::config {

// One operation of a registry export file, in file order.
struct RegistryFileEntry {
    enum class Kind { kKey, kDeleteKey, kSetValue, kDeleteValue };
    Kind kind = Kind::kKey;
    int line = 0;
    std::u16string key;   // below HKEY_LOCAL_MACHINE
    std::u16string name;  // value name; empty for the default value (@)
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegistryFileProblem {
    int line = 0;
    std::string message;
};

struct RegistryFile {
    std::vector<RegistryFileEntry> entries;
    std::vector<RegistryFileProblem> problems;
};

// Parses the bytes of a file. Never throws; every line it skips is in problems. A file
// whose first line is not the export header gives one problem (line 1's) and no entries;
// nothing after that line is looked at.
RegistryFile parse_registry_file(std::string_view bytes);

// True for a parsed file that was refused as a whole because it lacks the export header.
bool is_not_registry_export_file(const RegistryFile& file);

struct RegistryFileApplied {
    int keys = 0;             // keys created or opened
    int values = 0;           // values written
    int deleted = 0;          // values and keys deleted
    std::vector<RegistryFileProblem> problems;  // entries the registry refused
};

// Writes the entries into the registry. With previous (the file as it was applied last
// time) a value that the previous file set and this one no longer sets is deleted, so
// that editing the file and applying it again gives the registry the file's content.
RegistryFileApplied apply_registry_file(const RegistryFile& file, const RegistryFile* previous = nullptr);

}  // namespace orvix::config
