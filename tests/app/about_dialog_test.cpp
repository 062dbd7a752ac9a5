#include "app/about_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/report_frame.h"

namespace talvex::testing {
namespace {

std::vector<std::string> shownLines(const AboutDialog& about) {
    std::vector<std::string> lines;
    for (const ControlOption& o : about.find("about")->options) lines.push_back(o.caption);
    return lines;
}

// Three lines of name, version and platforms, then the date line, which
// names the same release as the report header, and the credits.
TEST(AboutDialog, NameVersionPlatformsDateAndCredits) {
    const AboutDialog about("9.8.7");
    EXPECT_EQ(about.title(), "About TALVEX");
    const std::vector<std::string> lines = shownLines(about);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "TALVEX version 9.8.7");
    EXPECT_NE(lines[2].find("Linux"), std::string::npos);
    EXPECT_EQ(lines[3], std::string("Released ") + kReleaseDate);
    EXPECT_TRUE(about.buttons().empty());  // OK only
}

}  // namespace
}  // namespace talvex::testing
