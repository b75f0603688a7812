// orvix-env logs [PATH...]: every log file of the given files and folders (by default
// this machine's log folder and archive folder) merged by time into one stream,
// filtered, as text or JSON Lines; --banners and --summary instead; --follow keeps
// printing what the agent writes. The reading itself is src/admin/log_reader.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "admin/log_reader.h"
#include "admin/utf8_path.h"
#include "commands.h"
#include "eventlog/log_files.h"
#include "interrupt.h"
#include "json_output.h"
#include "platform/text_conversion.h"
#include "text_output.h"

namespace orvix_env {
namespace {

using orvix::admin::LineKind;
using orvix::admin::LogFileReader;
using orvix::admin::LogFilter;
using orvix::admin::LogLine;
using orvix::admin::LogMerge;
using orvix::admin::LogSource;
using orvix::admin::LogSummary;
using orvix::admin::path_from_utf8;
namespace fs = std::filesystem;

constexpr auto kFollowPoll = std::chrono::milliseconds(100);

struct LogsOptions {
    std::vector<std::string> paths;
    int level = -1;
    std::vector<std::string> categories;
    std::string since, until, session, app, contains;
    int64_t process = -1;
    bool files = false, follow = false, summary = false, banners = false;
};

// Text from the files goes through the shared escaping rule; plain ASCII, nearly every
// line of a log file, is appended as it is without a copy.
void put_printable(std::string& out, std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
    });
    if (plain) {
        out.append(text);
    } else {
        out += printable(text, false);
    }
}

std::string shown(std::string_view text) { return printable(text, false); }

// A JSON string through the JSON library; plain ASCII is quoted as it is.
void put_json_string(std::string& out, std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f && c != '"' && c != '\\';
    });
    if (plain) {
        out.push_back('"');
        out.append(text);
        out.push_back('"');
        return;
    }
    out += Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string tag_of(const LogSource& source) {
    const std::string app = source.application();
    const int64_t pid = source.process_id();
    return (app.empty() ? std::string("?") : shown(app)) + "/" + (pid >= 0 ? std::to_string(pid) : "?");
}

// What every JSON line of a file carries about its source, made once per file.
std::string json_source_fields(const LogSource& source, bool with_file) {
    Json j;
    const std::string app = source.application();
    j["app"] = app.empty() ? Json(nullptr) : Json(app);
    j["process"] = source.process_id() >= 0 ? Json(source.process_id()) : Json(nullptr);
    if (source.banner.present) {
        const auto& b = source.banner;
        j["host"] = {{"os", b.os},
                     {"processors", b.processors},
                     {"architecture", b.architecture},
                     {"processor_type", b.processor_type},
                     {"physical_memory", b.physical_memory},
                     {"virtual_memory", b.virtual_memory},
                     {"utc_offset", b.utc_offset},
                     {"session_user", b.session_user}};
    }
    if (with_file) j["file"] = source.path;
    std::string text = j.dump(-1, ' ', false, Json::error_handler_t::replace);
    return text.substr(1, text.size() - 2);  // the fields, without the braces
}

class StreamPrinter {
public:
    StreamPrinter(bool json, bool files) : json_(json), files_(files) { out_.reserve(1 << 16); }

    void print(const LogLine& line, LogFileReader& reader) {
        if (line.kind == LineKind::kUnparsed) ++unparsed_;
        if (json_) {
            print_json_line(line, reader);
        } else {
            print_text_line(line, reader);
        }
        if (out_.size() >= (1 << 16)) flush(false);
    }

    void flush(bool to_terminal) {
        std::fwrite(out_.data(), 1, out_.size(), stdout);
        out_.clear();
        if (to_terminal) std::fflush(stdout);
    }
    uint64_t unparsed() const { return unparsed_; }

private:
    struct Cached {
        const LogFileReader* reader = nullptr;
        bool banner_present = false;
        std::string path;
        std::string tag, json;
    };

    const Cached& source_of(LogFileReader& reader) {
        Cached& c = cache_[&reader];
        const LogSource& s = reader.source();
        if (c.reader != &reader || c.banner_present != s.banner.present || c.path != s.path) {
            c.reader = &reader;
            c.banner_present = s.banner.present;
            c.path = s.path;
            c.tag = tag_of(s);
            c.json = json_source_fields(s, files_);
        }
        return c;
    }

    void print_text_line(const LogLine& line, LogFileReader& reader) {
        const Cached& source = source_of(reader);
        if (files_) {
            put_printable(out_, reader.source().path);
            out_ += ":" + std::to_string(line.number) + ": ";
        }
        out_ += source.tag;
        out_.push_back(' ');
        if (line.kind == LineKind::kUnparsed) {
            out_ += "!! not parsed (";
            out_.append(line.problem);
            out_ += "): ";
        } else if (line.kind == LineKind::kLostNotice) {
            out_ += "!! lines lost: ";
        }
        put_printable(out_, line.text);
        out_.push_back('\n');
    }

    void print_json_line(const LogLine& line, LogFileReader& reader) {
        const Cached& source = source_of(reader);
        out_ += "{\"kind\":";
        if (line.kind == LineKind::kEntry) {
            out_ += "\"line\",\"time\":\"";
            out_.append(line.time_text);  // digits and separators only
            out_ += "\",\"session\":";
            put_json_string(out_, line.session);
            out_ += ",\"level\":" + std::to_string(line.level) + ",\"level_name\":\"" +
                    orvix::admin::level_name(line.level) + "\",\"status\":" + std::to_string(line.status) +
                    ",\"category\":";
            put_json_string(out_, line.category);
            out_ += ",\"message\":";
            put_json_string(out_, line.message);
            if (line.repeats > 0) out_ += ",\"repeats\":" + std::to_string(line.repeats);
            if (line.lost > 0) out_ += ",\"lost\":" + std::to_string(line.lost);
            if (line.cut) out_ += ",\"cut\":true";
            if (line.banner) out_ += ",\"banner\":true";
        } else {
            out_ += line.kind == LineKind::kLostNotice ? "\"lost\"" : "\"unparsed\"";
            if (line.kind == LineKind::kLostNotice) out_ += ",\"lost\":" + std::to_string(line.lost);
            if (line.kind == LineKind::kUnparsed) {
                out_ += ",\"problem\":";
                put_json_string(out_, line.problem);
            }
            if (line.torn) out_ += ",\"torn\":true";
            out_ += ",\"text\":";
            put_json_string(out_, line.text);
        }
        out_ += ",";
        out_ += source.json;
        if (files_) out_ += ",\"line\":" + std::to_string(line.number);
        out_ += "}\n";
    }

    bool json_, files_;
    std::string out_;
    uint64_t unparsed_ = 0;
    std::map<const LogFileReader*, Cached> cache_;
};

std::string utf8_of(const std::u16string& text) { return orvix::text::system_utf16_to_utf8(text); }

// This machine's log folder and archive folder.
std::vector<std::string> default_folders() {
    std::vector<std::string> folders;
    char log_folder[1024];
    if (vorn_util_get_log_folder_utf8(log_folder, sizeof log_folder) == VORN_STATUS_SUCCESS) {
        folders.push_back(log_folder);
    } else {
        std::fprintf(stderr, "orvix-env logs: this machine's log folder cannot be determined\n");
    }
    folders.push_back(utf8_of(vorn_util_get_archive_folder()));
    return folders;
}

// Those of the folders that exist: a folder nothing was logged or archived into yet is
// not missing input.
std::vector<std::string> existing(const std::vector<std::string>& folders) {
    std::vector<std::string> found;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (fs::is_directory(path_from_utf8(folder), error)) {
            found.push_back(folder);
        } else if (global_options().verbose) {
            std::fprintf(stderr, "orvix-env logs: no folder %s yet\n", shown(folder).c_str());
        }
    }
    return found;
}

bool build_filter(const LogsOptions& o, LogFilter* filter) {
    filter->max_level = o.level;
    filter->categories = o.categories;
    filter->show_banner = global_options().verbose;
    const int64_t now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    for (auto [text, target, name] : {std::tuple{&o.since, &filter->since_ms, "--since"},
                                      std::tuple{&o.until, &filter->until_ms, "--until"}}) {
        if (text->empty()) continue;
        int64_t ms = 0;
        std::string error;
        if (!orvix::admin::parse_time_argument(*text, now_ms, &ms, &error)) {
            std::fprintf(stderr, "orvix-env logs: %s %s\n", name, shown(error).c_str());
            return false;
        }
        *target = ms;
    }
    if (!o.session.empty()) filter->session = o.session;
    if (!o.app.empty()) filter->application = o.app;
    if (o.process >= 0) filter->process_id = o.process;
    if (!o.contains.empty()) filter->contains = o.contains;
    return true;
}

// Files without a banner (opened by a rotation) take the facts of their process's first
// file, which has one.
void share_banners(LogMerge& merge) {
    const auto& readers = merge.readers();
    for (const auto& r : readers) {
        LogSource& s = r->source();
        if (s.banner.present || s.name.process_id < 0) continue;
        for (const auto& other : readers) {
            const LogSource& o = other->source();
            if (o.banner.present && o.banner.process_id == s.name.process_id &&
                o.banner.application == s.name.application) {
                s.banner = o.banner;
                s.banner.lines = 0;
                break;
            }
        }
    }
}

void print_summary_block(std::string& out, const std::string& title, const LogSummary& s) {
    out += title + "\n";
    out += "  errors: " + std::to_string(s.per_level[0]) + " critical, " + std::to_string(s.per_level[1]) +
           " error\n";
    out += "  lines lost: " + std::to_string(s.lost) + " (" + std::to_string(s.lost_notices) + " notices)\n";
    out += "  lines not parsed: " + std::to_string(s.unparsed) + " (" + std::to_string(s.torn) + " torn)\n";
    out += "  lines: " + std::to_string(s.lines);
    if (s.lines > 0) out += ", from " + s.first_time + " to " + s.last_time;
    out += "\n  levels:";
    for (int level = 0; level <= 4; ++level) {
        out += " " + std::string(orvix::admin::level_name(level)) + " " + std::to_string(s.per_level[level]);
    }
    if (s.per_level[5] > 0) out += " other " + std::to_string(s.per_level[5]);
    out += "\n  categories:";
    std::vector<std::pair<std::string, uint64_t>> categories(s.categories.begin(), s.categories.end());
    std::stable_sort(categories.begin(), categories.end(), [](auto& a, auto& b) { return a.second > b.second; });
    for (const auto& [name, n] : categories) out += " " + shown(name) + " " + std::to_string(n);
    out += "\n  most frequent messages:\n";
    for (const auto& [text, n] : s.top_messages(5)) out += "    " + std::to_string(n) + "  " + shown(text) + "\n";
    if (s.messages_capped) out += "    (more distinct messages than were counted)\n";
}

Json summary_json(const LogSummary& s) {
    Json j;
    j["errors"] = {{"critical", s.per_level[0]}, {"error", s.per_level[1]}};
    j["lines_lost"] = s.lost;
    j["lost_notices"] = s.lost_notices;
    j["lines_not_parsed"] = s.unparsed;
    j["torn"] = s.torn;
    j["lines"] = s.lines;
    j["first"] = s.lines > 0 ? Json(s.first_time) : Json(nullptr);
    j["last"] = s.lines > 0 ? Json(s.last_time) : Json(nullptr);
    Json levels;
    for (int level = 0; level <= 4; ++level) levels[orvix::admin::level_name(level)] = s.per_level[level];
    levels["other"] = s.per_level[5];
    j["levels"] = levels;
    Json categories = Json::object();
    for (const auto& [name, n] : s.categories) categories[name] = n;
    j["categories"] = categories;
    Json messages = Json::array();
    for (const auto& [text, n] : s.top_messages(5)) messages.push_back({{"message", text}, {"count", n}});
    j["most_frequent_messages"] = messages;
    return j;
}

Json banner_json(const LogSource& s) {
    Json j;
    j["file"] = s.path;
    j["app"] = s.application();
    j["process"] = s.process_id() >= 0 ? Json(s.process_id()) : Json(nullptr);
    const auto& b = s.banner;
    j["banner"] = b.present;
    if (b.present) {
        j["local_time"] = b.local_time;
        j["utc_offset"] = b.utc_offset;
        j["os"] = b.os;
        j["processors"] = b.processors;
        j["architecture"] = b.architecture;
        j["processor_type"] = b.processor_type;
        j["physical_memory"] = b.physical_memory;
        j["virtual_memory"] = b.virtual_memory;
        j["session_user"] = b.session_user;
        j["temp_folder"] = b.temp_folder;
        j["program_data_folder"] = b.program_data_folder;
    }
    return j;
}

void print_banner_block(std::string& out, const LogSource& s) {
    out += shown(s.path) + "\n";
    const auto& b = s.banner;
    const std::string pid = s.process_id() >= 0 ? std::to_string(s.process_id()) : "?";
    if (!b.present) {
        out += "  no banner (a file opened by a rotation, or not a log file); the name says: application " +
               (s.name.matched ? shown(s.name.application) + ", process " + pid : std::string("?")) + "\n";
        return;
    }
    auto row = [&](const char* name, const std::string& value) {
        out += std::string("  ") + name + std::string(22 - std::strlen(name), ' ') + shown(value) + "\n";
    };
    row("application", b.application);
    row("process", pid);
    row("local time", b.local_time);
    row("OS", b.os);
    row("processors", (b.processors >= 0 ? std::to_string(b.processors) : std::string("?")) +
                          (b.architecture.empty() ? "" : ", " + b.architecture) +
                          (b.processor_type.empty() ? "" : ", " + b.processor_type));
    row("physical memory", b.physical_memory + " available");
    row("virtual memory", b.virtual_memory + " available");
    row("session user", b.session_user);
    row("temporary folder", b.temp_folder);
    row("program-data folder", b.program_data_folder);
}

// The archived copy of a followed file: "YYYY-MM-DD-HH-MM-NAME" with .txt as .log.
bool is_archived_copy(const std::string& archived_path, const std::string& original_path) {
    const auto a = path_from_utf8(archived_path).filename().u8string();
    auto o = path_from_utf8(original_path).filename().u8string();
    if (a.size() != o.size() + 17 || !o.ends_with(u8".txt")) return false;
    o.replace(o.size() - 4, 4, u8".log");
    return a.substr(17) == o;
}

int run_logs_with(const LogsOptions& o) {
    LogFilter filter;
    if (!build_filter(o, &filter)) return 2;
    if (o.follow && (o.summary || o.banners)) {
        std::fprintf(stderr, "orvix-env logs: --follow prints the stream; it cannot be combined with %s\n",
                     o.summary ? "--summary" : "--banners");
        return 2;
    }
    const bool json = json_output();
    bool skipped = false;
    const bool defaults = o.paths.empty();
    const std::vector<std::string> roots = defaults ? default_folders() : o.paths;
    std::vector<std::string> problems;
    const std::vector<std::string> files =
        orvix::admin::collect_log_files(defaults ? existing(roots) : roots, &problems);
    for (const std::string& p : problems) {
        std::fprintf(stderr, "orvix-env logs: %s: skipped\n", shown(p).c_str());
        skipped = true;
    }

    if (files.empty() && problems.empty() && !o.follow) {
        std::string where;
        for (const std::string& root : roots) where += (where.empty() ? "" : ", ") + shown(root);
        std::fprintf(stderr, "orvix-env logs: no log files in %s\n", where.c_str());
    }
    // Many files share a bounded amount of buffer memory and are opened chunk by chunk.
    const size_t chunk = std::clamp<size_t>((size_t{32} << 20) / std::max<size_t>(files.size(), 1), 16 << 10, 1 << 20);
    const bool keep_open = !o.follow && files.size() <= 64;
    LogMerge merge;
    merge.set_filter(filter);
    std::set<std::string> known;
    auto add_file = [&](const std::string& path, bool report) {
        known.insert(path);
        auto reader = std::make_unique<LogFileReader>(path, chunk, keep_open);
        std::string problem;
        if (!reader->open(&problem)) {
            if (report) std::fprintf(stderr, "orvix-env logs: %s: %s\n", shown(path).c_str(), shown(problem).c_str());
            skipped = true;
            return;
        }
        merge.add(std::move(reader), !o.follow);
    };
    for (const std::string& path : files) add_file(path, true);
    share_banners(merge);

    if (o.banners) {
        Json all = Json::array();
        std::string out;
        for (const auto& r : merge.readers()) {
            const LogSource& s = r->source();
            if ((filter.application && !orvix::admin::glob_match(*filter.application, s.application())) ||
                (filter.process_id && s.process_id() != *filter.process_id)) {
                continue;
            }
            // The banner is read with the file's first lines, before the first line the
            // filter passes, so it is complete here.
            if (json) {
                all.push_back(banner_json(r->source()));
            } else {
                print_banner_block(out, r->source());
            }
        }
        if (json) {
            print_json(all);
        } else {
            std::fwrite(out.data(), 1, out.size(), stdout);
        }
        return skipped ? 1 : 0;
    }

    if (o.summary) {
        std::map<const LogFileReader*, LogSummary> per_file;
        const LogLine* line = nullptr;
        LogFileReader* reader = nullptr;
        while (merge.next(&line, &reader)) per_file[reader].add(*line);
        LogSummary overall;
        Json files_json = Json::array();
        std::string out;
        size_t counted = 0;
        for (const auto& r : merge.readers()) {
            const LogSummary& s = per_file[r.get()];
            if (s.lines == 0 && s.unparsed == 0 && s.lost_notices == 0) continue;  // nothing passed the filters
            ++counted;
            overall.merge(s);
            if (json) {
                Json j = summary_json(s);
                j["file"] = r->source().path;
                j["app"] = r->source().application();
                files_json.push_back(j);
            } else {
                print_summary_block(out, shown(r->source().path) + " (" + tag_of(r->source()) + ")", s);
            }
        }
        if (json) {
            print_json({{"files", files_json}, {"overall", summary_json(overall)}});
        } else {
            print_summary_block(out, "overall (" + std::to_string(counted) + " files)", overall);
            std::fwrite(out.data(), 1, out.size(), stdout);
        }
        return skipped || overall.unparsed > 0 ? 1 : 0;
    }

    StreamPrinter printer(json, o.files);
    const LogLine* line = nullptr;
    LogFileReader* reader = nullptr;
    while (merge.next(&line, &reader, !o.follow)) printer.print(*line, *reader);
    printer.flush(true);

    if (o.follow) {
        catch_interrupt();
        while (!interrupted()) {
            std::this_thread::sleep_for(kFollowPoll);
            // New files: a new process's, a rotation's, or a followed file moved into the archive.
            std::vector<std::string> ignored;
            const std::vector<std::string> now_there =
                orvix::admin::collect_log_files(defaults ? existing(roots) : roots, &ignored);
            for (const std::string& path : now_there) {
                if (known.count(path) != 0) continue;
                bool moved = false;
                for (const auto& r : merge.readers()) {
                    std::error_code error;
                    const std::string& old_path = r->source().path;
                    if (is_archived_copy(path, old_path) &&
                        !fs::exists(path_from_utf8(old_path), error)) {
                        r->moved_to(path);
                        known.insert(path);
                        moved = true;
                        break;
                    }
                }
                if (!moved) add_file(path, true);
            }
            share_banners(merge);
            merge.resume(false);
            while (merge.next(&line, &reader, false)) printer.print(*line, *reader);
            printer.flush(true);
        }
        // What was still without a line end is shown as it is.
        merge.resume(true);
        while (merge.next(&line, &reader, true)) printer.print(*line, *reader);
        printer.flush(true);
    }
    if (printer.unparsed() > 0) {
        std::fprintf(stderr, "orvix-env logs: %llu lines did not parse (shown marked \"!! not parsed\")\n",
                     static_cast<unsigned long long>(printer.unparsed()));
    }
    return skipped || printer.unparsed() > 0 ? 1 : 0;
}

}  // namespace

std::function<int()> declare_logs(CLI::App& app) {
    auto o = std::make_shared<LogsOptions>();
    app.add_option("PATH", o->paths, "files and folders (recursively); default: this machine's log folders");
    app.add_option("--level", o->level, "only lines of level N and more severe (0 critical .. 4 trace)")
        ->check(kDecimal)
        ->check(CLI::Range(0, 4));
    app.add_option("--category", o->categories, "only this category; repeatable; globs such as MGMT_*")
        ->allow_extra_args(false);
    app.add_option("--since", o->since, "from this time: ISO 8601 UTC (...Z), local, or an age such as 2h");
    app.add_option("--until", o->until, "up to this time, as --since");
    app.add_option("--session", o->session, "only lines of this session identifier");
    app.add_option("--app", o->app, "only files of this application (globs such as orvix_*)");
    app.add_option("--process", o->process, "only files of this process identifier (decimal)")
        ->check(kDecimal);
    app.add_option("--contains", o->contains, "only lines that contain TEXT");
    app.add_flag("--files", o->files, "tag each line with its file and line number as well");
    app.add_flag("--follow", o->follow, "keep printing new lines as they are written, until Ctrl-C");
    app.add_flag("--summary", o->summary, "per file and overall: errors, lost lines, levels, categories, messages");
    app.add_flag("--banners", o->banners, "the banner facts of each file instead of the lines");
    // A repeated option takes its last value, as people expect when they add to a command line.
    for (CLI::Option* option : app.get_options()) {
        if (option->get_expected_max() == 1 && option->get_name() != "--category") {
            option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        }
    }
    return [o] { return run_logs_with(*o); };
}

ORVIX_ENV_COMMAND(logs, "logs",
                  "every log file (default: this machine's log and archive folders) merged by time into one "
                  "stream, filtered; --follow, --summary, --banners",
                  declare_logs);

}  // namespace orvix_env
