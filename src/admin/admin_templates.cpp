#include "admin/admin_templates.h"

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include "admin/xml_reader.h"
#include "config/configuration_manager.h"
#include "config/environment_store_internal.h"
#include "config/settings.h"
#include "eventlog/event_log.h"

namespace orvix::admin {
namespace {

using orvix::config::internal::config_parameter_action_names;
using orvix::config::internal::describe_config_parameter_action;
using orvix::config::internal::kMaxStartDelaySeconds;

// Bumped when the generator writes different templates from the same catalogue.
constexpr char kGeneratorFormat[] = "orvix-admx-1";
constexpr char kNamespace[] = "Quillon.Policies.Orvix";
constexpr char kSupportedOn[] = "SUPPORTED_OrvixAgent";
constexpr char kRootCategory[] = "Orvix";

const char* admin_key() { return cVORN_MGMT_CFG_MGR_REG::kAdminPoliciesKey; }
const char* orvix_key() { return cVORN_MGMT_CFG_MGR_REG::kOrvixPoliciesKey; }
const char* defaults_key() { return cVORN_MGMT_CFG_MGR_REG::kAdminDefaultsKey; }

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Words of setting names that read better spelt out or in capitals.
const std::map<std::string, std::string>& word_table() {
    static const std::map<std::string, std::string> table = {
        {"aes", "AES"},
        {"amd", "AMD"},
        {"api", "API"},
        {"bpp", "BPP"},
        {"bw", "bandwidth"},
        {"ca", "CA"},
        {"cad", "CAD"},
        {"ccd", "CCD"},
        {"cert", "certificate"},
        {"d3d", "D3D"},
        {"decomp", "decompression"},
        {"dsp", "DSP"},
        {"efe", "EFE"},
        {"fb", "frame buffer"},
        {"fips", "FIPS"},
        {"gl", "GL"},
        {"guid", "GUID"},
        {"h264", "H.264"},
        {"img", "image"},
        {"ip", "IP"},
        {"ipc", "IPC"},
        {"ipv4", "IPv4"},
        {"ipv6", "IPv6"},
        {"iso", "ISO"},
        {"mac", "MAC"},
        {"macos", "macOS"},
        {"mtu", "MTU"},
        {"netcongestion", "network congestion"},
        {"num", "number of"},
        {"nvidia", "NVIDIA"},
        {"orvix", "Orvix"},
        {"perf", "performance"},
        {"pkt", "packet"},
        {"rtt", "RTT"},
        {"sni", "SNI"},
        {"ssig", "SSIG"},
        {"ssl", "SSL"},
        {"tcp", "TCP"},
        {"tls", "TLS"},
        {"topo", "topology"},
        {"udp", "UDP"},
        {"udpport", "UDP port"},
        {"url", "URL"},
        {"usb", "USB"},
        {"vcs", "VCS"},
        {"vchan", "virtual channel"},
        {"yuv", "YUV"},
        {"mb", "MB"},
        {"agentdll", "agent DLL"},
        {"apis", "APIs"},
        {"hdr", "header"},
        {"mon", "monitoring"},
        {"os", "OS"},
        {"ui", "UI"},
        {"xml", "XML"},
        {"dt", "DT"},
        {"ms", "ms"},
        {"msec", "ms"},
    };
    return table;
}

// A unit at the end of a name, shown in parentheses.
const std::map<std::string, std::string>& unit_table() {
    static const std::map<std::string, std::string> table = {
        {"ms", "ms"}, {"msec", "ms"}, {"sec", "seconds"}, {"secs", "seconds"},
        {"mb", "MB"}, {"ppm", "ppm"}, {"mpps", "Mpps"},   {"seconds", "seconds"},
    };
    return table;
}

// "orvix.image_cache_size_mb" -> "Image cache size (MB)".
std::string readable_name(const std::string& setting) {
    std::string rest = setting.rfind("orvix.", 0) == 0 ? setting.substr(6) : setting;
    std::vector<std::string> words;
    std::string word;
    for (char c : rest + "_") {
        if (c == '_' || c == '.') {
            if (!word.empty()) words.push_back(lower(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        const bool last = i + 1 == words.size() && i > 0;
        const auto unit = unit_table().find(w);
        std::string shown;
        if (last && unit != unit_table().end() && words[i - 1] != "per" && words[i - 1] != "in") {
            shown = "(" + unit->second + ")";
        } else {
            const auto mapped = word_table().find(w);
            shown = mapped != word_table().end() ? mapped->second : w;
        }
        if (!out.empty()) out += ' ';
        out += shown;
    }
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

std::string policy_name_of(const std::string& setting) {
    std::string name;
    for (char c : setting) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        name.push_back(ok ? c : '_');
    }
    return name;
}

uint32_t width_bits(uint32_t value_type) {
    switch (value_type) {
        case ENV_VALUE_UINT8:
            return 8;
        case ENV_VALUE_UINT16:
            return 16;
        default:
            return 32;
    }
}

uint32_t width_max(uint32_t bits) { return bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }

// The defaults as the store computes them at start-up, in a block of our own.
struct Defaults {
    Defaults() : block(std::make_unique<sVORN_MGMT_ENV_CONTROL_BLOCK>()) {
        mgmt_vorn_env_set_defaults(block.get(), false);
    }
    uint32_t number(uint32_t index, uint32_t value_type) const {
        const uint8_t* slot = block->default_slots[index];
        switch (value_type) {
            case ENV_VALUE_UINT8:
                return slot[0];
            case ENV_VALUE_UINT16: {
                uint16_t v;
                std::memcpy(&v, slot, sizeof v);
                return v;
            }
            default: {
                uint32_t v;
                std::memcpy(&v, slot, sizeof v);
                return v;
            }
        }
    }
    std::string text(uint32_t index) const {
        const char* slot = reinterpret_cast<const char*>(block->default_slots[index]);
        return std::string(slot, strnlen(slot, VORN_MGMT_ENV_SLOT_SIZE));
    }
    std::unique_ptr<sVORN_MGMT_ENV_CONTROL_BLOCK> block;
};

bool startup_only(eENV_MODIFICATION modification) { return (modification & ENV_MOD_STARTUP_ONLY) != 0; }

const char* kTakesEffectLater =
    "Takes effect at the next start of the agent: a change or a removal while it runs waits until then.";
const char* kTakesEffectNow = "Takes effect while the agent runs, about a second after the change.";

TemplateSetting setting_of_row(uint32_t index, const sVORN_ENV_LOOKUP_ENTRY& row, const Defaults& defaults) {
    TemplateSetting s;
    s.value_name = row.name;
    s.policy_name = policy_name_of(row.name);
    s.display_name = readable_name(row.name);
    std::string d = "Sets the agent setting " + s.value_name + ".\n\n";
    if (row.value_class == ENV_CLASS_TEXT) {
        s.kind = PolicyKind::Text;
        s.max_length = kTextPolicyMaxLength;
        s.default_text = defaults.text(index);
        d += "Type: text of at most 511 bytes (one byte per ASCII character); white space at either end is "
             "removed.\n";
        d += s.default_text.empty() ? "Default: empty.\n" : "Default: \"" + s.default_text + "\".\n";
    } else {
        s.kind = PolicyKind::Number;
        const uint32_t bits = width_bits(row.value_type);
        s.default_number = defaults.number(index, row.value_type);
        d += "Type: number, " + std::to_string(bits) + "-bit unsigned" +
             (row.value_type == ENV_VALUE_ENUM ? " (an enumeration)" : "") + ".\n";
        if (row.range_checked == ENV_RANGE_CHECKED && row.max_value > width_max(bits)) {
            // A checked range wider than the value: the agent clamps to it and then keeps
            // the low bits, so only the part that fits is offered.
            s.min_value = row.min_value < width_max(bits) ? row.min_value : width_max(bits);
            s.max_value = width_max(bits);
            d += "Range: " + std::to_string(s.min_value) + " to " + std::to_string(s.max_value) +
                 ", the whole range of the value; a larger number set by other means is clamped to " +
                 std::to_string(row.max_value) + " and then keeps only its low " + std::to_string(bits) +
                 " bits.\n";
        } else if (row.range_checked == ENV_RANGE_CHECKED) {
            s.min_value = row.min_value;
            s.max_value = row.max_value;
            d += "Range: " + std::to_string(s.min_value) + " to " + std::to_string(s.max_value) +
                 ", enforced: the agent clamps a number outside it to the nearest bound.\n";
        } else {
            s.min_value = 0;
            s.max_value = width_max(bits);
            d += "Range: 0 to " + std::to_string(s.max_value) + ", the whole range of the value";
            d += bits < 32 ? "; a larger number set by other means keeps only its low " +
                                 std::to_string(bits) + " bits.\n"
                           : ".\n";
            if (row.min_value != 0 || row.max_value != 0) {
                d += "Suggested range: " + std::to_string(row.min_value) + " to " +
                     std::to_string(row.max_value) + ", not enforced by the agent.\n";
            }
        }
        d += "Default: " + std::to_string(s.default_number) + ".\n";
    }
    d += startup_only(row.modification) ? kTakesEffectLater : kTakesEffectNow;
    s.description = d;
    return s;
}

TemplateSetting setting_of_action(const std::string& name) {
    TemplateSetting s;
    s.value_name = name;
    s.policy_name = policy_name_of(name);
    s.kind = PolicyKind::Number;
    s.in_defaults = false;
    s.min_value = 0;
    const std::string described = describe_config_parameter_action(name, 0);
    const std::string marker = "log level of VORN_EVENT_CAT_";
    const size_t at = described.find(marker);
    if (at != std::string::npos) {
        const size_t begin = at + marker.size();
        const std::string category = described.substr(begin, described.find(' ', begin) - begin);
        s.max_value = VORN_EVENT_LEVEL_NOT_SET;
        s.default_number = VORN_EVENT_LEVEL_NOT_SET;
        s.display_name = "Log level of the " + category + " events";
        s.description =
            "Lets the event log category " + category +
            " log more than the agent's log level: the category logs every message up to the more "
            "verbose of this level and the agent's own. 0 critical, 1 error, 2 info, 3 debug, "
            "4 trace, 5 not set (the agent's level alone). A larger number sets 3.\n\n"
            "Type: number.\nRange: 0 to 5.\nDefault: not set.\n"
            "Takes effect whenever the agent reads its policies: at start and about a second after "
            "a change. A removed value leaves the threshold as it is until the agent restarts.";
    } else if (name == "orvix.start_delay_time") {
        s.max_value = kMaxStartDelaySeconds;
        s.display_name = "Start delay (seconds)";
        s.description =
            "The agent waits this many seconds when it reads its policies at start, and again each "
            "time it reads them after a change. A number above 30 waits 30 seconds.\n\n"
            "Type: number.\nRange: 0 to 30.\nDefault: no delay.\n"
            "Takes effect the next time the agent reads its policies.";
    } else {
        throw std::logic_error("no administrative template for the action name " + name);
    }
    return s;
}

std::string where_paragraph(const TemplateSetting& s, const TemplateCategory& c) {
    const std::string value = std::string(s.kind == PolicyKind::Number ? "REG_DWORD" : "REG_SZ") +
                              " value \"" + s.value_name + "\" under HKEY_LOCAL_MACHINE\\" + c.key + ".";
    if (!s.in_defaults) {
        return "Enabled: writes the " + value +
               " The agent acts on this name under each key it reads its settings from, in turn; set it in "
               "one "
               "place only.\n\nDisabled or not configured: the value is removed.";
    }
    if (std::strcmp(c.key, admin_key()) == 0) {
        return "Enabled: writes the " + value + " It wins over the same value under HKEY_LOCAL_MACHINE\\" +
               orvix_key() +
               " and over the defaults users may override.\n\nDisabled or not configured: the value " +
               "is removed, and the agent takes the setting from those places or uses its default.";
    }
    return "Enabled: writes the " + value + " The same value under HKEY_LOCAL_MACHINE\\" + admin_key() +
           " or HKEY_LOCAL_MACHINE\\" + orvix_key() +
           " wins over this one.\n\nDisabled or not configured: the value is removed, and the agent uses its "
           "default where neither of those keys sets the value.";
}

uint64_t fnv1a(uint64_t hash, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

uint64_t fnv1a_text(uint64_t hash, const char* text) {
    const char* t = text != nullptr ? text : "";
    return fnv1a(hash, t, std::strlen(t) + 1);  // with the NUL, so "ab"+"c" differs from "a"+"bc"
}

std::string string_ref(const std::string& id) { return "$(string." + id + ")"; }

}  // namespace

const std::vector<TemplateCategory>& template_categories() {
    static const std::vector<TemplateCategory> categories = {
        {"Orvix_Policies", admin_key(), "", "admin policies"},
        {"Orvix_Defaults", defaults_key(), "_Default", "over-rideable admin defaults"},
    };
    return categories;
}

std::vector<sVORN_ENV_LOOKUP_ENTRY> catalogue_rows() {
    std::vector<sVORN_ENV_LOOKUP_ENTRY> rows;
    for (uint32_t index = 0; index <= get_num_entries() + 1; ++index) rows.push_back(get_entry(index));
    return rows;
}

std::vector<TemplateSetting> template_settings() {
    const Defaults defaults;
    std::vector<TemplateSetting> settings;
    for (uint32_t index = 1; index <= get_num_entries(); ++index) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
        if (row.configurable != ENV_CONFIGURABLE) continue;
        if (row.value_class != ENV_CLASS_NUMBER && row.value_class != ENV_CLASS_TEXT) continue;
        settings.push_back(setting_of_row(index, row, defaults));
    }
    for (const std::string& name : config_parameter_action_names())
        settings.push_back(setting_of_action(name));

    // Display names and policy names must each be unique in the editor and the namespace.
    std::map<std::string, int> shown;
    for (const auto& s : settings) ++shown[s.display_name];
    std::set<std::string> names;
    for (auto& s : settings) {
        if (shown[s.display_name] > 1) s.display_name += " (" + s.value_name + ")";
        for (const auto& c : template_categories()) {
            if (!names.insert(s.policy_name + c.policy_suffix).second) {
                throw std::logic_error("two settings make the policy name " + s.policy_name +
                                       c.policy_suffix);
            }
        }
    }
    return settings;
}

std::string template_revision(const std::vector<sVORN_ENV_LOOKUP_ENTRY>& rows) {
    uint64_t hash = fnv1a_text(0xCBF29CE484222325ull, kGeneratorFormat);
    for (const auto& row : rows) {
        hash = fnv1a_text(hash, row.name);
        const uint32_t fields[] = {row.value_type,   row.category,    static_cast<uint32_t>(row.modification),
                                   row.configurable, row.value_class, row.range_checked,
                                   row.min_value,    row.max_value};
        hash = fnv1a(hash, fields, sizeof fields);
        hash = fnv1a_text(hash, row.default_value);
    }
    for (const std::string& name : config_parameter_action_names()) hash = fnv1a_text(hash, name.c_str());
    // The schema allows four digits before the point and five after it.
    const uint64_t major = 1 + hash % 9999;
    const uint64_t minor = (hash / 9999) % 100000;
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string template_revision() { return template_revision(catalogue_rows()); }

namespace {

// The XML declaration, the generated-file notice and the opening tag of the root element.
std::string document_head(const char* root, const std::string& revision) {
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<!-- Generated by orvix-env admx from the agent's settings catalogue; do not edit. -->\n<") +
           root +
           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" revision=\"" +
           revision +
           "\" schemaVersion=\"1.0\" "
           "xmlns=\"http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions\">\n";
}

}  // namespace

AdminTemplates generate_admin_templates() {
    const std::vector<TemplateSetting> settings = template_settings();
    AdminTemplates t;
    t.revision = template_revision();

    std::string& x = t.admx;
    x += document_head("policyDefinitions", t.revision);
    x += "  <policyNamespaces>\n    <target prefix=\"orvix\" namespace=\"" + std::string(kNamespace) +
         "\"/>\n  </policyNamespaces>\n";
    x += "  <resources minRequiredRevision=\"" + t.revision + "\"/>\n";
    x += "  <supportedOn>\n    <definitions>\n      <definition name=\"" + std::string(kSupportedOn) +
         "\" displayName=\"" + string_ref(kSupportedOn) + "\"/>\n    </definitions>\n  </supportedOn>\n";
    x += "  <categories>\n";
    x += "    <category name=\"" + std::string(kRootCategory) + "\" displayName=\"" +
         string_ref(kRootCategory) + "\"/>\n";
    for (const auto& c : template_categories()) {
        x += "    <category name=\"" + std::string(c.name) + "\" displayName=\"" + string_ref(c.name) +
             "\" explainText=\"" + string_ref(std::string(c.name) + "_Explain") +
             "\">\n      <parentCategory ref=\"" + kRootCategory + "\"/>\n    </category>\n";
    }
    x += "  </categories>\n  <policies>\n";

    std::string strings;
    auto add_string = [&strings](const std::string& id, const std::string& text) {
        strings += "      <string id=\"" + id + "\">" + xml_escape(text) + "</string>\n";
    };
    add_string(kRootCategory, "Quillon Orvix agent");
    add_string(kSupportedOn, "Orvix agent on 64-bit Windows");
    add_string("Orvix_Policies", "Agent settings");
    add_string("Orvix_Policies_Explain", std::string("Settings the agent reads from HKEY_LOCAL_MACHINE\\") +
                                             admin_key() +
                                             ". They win over every other source of the agent's settings.");
    add_string("Orvix_Defaults", "Defaults users may override");
    add_string("Orvix_Defaults_Explain",
               std::string("Defaults the agent reads from HKEY_LOCAL_MACHINE\\") + defaults_key() +
                   ". Each applies only where neither HKEY_LOCAL_MACHINE\\" + admin_key() +
                   " nor HKEY_LOCAL_MACHINE\\" + orvix_key() + " sets the same value.");

    std::string presentations;
    for (const auto& s : settings) {
        add_string(s.policy_name, s.display_name);
        presentations += "      <presentation id=\"" + s.policy_name + "\">\n";
        if (s.kind == PolicyKind::Number) {
            uint32_t shown = s.default_number;
            if (shown < s.min_value) shown = s.min_value;
            if (shown > s.max_value) shown = s.max_value;
            presentations += "        <decimalTextBox refId=\"" + s.policy_name + "\" defaultValue=\"" +
                             std::to_string(shown) + "\">" + xml_escape(s.display_name) +
                             "</decimalTextBox>\n";
        } else {
            presentations += "        <textBox refId=\"" + s.policy_name + "\">\n          <label>" +
                             xml_escape(s.display_name) + "</label>\n";
            if (!s.default_text.empty()) {
                presentations +=
                    "          <defaultValue>" + xml_escape(s.default_text) + "</defaultValue>\n";
            }
            presentations += "        </textBox>\n";
        }
        presentations += "      </presentation>\n";
    }

    for (const auto& c : template_categories()) {
        for (const auto& s : settings) {
            if (!s.in_defaults && std::strcmp(c.key, admin_key()) != 0) continue;
            const std::string name = s.policy_name + c.policy_suffix;
            add_string(name + "_Explain", s.description + "\n\n" + where_paragraph(s, c));
            x += "    <policy name=\"" + name + "\" class=\"Machine\" displayName=\"" +
                 string_ref(s.policy_name) + "\" explainText=\"" + string_ref(name + "_Explain") +
                 "\" presentation=\"$(presentation." + s.policy_name + ")\" key=\"" + xml_escape(c.key) +
                 "\">\n";
            x += "      <parentCategory ref=\"" + std::string(c.name) + "\"/>\n";
            x += "      <supportedOn ref=\"" + std::string(kSupportedOn) + "\"/>\n      <elements>\n";
            if (s.kind == PolicyKind::Number) {
                x += "        <decimal id=\"" + s.policy_name + "\" valueName=\"" + xml_escape(s.value_name) +
                     "\" required=\"true\" minValue=\"" + std::to_string(s.min_value) + "\" maxValue=\"" +
                     std::to_string(s.max_value) + "\"/>\n";
            } else {
                x += "        <text id=\"" + s.policy_name + "\" valueName=\"" + xml_escape(s.value_name) +
                     "\" maxLength=\"" + std::to_string(s.max_length) + "\"/>\n";
            }
            x += "      </elements>\n    </policy>\n";
        }
    }
    x += "  </policies>\n</policyDefinitions>\n";

    std::string& l = t.adml;
    l += document_head("policyDefinitionResources", t.revision);
    l += "  <displayName>Quillon Orvix agent</displayName>\n";
    l += "  <description>Settings of the Orvix agent, generated from its settings catalogue.</description>\n";
    l += "  <resources>\n    <stringTable>\n" + strings + "    </stringTable>\n    <presentationTable>\n" +
         presentations + "    </presentationTable>\n  </resources>\n</policyDefinitionResources>\n";
    return t;
}

}  // namespace orvix::admin
