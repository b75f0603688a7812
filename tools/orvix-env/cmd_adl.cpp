// orvix-env adl: loads the AMD display library as the agent does and prints what it
// reports (adapters, connectors, displays, modes) through the TRACE dumps of the ADL
// object. When the library does not load, the loader's lines say why. With --json the
// ADL object's lines, the versions and every failure are collected into one document;
// its errors still reach standard error as the terminal logger writes them.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "eventlog/event_log.h"
#include "json_output.h"
#include "logging/terminal_logger.h"
#include "platform/adl.h"
#include "platform/signature_check.h"
#include "text_output.h"

namespace orvix_env {

namespace {

// Static: the ADL instance keeps a clone that writes through this logger until exit.
orvix::logging::TerminalLogger& terminal_root() {
    static orvix::logging::TerminalLogger root(VORN_EVENT_CAT_VIDEO_DRIVER, 4, false);
    return root;
}

// Whether the object reported that a library file loaded: a later "failed to load DLL"
// then means that the library lacks an entry point, not that it was not found.
std::atomic<bool> g_library_loaded{false};

void note_loaded(const char* message) {
    if (std::string_view(message).rfind("Successfully loaded ", 0) == 0) g_library_loaded = true;
}

// Every line the ADL object and its clones write, for --json.
struct Collected {
    std::mutex mutex;
    Json lines = Json::array();
};

Collected& collected() {
    static Collected all;
    return all;
}

// The ADL object's logger. Its lines go to the terminal logger with the library's texts
// (adapter and display names, ...) made printable; with --json they are collected for the
// document instead, and only the errors also reach standard error.
class ToolLogger : public orvix::logging::LoggerBase {
  public:
    explicit ToolLogger(uint32_t category) : LoggerBase(4), category_(category) {}

    void write(const std::string& message, uint32_t level, const int32_t& code) override {
        write(message.c_str(), level, code);
    }
    void write(const char* message, uint32_t level, int32_t code) override {
        if (level > maxLevel) return;
        if (message == nullptr) message = "";
        note_loaded(message);
        if (json_output()) {
            std::lock_guard<std::mutex> lock(collected().mutex);
            std::string name = orvix::logging::levelName(level);
            name.erase(name.find_last_not_of(' ') + 1);
            collected().lines.push_back(
                {{"level", name}, {"category", category_}, {"code", code}, {"message", message}});
        }
        if (!json_output() || level <= 1) {
            orvix::logging::TerminalLogger(category_, &terminal_root()).write(printable(message, false), level, code);
        }
    }
    std::unique_ptr<LoggerBase> clone() const override { return clone(kKeepCategory); }
    std::unique_ptr<LoggerBase> clone(uint32_t category) const override {
        return std::make_unique<ToolLogger>(category == kKeepCategory ? category_ : category);
    }

  private:
    uint32_t category_;
};

// A fixed-size field of the library's records, up to its terminating zero if any.
Json error_json(const std::error_code& code) {
    return {{"message", code.message()}, {"category", code.category().name()}, {"code", code.value()}};
}

// The failures of the operations, for --json.
Json g_failures = Json::array();

void report(const char* operation, int adapter, const std::error_code& code) {
    if (!code) return;
    if (json_output()) {
        Json failure = {{"operation", operation}, {"adapter", adapter}};
        failure.update(error_json(code));
        g_failures.push_back(std::move(failure));
        return;
    }
    std::printf("%s for adapter %d: %s (%s %d)\n", operation, adapter, printable(code.message(), false).c_str(),
                code.category().name(), code.value());
}

Json collected_lines() {
    std::lock_guard<std::mutex> lock(collected().mutex);
    return collected().lines;
}

// What really failed, where the object's own words would mislead.
std::string failure_reason(const std::system_error& e) {
    if (g_library_loaded && e.code() == orvix::make_error_code(orvix::AdlInternalError::LoadFailed)) {
        return "the library file loaded, but it lacks an entry point the agent binds, so it is not used (the "
               "object reports this as \"" + e.code().message() + "\")";
    }
    return e.what();
}

}  // namespace

int run_adl() {
    std::shared_ptr<orvix::iADL> adl;
    try {
        adl = orvix::getAdlInstance(std::make_unique<ToolLogger>(VORN_EVENT_CAT_VIDEO_DRIVER));
    } catch (const std::system_error& e) {
        const bool verifiable = orvix::signatureVerificationAvailable();
        if (json_output()) {
            print_json({{"available", false},
                        {"reason", failure_reason(e)},
                        {"category", e.code().category().name()},
                        {"code", e.code().value()},
                        {"signature_verification", verifiable},
                        {"lines", collected_lines()}});
            return 1;
        }
        std::printf("The AMD display library is not available: %s (%s %d)\n", failure_reason(e).c_str(),
                    e.code().category().name(), e.code().value());
        if (!verifiable) {
            std::printf(
                "This platform cannot verify Authenticode signatures, so the signed loader refuses every "
                "library.\n");
        }
        return 1;
    }

    Json document = {{"available", true}, {"driver", nullptr}, {"software", nullptr}};
    ADLVersionsInfoX2 versions{};
    if (!adl->getGraphicsVersions(versions)) {
        const std::string driver = std::string(adlText(versions.strDriverVer));
        const std::string software = std::string(adlText(versions.strCrimsonVersion));
        document["driver"] = driver;
        document["software"] = software;
        if (!json_output()) {
            std::printf("driver %s, software %s\n", printable(driver, false).c_str(), printable(software, false).c_str());
        }
    }
    std::map<int32_t, AdapterInfo> adapters;
    const std::error_code listed = adl->getAdaptersInfo(adapters);
    if (listed) {
        if (json_output()) {
            document["adapters"] = 0;
            document["adapters_error"] = error_json(listed);
            document["lines"] = collected_lines();
            print_json(document);
            return 1;
        }
        std::printf("no AMD adapters: %s (%s %d)\n", printable(listed.message(), false).c_str(), listed.category().name(),
                    listed.value());
        return 1;
    }
    for (const auto& [position, info] : adapters) {
        const int index = info.iAdapterIndex;
        orvix::AdapterProps props;
        report("getAdapterProps", index, adl->getAdapterProps(index, props));
        std::vector<ADLDisplayInfo> displays;
        report("getAdapterDisplays", index, adl->getAdapterDisplays(index, displays));
        for (const ADLDisplayInfo& display : displays) {
            std::vector<ADLMode> modes;
            report("getDisplayModes", index, adl->getDisplayModes(index, display.displayID.iDisplayLogicalIndex, modes));
        }
    }
    if (json_output()) {
        document["adapters"] = adapters.size();
        document["adapters_error"] = nullptr;
        document["failures"] = std::move(g_failures);
        document["lines"] = collected_lines();
        print_json(document);
    }
    return 0;
}

ORVIX_ENV_COMMAND(adl, "adl",
                  "load the AMD display library and dump its adapters, connectors, displays and modes (or say why "
                  "it did not load)",
                  declare_plain<run_adl>);

}  // namespace orvix_env
