#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "os/error_text.h"
#include "output_file.h"

namespace orvix_env {
namespace {

bool fail(const std::string& path, int e, std::string* error) {
    *error = "cannot write " + path + ": " +
             orvix::os::error_text(orvix::os::kErrnoCode | static_cast<uint32_t>(e));
    return false;
}

}  // namespace

bool write_output_file(const std::string& path, std::string_view bytes, std::string* error) {
    // mkstemp creates the name in the target's folder, exclusively, so no other file is hit.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(path, errno, error);
    const char* p = bytes.data();
    size_t left = bytes.size();
    int e = 0;
    while (left > 0 && e == 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno != EINTR) e = errno;
            continue;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    // mkstemp makes the file private; an output file gets the usual permissions.
    if (e == 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd, 0666 & ~mask) != 0) e = errno;
    }
    if (e == 0 && ::fsync(fd) != 0) e = errno;
    if (::close(fd) != 0 && e == 0) e = errno;
    if (e == 0 && ::rename(temp.c_str(), path.c_str()) != 0) e = errno;
    if (e != 0) {
        ::unlink(temp.c_str());
        return fail(path, e, error);
    }
    return true;
}

bool create_output_folder(const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        *error = "cannot create " + path + ": " +
                 orvix::os::error_text(orvix::os::kErrnoCode | static_cast<uint32_t>(ec.value()));
        return false;
    }
    return true;
}

std::string output_path(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace orvix_env
