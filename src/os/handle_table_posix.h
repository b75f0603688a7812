// POSIX stand-in for Windows file handles. On Windows a handle refers to a kernel file
// object that its duplicates share; closing one handle leaves the others working. Here a
// handle is an entry of one process-wide table that holds a shared reference to an open
// descriptor, so duplicating and closing cost no system call (the event log duplicates
// the log file's handle for every line it writes).
//
// The table also knows which log files are open, by device and inode, because Windows
// refuses to move a file that is open without delete sharing and the archiver relies on
// that to leave the current log file alone.
//
// Thread-safe. A handle must not be used after it is closed.
#pragma once

#include <cstdint>
#include <string>

#include "os/file_handle.h"

namespace orvix::os::posix {

// Takes ownership of an open descriptor. keep_in_place: refuse moves of this file while
// any handle of it is open. kInvalidFile (and the descriptor closed) when the table is full.
FileHandle adopt_descriptor(int fd, bool keep_in_place);
// The descriptor behind a handle; -1 for a handle that is not open.
int descriptor_of(FileHandle handle);
// A second handle of the same open file; 0 or a Windows error code.
uint32_t duplicate(FileHandle handle, FileHandle* out);
// Closes one handle; the descriptor is closed with the last handle of it.
void close(FileHandle handle);
// True when path names a file kept in place that has an open handle.
bool is_kept_in_place(const std::string& path);

}  // namespace orvix::os::posix
