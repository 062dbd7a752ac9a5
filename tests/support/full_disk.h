// A stand-in for the system calls of the outputs that fails, for the files
// whose name starts with `name`, as a full disk does: after `room` bytes a
// write fails with ENOSPC (a write that reaches the limit is cut short), or
// the sync or the close fails with EIO; or, as a folder that takes no new
// file, creating one fails with EACCES. Other files are written as usual.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "data/output_file.h"

namespace talvex::testing {

struct FullDisk : FileWrites {
    enum Call { Write, Sync, Close, Create };
    std::string name;
    Call call = Write;
    std::size_t room = 0;

    FullDisk(std::string name, Call call = Write, std::size_t room = 0)
        : name(std::move(name)), call(call), room(room) {}

    bool ours(int fd, Call c) const {
        std::error_code error;
        const auto file = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
        return c == call && !error && file.filename().string().rfind(name, 0) == 0;
    }
    int open(const char* path, int flags, mode_t mode) override {
        if (call != Create || !(flags & O_EXCL) ||
            std::filesystem::path(path).filename().string().rfind(name, 0) != 0)
            return FileWrites::open(path, flags, mode);
        errno = EACCES;
        return -1;
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (!ours(fd, Write)) return FileWrites::write(fd, data, size);
        if (room == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t part = std::min(size, room);
        room -= part;
        return FileWrites::write(fd, data, part);
    }
    int sync(int fd) override {
        if (!ours(fd, Sync)) return FileWrites::sync(fd);
        errno = EIO;
        return -1;
    }
    int close(int fd) override {
        const bool fail = ours(fd, Close);
        const int closed = FileWrites::close(fd);
        if (!fail) return closed;
        errno = EIO;
        return -1;
    }
};

}  // namespace talvex::testing
