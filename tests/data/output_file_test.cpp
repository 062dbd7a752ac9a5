// Outputs are put in place only when complete: a write, sync or close that
// fails leaves the earlier file byte for byte and nothing else in its folder;
// what cannot be replaced (a FIFO, a device) is written where it is.
#include "data/output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "support/full_disk.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::FullDisk;

std::set<std::string> listing(const testing::TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.insert(entry.path().filename().string());
    return names;
}

std::string slurp(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode;
}

TEST(OutputFile, AFailureLeavesTheEarlierFileAndNothingElse) {
    testing::TempDir dir;
    const std::string path = dir.write("out.txt", "earlier\n");
    ::chmod(path.c_str(), 0600);
    const std::string large(200000, 'x');  // flushed in several writes
    const struct {
        FullDisk disk;
        const std::string& text;
        const char* error;
    } cases[] = {
        {{"out.txt"}, "short", "No space left on device"},
        {{"out.txt", FullDisk::Write, 70000}, large, "No space left on device"},
        {{"out.txt", FullDisk::Sync}, "short", "Input/output error"},
        {{"out.txt", FullDisk::Close}, "short", "Input/output error"},
    };
    for (auto c : cases) {
        EXPECT_EQ(writeTextFile(path, c.text, c.disk).error, c.error);
        EXPECT_EQ(slurp(path), "earlier\n");
        EXPECT_EQ(listing(dir), std::set<std::string>{"out.txt"});
    }
    // Written: the replaced file keeps its permissions, a new one gets the
    // umask's.
    const mode_t mask = ::umask(027);
    EXPECT_TRUE(writeTextFile(path, large));
    EXPECT_TRUE(writeTextFile(dir.file("new.txt"), ""));
    ::umask(mask);
    EXPECT_EQ(slurp(path), large);
    EXPECT_EQ(modeOf(path) & 0777, 0600u);
    EXPECT_EQ(modeOf(dir.file("new.txt")) & 0777, 0640u);
    EXPECT_EQ(listing(dir), (std::set<std::string>{"new.txt", "out.txt"}));
    // A folder that takes no new file: a file there is rewritten in place.
    FullDisk locked("", FullDisk::Create);
    EXPECT_TRUE(writeTextFile(path, "in place", locked));
    EXPECT_EQ(slurp(path), "in place");
    EXPECT_EQ(writeTextFile(dir.file("none.txt"), "", locked).error, "Permission denied");
    EXPECT_EQ(listing(dir), (std::set<std::string>{"new.txt", "out.txt"}));
}

TEST(OutputFile, NonRegularFilesAreWrittenInPlace) {
    testing::TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(writeTextFile(fifo, "through"));
    char buffer[16] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "through");
    ::close(reader);
    EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
    const std::string link = dir.file("link");
    std::filesystem::create_symlink(dir.file("target"), link);
    EXPECT_TRUE(writeTextFile(link, "through the link"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(slurp(dir.file("target")), "through the link");
    EXPECT_EQ(listing(dir), (std::set<std::string>{"link", "pipe", "target"}));

    EXPECT_EQ(writeTextFile("/dev/full", "x").error, "No space left on device");
    EXPECT_TRUE(S_ISCHR(modeOf("/dev/full")));
}

}  // namespace
}  // namespace talvex
