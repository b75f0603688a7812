#include "os/handle_table_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace orvix::os::posix {
namespace {

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr size_t kSlots = 4096;
// Handles start well above small descriptor numbers, so a descriptor passed by mistake
// is refused instead of writing to some other file.
constexpr FileHandle kFirstHandle = 0x10000;

struct OpenFile {
    int fd = -1;
    bool keep_in_place = false;
    std::pair<dev_t, ino_t> id{};
    int handles = 0;  // guarded by the table's mutex
};

class HandleTable {
public:
    HandleTable() {
        free_.reserve(kSlots);
        for (size_t i = kSlots; i > 0; --i) free_.push_back(i - 1);
    }

    FileHandle adopt(int fd, bool keep_in_place) {
        auto* file = new OpenFile;
        file->fd = fd;
        struct stat st {};
        file->keep_in_place = keep_in_place && ::fstat(fd, &st) == 0;
        if (file->keep_in_place) file->id = {st.st_dev, st.st_ino};
        std::lock_guard<std::mutex> guard(mutex_);
        FileHandle handle = add_locked(file);
        if (handle == kInvalidFile) {
            ::close(fd);
            delete file;
            return kInvalidFile;
        }
        if (file->keep_in_place) ++kept_[file->id];
        return handle;
    }

    OpenFile* get(FileHandle handle) const {
        const size_t index = index_of(handle);
        return index < kSlots ? slots_[index].load(std::memory_order_acquire) : nullptr;
    }

    uint32_t duplicate(FileHandle handle, FileHandle* out) {
        std::lock_guard<std::mutex> guard(mutex_);
        OpenFile* file = get(handle);
        if (file == nullptr) return kErrorInvalidHandle;
        *out = add_locked(file);
        return *out == kInvalidFile ? kErrorTooManyOpenFiles : 0;
    }

    void close(FileHandle handle) {
        OpenFile* last = nullptr;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            const size_t index = index_of(handle);
            if (index >= kSlots) return;
            OpenFile* file = slots_[index].exchange(nullptr, std::memory_order_acq_rel);
            if (file == nullptr) return;
            free_.push_back(index);
            if (--file->handles > 0) return;
            if (file->keep_in_place) {
                auto it = kept_.find(file->id);
                if (it != kept_.end() && --it->second == 0) kept_.erase(it);
            }
            last = file;
        }
        ::close(last->fd);
        delete last;
    }

    bool is_kept(const std::pair<dev_t, ino_t>& id) {
        std::lock_guard<std::mutex> guard(mutex_);
        return kept_.count(id) != 0;
    }

private:
    static size_t index_of(FileHandle handle) {
        return handle >= kFirstHandle ? static_cast<size_t>(handle - kFirstHandle) : kSlots;
    }

    FileHandle add_locked(OpenFile* file) {
        if (free_.empty()) return kInvalidFile;
        const size_t index = free_.back();
        free_.pop_back();
        ++file->handles;
        slots_[index].store(file, std::memory_order_release);
        return kFirstHandle + static_cast<FileHandle>(index);
    }

    std::mutex mutex_;
    std::array<std::atomic<OpenFile*>, kSlots> slots_{};
    std::vector<size_t> free_;
    std::map<std::pair<dev_t, ino_t>, int> kept_;
};

// Never destroyed: archive work items may still close handles while the process exits.
HandleTable& table() {
    static HandleTable* instance = new HandleTable;
    return *instance;
}

}  // namespace

FileHandle adopt_descriptor(int fd, bool keep_in_place) { return table().adopt(fd, keep_in_place); }

int descriptor_of(FileHandle handle) {
    const OpenFile* file = table().get(handle);
    return file != nullptr ? file->fd : -1;
}

uint32_t duplicate(FileHandle handle, FileHandle* out) {
    *out = kInvalidFile;
    return table().duplicate(handle, out);
}

void close(FileHandle handle) { table().close(handle); }

bool is_kept_in_place(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return table().is_kept({st.st_dev, st.st_ino});
}

}  // namespace orvix::os::posix
