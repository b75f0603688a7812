#include "input_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "console.h"
#include "text_output.h"

namespace orvix_env {

namespace {

std::string refusal(const std::string& path, const std::string& reason) {
    return "cannot read " + printable(path, false) + ": " + reason;
}

const char* kind_of(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory: return "it is a folder";
        case std::filesystem::file_type::fifo: return "it is a FIFO (named pipe), not a file";
        case std::filesystem::file_type::character: return "it is a character device, not a file";
        case std::filesystem::file_type::block: return "it is a block device, not a file";
        case std::filesystem::file_type::socket: return "it is a socket, not a file";
        default: return "it is not a regular file";
    }
}

}  // namespace

bool check_input_file(const std::string& path, std::string* error, std::uintmax_t max_size) {
    if (path.empty()) {
        *error = "cannot read an empty file name";
        return false;
    }
    std::error_code code;
    const std::filesystem::path p = path_from_utf8(path);
    const std::filesystem::file_status status = std::filesystem::status(p, code);
    if (code) {
        *error = refusal(path, code.message());
        return false;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        *error = refusal(path, kind_of(status.type()));
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(p, code);
    if (code) {
        *error = refusal(path, code.message());
        return false;
    }
    if (size > max_size) {
        *error = refusal(path, "it is " + std::to_string(size) + " bytes, over the limit of " + std::to_string(max_size) +
                                   " bytes");
        return false;
    }
    return true;
}

bool read_input_file(const std::string& path, std::string* bytes, std::string* error, std::uintmax_t max_size) {
    if (!check_input_file(path, error, max_size)) return false;
    errno = 0;
    std::ifstream in(path_from_utf8(path), std::ios::binary);
    if (!in) {
        *error = refusal(path, std::generic_category().message(errno != 0 ? errno : ENOENT));
        return false;
    }
    bytes->clear();
    char buffer[65536];
    // The file may have grown since it was checked: read no more than the limit allows.
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes->append(buffer, static_cast<size_t>(in.gcount()));
        if (bytes->size() > max_size) {
            *error = refusal(path, "it grew over the limit of " + std::to_string(max_size) + " bytes while it was read");
            return false;
        }
    }
    if (in.bad()) {
        *error = refusal(path, std::generic_category().message(errno != 0 ? errno : EIO));
        return false;
    }
    return true;
}

}  // namespace orvix_env
