// Files the program writes: the report and every other output of a run.
// Each is written to a temporary file beside the user's name and renamed
// over it only when complete, synced and closed without error, so that a
// failed write (a full disk, a removed folder) leaves the earlier file as
// it was and nothing else behind. A name that exists and is not a regular
// file (a device such as /dev/full, a FIFO), or that is a symbolic link,
// is written directly; so is a file in a folder where no file can be
// created.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace talvex {

// Where text goes: a file being written, or a string in tests.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void write(std::string_view text) = 0;
};

// The system calls that put an output's bytes on disk, as their POSIX
// namesakes (-1 and errno on failure). The default is the system's; a
// stand-in can fail as a full disk does.
class FileWrites {
public:
    virtual ~FileWrites() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* data, std::size_t size);
    virtual int sync(int fd);
    virtual int close(int fd);
};

// The system's calls (stateless).
FileWrites& systemFileWrites();

// The outcome of writing one output.
struct WriteResult {
    std::string error;  // the system's reason ("No space left on device"); empty when written
    explicit operator bool() const { return error.empty(); }
};

class OutputFile final : public TextSink {
public:
    explicit OutputFile(std::string path, FileWrites& writes = systemFileWrites());
    ~OutputFile() override;  // an output not committed is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file (or opens a device); false with error().
    bool open();
    // Buffered; after the first failure the text is dropped.
    void write(std::string_view text) override;
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Flushes, syncs, closes and renames the output into place; false (and
    // the temporary file removed) when any of it failed.
    bool commit();

    const std::string& path() const { return path_; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    void flush();
    void fail(int errorNumber);
    void discard();

    std::string path_;
    std::string temporary_;  // empty when the output is written directly
    FileWrites& writes_;
    int fd_ = -1;
    std::string buffer_;
    std::string error_;
};

// Writes text to path as one output.
WriteResult writeTextFile(const std::string& path, std::string_view text,
                          FileWrites& writes = systemFileWrites());

}  // namespace talvex
