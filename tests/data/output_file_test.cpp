// Outputs are put in place only when complete: a write, sync or close that
// fails leaves the earlier file byte for byte and nothing else in its folder;
// what cannot be replaced (a FIFO, a device, a link) is written where it is.
#include "data/output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/full_disk.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::FullDisk;
using Names = std::set<std::string>;

std::string slurp(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

unsigned permissions(const std::string& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions());
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
        EXPECT_EQ(dir.names(), Names{"out.txt"});
    }
    // Written: the replaced file keeps its permissions, a new one gets the
    // umask's; in a folder that takes no new file a file is rewritten in place.
    const mode_t mask = ::umask(027);
    EXPECT_TRUE(writeTextFile(path, large));
    EXPECT_TRUE(writeTextFile(dir.file("new.txt"), ""));
    ::umask(mask);
    EXPECT_EQ(slurp(path), large);
    EXPECT_EQ(permissions(path), 0600u);
    EXPECT_EQ(permissions(dir.file("new.txt")), 0640u);
    FullDisk locked("", FullDisk::Create);
    EXPECT_TRUE(writeTextFile(path, "in place", locked));
    EXPECT_EQ(slurp(path), "in place");
    EXPECT_EQ(writeTextFile(dir.file("none.txt"), "", locked).error, "Permission denied");
    EXPECT_EQ(dir.names(), (Names{"new.txt", "out.txt"}));
}

TEST(OutputFile, NonRegularFilesAreWrittenInPlace) {
    testing::TempDir dir;
    const std::string fifo = dir.file("pipe"), link = dir.file("link");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(writeTextFile(fifo, "through"));
    char buffer[16] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "through");
    ::close(reader);
    std::filesystem::create_symlink(dir.file("target"), link);
    EXPECT_TRUE(writeTextFile(link, "through the link"));
    EXPECT_EQ(slurp(dir.file("target")), "through the link");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo) && std::filesystem::is_symlink(link));
    EXPECT_EQ(dir.names(), (Names{"link", "pipe", "target"}));

    EXPECT_EQ(writeTextFile("/dev/full", "x").error, "No space left on device");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
}  // namespace talvex
