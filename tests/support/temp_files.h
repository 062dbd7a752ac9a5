// A temporary directory for tests, removed with everything in it when the
// TempDir goes out of scope.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>

namespace talvex::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvex-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary directory");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Full path of name inside the directory (the file need not exist).
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // The names of the files in the directory.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            found.insert(entry.path().filename().string());
        return found;
    }
    // Writes content byte for byte and returns the full path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string full = file(name);
        std::ofstream out(full, std::ios::binary);
        out << content;
        if (!out) throw std::runtime_error("cannot write " + full);
        return full;
    }

private:
    std::filesystem::path path_;
};

}  // namespace talvex::testing
