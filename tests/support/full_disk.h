// A stand-in for the outputs' system calls that fails for the files whose
// name starts with `name`, as a full disk does: a write after `room` bytes
// (ENOSPC; the write that reaches the limit is cut short), the sync or the
// close (EIO); or creating a file, as a folder that takes no new file
// (EACCES). Other files are written as usual.
#pragma once

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "data/output_file.h"

namespace talvex::testing {

struct FullDisk : FileWrites {
    enum Call { Write, Sync, Close, Create };
    FullDisk(std::string name, Call call = Write, std::size_t room = 0)
        : name(std::move(name)), call(call), room(room) {}
    std::string name;
    Call call;
    std::size_t room;

    bool ours(const std::filesystem::path& path, Call c) const {
        return c == call && path.filename().string().rfind(name, 0) == 0;
    }
    bool ours(int fd, Call c) const {
        std::error_code error;
        return ours(std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error), c);
    }
    static int fail(int error) {
        errno = error;
        return -1;
    }
    int open(const char* path, int flags, mode_t mode) override {
        return ours(path, Create) && (flags & O_EXCL) ? fail(EACCES) : FileWrites::open(path, flags, mode);
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (!ours(fd, Write)) return FileWrites::write(fd, data, size);
        if (room == 0) return fail(ENOSPC);
        size = std::min(size, room);
        room -= size;
        return FileWrites::write(fd, data, size);
    }
    int sync(int fd) override { return ours(fd, Sync) ? fail(EIO) : FileWrites::sync(fd); }
    int close(int fd) override {
        const bool failing = ours(fd, Close);
        const int closed = FileWrites::close(fd);
        return failing ? fail(EIO) : closed;
    }
};

}  // namespace talvex::testing
