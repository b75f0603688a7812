#include "config/imaging_parameters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using orvix::config::internal::g_imaging_parameters;
using orvix::config::internal::ImagingParameterKind;
using orvix::config::internal::ImagingParameterRow;

// The documented table, group by group, expanded into one expectation per parameter.
constexpr const char* kDocumentedTable =
#include "config/imaging_parameter_table.inc"
    ;

struct Expected {
    std::string name;
    ImagingParameterKind kind = ImagingParameterKind::kNumber;
    int32_t minimum = 0, maximum = 0;
    std::string initial;           // the value before any file is read, as text
    bool absolute_folder = false;  // InputFolder: any absolute folder of the platform
};

std::string trim(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> split(const std::string& s, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = s.find(separator, start)) != std::string::npos; start = at + separator.size()) {
        parts.push_back(s.substr(start, at - start));
    }
    parts.push_back(s.substr(start));
    return parts;
}

std::string unquote(const std::string& s) {
    EXPECT_TRUE(s.size() >= 2 && s.front() == '"' && s.back() == '"') << s;
    return s.substr(1, s.size() - 2);
}

std::vector<Expected> documented_rows() {
    std::vector<Expected> rows;
    std::istringstream in(kDocumentedTable);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("| ", 0) != 0 || line.rfind("| Rows ", 0) == 0) continue;
        std::vector<std::string> cell = split(line.substr(1, line.size() - 2), "|");
        for (auto& c : cell) c = trim(c);
        EXPECT_EQ(cell.size(), 4u) << line;
        if (cell.size() != 4) continue;
        const std::string& kind = cell[1];
        const std::string& bounds = cell[2];
        const std::string& initial = cell[3];
        const bool as_written = initial.rfind("as written", 0) == 0;

        std::vector<std::string> names, written;
        for (std::string token : split(cell[0], ", ")) {
            if (token.rfind("then ", 0) == 0) token = token.substr(5);
            if (as_written) {
                const size_t space = token.rfind(' ');
                written.push_back(token.substr(space + 1));
                token = token.substr(0, space);
            }
            const size_t to = token.find(" to ");
            if (to == std::string::npos) {
                names.push_back(token);
                continue;
            }
            // "chromaHH_0 to chromaHH_3"
            const std::string first = token.substr(0, to), last = token.substr(to + 4);
            const std::string stem = first.substr(0, first.find_last_not_of("0123456789") + 1);
            for (int i = std::stoi(first.substr(stem.size())); i <= std::stoi(last.substr(stem.size()));
                 ++i) {
                names.push_back(stem + std::to_string(i));
            }
        }

        std::vector<std::string> values(names.size());
        std::smatch except;
        const std::regex except_form(R"((-?\d+), except (\S+) \(and so (\S+)\) (-?\d+))");
        if (as_written) {
            values = written;
        } else if (std::regex_match(initial, except, except_form)) {
            for (size_t i = 0; i < names.size(); ++i) {
                values[i] =
                    names[i] == except[2] || names[i] == except[3] ? except[4].str() : except[1].str();
            }
        } else if (!initial.empty() && initial.front() == '"') {
            std::vector<std::string> texts = split(initial, ", ");
            for (size_t i = 0; i < names.size(); ++i)
                values[i] = unquote(texts.size() == 1 ? texts[0] : texts.at(i));
        } else {
            for (auto& v : values) v = initial;
        }

        for (size_t i = 0; i < names.size(); ++i) {
            Expected e;
            e.name = names[i];
            e.kind = kind == "text"   ? ImagingParameterKind::kText
                     : kind == "flag" ? ImagingParameterKind::kFlag
                                      : ImagingParameterKind::kNumber;
            EXPECT_TRUE(kind == "text" || kind == "flag" || kind == "number") << line;
            if (!bounds.empty()) {
                const size_t dots = bounds.find("..");
                e.minimum = std::stoi(bounds.substr(0, dots));
                e.maximum = std::stoi(bounds.substr(dots + 2));
            }
            e.absolute_folder = initial.rfind("an absolute folder", 0) == 0;
            e.initial = values[i];
            rows.push_back(e);
        }
    }
    return rows;
}

const char* kind_name(ImagingParameterKind kind) {
    switch (kind) {
        case ImagingParameterKind::kNumber:
            return "number";
        case ImagingParameterKind::kText:
            return "text";
        case ImagingParameterKind::kFlag:
            return "flag";
    }
    return "?";
}

TEST(ImagingParameters, EveryRowHasTheDocumentedNameKindBoundsAndDefault) {
    const std::vector<Expected> expected = documented_rows();
    const auto table = orvix::config::internal::imaging_parameter_table();
    ASSERT_EQ(expected.size(), 152u) << "the documented table expands to 152 rows";
    ASSERT_EQ(table.size(), expected.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const ImagingParameterRow& row = table[i];
        const Expected& e = expected[i];
        SCOPED_TRACE("row " + std::to_string(i) + " " + e.name);
        EXPECT_EQ(row.name, e.name);
        EXPECT_STREQ(kind_name(row.kind), kind_name(e.kind));
        if (e.kind == ImagingParameterKind::kNumber) {
            EXPECT_EQ(row.minimum, e.minimum);
            EXPECT_EQ(row.maximum, e.maximum);
        }
        // The storage holds the default from process start, and the record of defaults agrees.
        const std::string value = orvix::config::internal::imaging_value_text(row);
        EXPECT_EQ(orvix::config::internal::imaging_default_text(row), value);
        if (e.absolute_folder) {
            EXPECT_TRUE(std::filesystem::path(value).is_absolute()) << value;
        } else {
            EXPECT_EQ(value, e.initial);
        }
    }
}

TEST(ImagingParameters, EveryNameHasItsOwnStorageExceptTheFirstDisplaysFrameRange) {
    const auto table = orvix::config::internal::imaging_parameter_table();
    std::set<const void*> targets;
    std::set<std::string> names;
    const char* const begin = reinterpret_cast<const char*>(&g_imaging_parameters);
    for (const ImagingParameterRow& row : table) {
        names.insert(row.name);
        targets.insert(row.target);
        const char* at = static_cast<const char*>(row.target);
        EXPECT_TRUE(at >= begin && at < begin + sizeof g_imaging_parameters) << row.name;
    }
    EXPECT_EQ(names.size(), 152u);
    EXPECT_EQ(targets.size(), 149u);
    for (const char* base : {"StartFrame", "EndFrame", "NumOfFrame"}) {
        EXPECT_EQ(orvix::config::internal::find_imaging_parameter(base)->target,
                  orvix::config::internal::find_imaging_parameter(std::string(base) + "[0]")->target);
    }
    // Direct readers see the same storage as readers by name.
    EXPECT_EQ(orvix::config::internal::find_imaging_parameter("NumOfFrame")->target,
              &g_imaging_parameters.NumOfFrame[0]);
    EXPECT_EQ(orvix::config::internal::find_imaging_parameter("HostVideo[3]")->target,
              &g_imaging_parameters.HostVideo[3]);
    EXPECT_EQ(orvix::config::internal::find_imaging_parameter("lumaLH_2")->target,
              &g_imaging_parameters.lumaLH_2);
}

TEST(ImagingParameters, ReadingByNameIsTypedAndCaseSensitive) {
    EXPECT_EQ(orvix::config::internal::imaging_number("NumOfFrame"), 3000);
    EXPECT_EQ(orvix::config::internal::imaging_number("no_bound_txt_5_nee_peak"), 65535);
    EXPECT_EQ(orvix::config::internal::imaging_number("always_decimate"), 0);
    EXPECT_EQ(orvix::config::internal::imaging_text("HostVideo[0]"), "menu-ref2.tsc");
    EXPECT_EQ(orvix::config::internal::imaging_text("OutputFolder"), ".\\");
    EXPECT_EQ(orvix::config::internal::imaging_number("TestName"), std::nullopt) << "a text is not a number";
    EXPECT_EQ(orvix::config::internal::imaging_text("NumDisplays"), std::nullopt) << "a number is not a text";
    EXPECT_EQ(orvix::config::internal::imaging_number("numdisplays"), std::nullopt);
    EXPECT_EQ(orvix::config::internal::find_imaging_parameter("StartFrame[4]"), nullptr);
    EXPECT_EQ(orvix::config::internal::find_imaging_parameter(std::string_view("NumDisplays\0x", 13)),
              nullptr);

    g_imaging_parameters.NumDisplays = 3;
    EXPECT_EQ(orvix::config::internal::imaging_number("NumDisplays"), 3);
    EXPECT_EQ(orvix::config::internal::imaging_default_text(
                  *orvix::config::internal::find_imaging_parameter("NumDisplays")),
              "1");
}

}  // namespace
