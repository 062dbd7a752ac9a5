#include "data/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/format_text.h"

namespace talvex {

namespace {

// Bytes gathered before they go to the file.
constexpr std::size_t kBufferSize = 64 * 1024;

// Six letters or digits; from the system's entropy, never from the
// analysis's random stream, whose draws the reports depend on.
std::string randomSuffix(std::random_device& device) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kLetters[device() % (sizeof kLetters - 1)];
    return suffix;
}

}  // namespace

int FileWrites::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
ssize_t FileWrites::write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
int FileWrites::sync(int fd) { return ::fsync(fd); }
int FileWrites::close(int fd) { return ::close(fd); }

FileWrites& systemFileWrites() {
    static FileWrites system;
    return system;
}

OutputFile::OutputFile(std::string path, FileWrites& writes) : path_(std::move(path)), writes_(writes) {}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open() {
    struct stat link {};
    struct stat target {};
    const bool isLink = ::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    const bool exists = ::stat(path_.c_str(), &target) == 0;
    // A device or a FIFO cannot be replaced, and a link is written through:
    // it may be one of the system's (/dev/stdout), whose target is not ours
    // to replace.
    const auto direct = [this] {
        fd_ = writes_.open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) fail(errno);
        return fd_ >= 0;
    };
    if (isLink || (exists && !S_ISREG(target.st_mode))) return direct();
    // A file the user may not write stays so, though its folder would let
    // it be replaced.
    if (exists && ::access(path_.c_str(), W_OK) != 0) {
        fail(errno);
        return false;
    }
    std::random_device device;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string name = path_ + "." + randomSuffix(device);
        // 0666 less the umask, as any new file of the user's.
        fd_ = writes_.open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) temporary_ = std::move(name);
        else if (errno != EEXIST) break;
    }
    // A folder that takes no new file may still hold a file the user may
    // write: it is rewritten where it is, as it always could be.
    if (fd_ < 0 && errno == EACCES && exists) return direct();
    if (fd_ < 0) {
        fail(errno);
        return false;
    }
    // The file replaced keeps its permissions; a failure leaves the new ones.
    if (exists) (void)::fchmod(fd_, target.st_mode & 07777);
    return true;
}

void OutputFile::write(std::string_view text) {
    if (fd_ < 0 || failed()) return;
    buffer_.append(text);
    if (buffer_.size() >= kBufferSize) flush();
}

void OutputFile::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(formatTextV(format, args));
    va_end(args);
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size() && !failed()) {
        const ssize_t n = writes_.write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n > 0) done += static_cast<std::size_t>(n);
        else if (n == 0) fail(EIO);
        else if (errno != EINTR) fail(errno);
    }
    buffer_.clear();
}

bool OutputFile::commit() {
    if (fd_ < 0) {
        if (!failed()) fail(EBADF);
        return false;
    }
    flush();
    if (!failed() && !temporary_.empty() && writes_.sync(fd_) != 0) fail(errno);
    const int closed = writes_.close(fd_);
    fd_ = -1;
    if (closed != 0) fail(errno);
    if (!failed() && !temporary_.empty()) {
        if (std::rename(temporary_.c_str(), path_.c_str()) == 0) temporary_.clear();
        else fail(errno);
    }
    discard();
    return !failed();
}

void OutputFile::fail(int errorNumber) {
    if (error_.empty()) error_ = std::strerror(errorNumber);
}

void OutputFile::discard() {
    if (fd_ >= 0) writes_.close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    buffer_.clear();
}

WriteResult writeTextFile(const std::string& path, std::string_view text, FileWrites& writes) {
    OutputFile file(path, writes);
    if (file.open()) {
        file.write(text);
        file.commit();
    }
    return {file.error()};
}

}  // namespace talvex
