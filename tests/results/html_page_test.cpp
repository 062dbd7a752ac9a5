// The page of golden sessions read back by libxml2's HTML and XML parsers:
// well-formed, and its loading tables hold the digits the text report
// prints. Hostile labels stay text; an early ending says so.
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "results/html_page.h"
#include "results/text_encoding.h"

namespace talvex {
namespace {

using nlohmann::json;

const std::string kExpected = std::string(TALVEX_TEST_DIR) + "/reports/expected/";

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A parsed page; strict XML, or HTML with every error reported.
struct Page {
    xmlDocPtr doc = nullptr;
    explicit Page(const std::string& html, bool xml) {
        doc = xml ? xmlReadMemory(html.data(), static_cast<int>(html.size()), "page.html", "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)
                  : htmlReadMemory(html.data(), static_cast<int>(html.size()), "page.html", "UTF-8",
                                   HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
    }
    ~Page() { xmlFreeDoc(doc); }
    // The text of every node the XPath expression selects.
    std::vector<std::string> texts(const std::string& path) const {
        std::vector<std::string> out;
        xmlXPathContextPtr context = xmlXPathNewContext(doc);
        xmlXPathObjectPtr found = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path.c_str()), context);
        if (found != nullptr && found->nodesetval != nullptr)
            for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
                xmlChar* content = xmlNodeGetContent(found->nodesetval->nodeTab[i]);
                out.emplace_back(content != nullptr ? reinterpret_cast<const char*>(content) : "");
                xmlFree(content);
            }
        xmlXPathFreeObject(found);
        xmlXPathFreeContext(context);
        return out;
    }
};

// The numbers of a loading table of the text report: the rows after its
// "Variable" heading line and blank line, up to the next blank line,
// without the name column.
std::vector<std::string> reportNumbers(const std::string& report, const std::string& heading) {
    std::istringstream in(report.substr(report.find(heading)));
    std::string line;
    while (std::getline(in, line) && line.rfind("Variable", 0) != 0) {
    }
    std::getline(in, line);
    std::vector<std::string> numbers;
    while (std::getline(in, line) && line.find_first_not_of(' ') != std::string::npos) {
        std::istringstream fields(line.substr(line[0] == 'V' ? 10 : 45));
        for (std::string field; fields >> field;) numbers.push_back(field);
    }
    return numbers;
}

TEST(HtmlPage, GoldenPagesParseAndHoldTheReportsDigits) {
    for (const std::string name : {"pa_default", "simplicity_sl", "missing_default"}) {
        SCOPED_TRACE(name);
        const json doc = json::parse(fileText(kExpected + name + ".json"));
        const std::string html = htmlPage(doc, {});
        ASSERT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
        const Page xml(html, true), page(html, false);
        ASSERT_NE(xml.doc, nullptr) << "not well-formed";
        ASSERT_NE(page.doc, nullptr);
        // Every entry of the contents list leads to a section of the page.
        const auto links = page.texts("//nav//a/@href");
        const auto ids = page.texts("//section/@id");
        ASSERT_EQ(links.size(), ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(links[i], "#" + ids[i]);
        EXPECT_THAT(ids, ::testing::IsSupersetOf({"details", "rotated", "publication", "references"}));
        // The variance explained by the rotated factors follows their loadings.
        const auto rotated = std::find(ids.begin(), ids.end(), "rotated");
        ASSERT_LT(rotated + 1, ids.end());
        EXPECT_EQ(rotated[1], "explained");

        const std::string report = fileText(kExpected + name + ".txt");
        auto cells = page.texts("//section[@id='rotated']//td[@class='n']");
        EXPECT_EQ(cells, reportNumbers(report, "\nROTATED LOADING MATRIX"));
        cells = page.texts("//section[@id='details']//td");
        EXPECT_THAT(report, ::testing::HasSubstr(cells.at(0)));
        EXPECT_THAT(report, ::testing::HasSubstr(cells.at(1)));
    }
}

// Every golden session with results: what the document recorded is what
// the report printed, and the page shows the report's parts in its order.
TEST(HtmlPage, PagesFollowTheReportPartByPart) {
    int sessions = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kExpected)) {
        if (entry.path().extension() != ".json") continue;
        ++sessions;
        SCOPED_TRACE(entry.path().filename().string());
        const json doc = json::parse(fileText(entry.path().string()));
        std::string report = fileText(entry.path().string().substr(0, entry.path().string().size() - 5) + ".txt");
        report = asUtf8(report);
        std::size_t at = 0;
        for (const json& pair : doc["details"]) {
            std::string line = pair[0].get<std::string>();
            line.resize(53, ' ');
            at = report.find("\n" + line + ": " + pair[1].get<std::string>() + "\n", at);
            ASSERT_NE(at, std::string::npos) << pair;
        }
        for (const json& reference : doc["references"]) {
            at = report.find("\n" + reference.get<std::string>() + "\n\n", at);
            ASSERT_NE(at, std::string::npos) << reference;
        }
        // The printed parts come in the report's order and are shown as printed.
        std::vector<std::string> texts, titles;
        at = 0;
        for (const json& part : doc["outline"]) {
            if (part.contains("text")) {
                texts.push_back(part["text"]);
                at = report.find(texts.back(), at);
                ASSERT_NE(at, std::string::npos) << texts.back();
            }
            if (part["kind"] != "note" && !part["title"].get<std::string>().empty())
                titles.push_back(part["title"]);
        }
        const Page page(htmlPage(doc, {}), true);
        ASSERT_NE(page.doc, nullptr);
        EXPECT_EQ(page.texts("//pre"), texts);
        std::vector<std::string> shown;
        for (const std::string& title : page.texts("//section/h2 | //section/h3"))
            if (std::find(titles.begin(), titles.end(), title) != titles.end()) shown.push_back(title);
        EXPECT_EQ(shown, titles);
    }
    EXPECT_GE(sessions, 14);
}

// Estimates beside their intervals, and the mark only where 0 is outside.
TEST(HtmlPage, BootstrapIntervalsInTheSolution) {
    const json interval = {{"se", 0.1}, {"lower", 0.0}, {"upper", 0.4}};
    const json doc = {{"extraction", "ULS"},
                      {"variables", {{{"number", 1}}, {{"number", 4}}}},
                      {"rotated_loadings", {{0.7, 0.1}, {-0.2, 0.6}}},
                      {"communalities", {0.5, 0.4}},
                      {"factor_correlations", {{1.0, 0.3, 0.2}, {0.3, 1.0, -0.4}, {0.2, -0.4, 1.0}}},
                      {"fit", {{"rmsea", 0.05}}},
                      {"outline", {{{"kind", "section"}, {"title", "Bootstrap"}, {"member", "bootstrap"}}}},
                      {"bootstrap",
                       {{"level", 90},
                        {"requested", 100},
                        {"used", 98},
                        {"failed", 2},
                        {"loadings",
                         {{"se", {{0.05, 0.06}, {0.07, 0.08}}},
                          {"lower", {{0.6, -0.1}, {-0.3, 0.5}}},
                          {"upper", {{0.8, 0.2}, {-0.01, 0.7}}}}},
                        {"communalities", {{"se", {0.1, 0.2}}, {"lower", {0.3, -0.1}}, {"upper", {0.6, 0.8}}}},
                        {"factor_correlations",
                         {{"se", {0.1, 0.2, 0.3}}, {"lower", {0.1, -0.1, -0.6}}, {"upper", {0.5, 0.4, -0.2}}}},
                        {"rmsea", interval}}}};
    const Page page(htmlPage(doc, {}), true);
    const auto row = [&page](int table, int r) {
        return page.texts("//section[@id='bootstrap']//table[" + std::to_string(table) + "]/tbody/tr[" +
                          std::to_string(r) + "]/td");
    };
    EXPECT_THAT(row(2, 1), ::testing::ElementsAre("V1", "F1", "0.700", "0.050", "0.600", "0.800", "*"));
    EXPECT_THAT(row(2, 2), ::testing::ElementsAre("V1", "F2", "0.100", "0.060", "-0.100", "0.200", ""));
    EXPECT_THAT(row(2, 3), ::testing::ElementsAre("V4", "F1", "-0.200", "0.070", "-0.300", "-0.010", "*"));
    EXPECT_EQ(row(3, 2).at(1), "0.400");
    EXPECT_EQ(row(3, 2).at(5), "");
    EXPECT_THAT(row(4, 1), ::testing::ElementsAre("F2 \u2013 F1", "0.300", "0.100", "0.100", "0.500", "*"));
    // The lower triangle row after row: (2,1), (3,1), (3,2).
    EXPECT_THAT(row(4, 3), ::testing::ElementsAre("F3 \u2013 F2", "-0.400", "0.300", "-0.600", "-0.200", "*"));
    // An interval that ends at 0 holds it.
    EXPECT_THAT(row(5, 1), ::testing::ElementsAre("RMSEA", "0.050", "0.100", "0.000", "0.400", ""));
}

TEST(HtmlPage, PublicationTableBlanksSmallLoadingsUnderTheThreshold) {
    const json doc = json::parse(fileText(kExpected + "pa_default.json"));
    HtmlOptions options;
    options.paperThreshold = 0.5;
    const Page page(htmlPage(doc, options), true);
    const auto rows = page.texts("//section[@id='publication']/table[1]/tbody/tr");
    // pa_default's loadings: V3 0.765 and V2 0.760 lead factor 1, V9 -0.711
    // and V7 0.665 factor 2; V1 (-0.457) is blank everywhere at 0.5.
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(page.texts("//section[@id='publication']/table[1]/tbody/tr[1]/td").at(1), "0.765");
    EXPECT_EQ(page.texts("//section[@id='publication']/table[1]/tbody/tr[1]/td").at(0), "V3");
    EXPECT_EQ(page.texts("//section[@id='publication']/table[1]/tbody/tr[6]/td").at(2), "-0.711");
    const auto v1 = page.texts("//section[@id='publication']//tr[td[1]='V1']/td");
    ASSERT_EQ(v1.size(), 4u);
    EXPECT_EQ(v1[1], "");
    EXPECT_EQ(v1[2], "");
    EXPECT_EQ(v1[3], "0.195");  // its communality, as the unrotated table prints it
    EXPECT_EQ(page.texts("//section[@id='publication']/table[2]/tbody/tr[2]/td").at(1), "0.368");
}

TEST(HtmlPage, HostileLabelsAreTextAndAnEarlyEndingIsSaid) {
    json doc = {{"ending", "failed"},
                {"warning", "WARNING: ML extraction method could not converge."},
                {"report", "a&b.txt"},
                {"extraction", "ULS"},
                {"variables",
                 {{{"number", 1}, {"label", "<script>alert(1)</script>"}}, {{"number", 2}, {"label", "A&B \"x\""}}}},
                {"unrotated_loadings", {{0.5}, {0.25}}},
                {"communalities", {0.25, 0.0625}}};
    const std::string html = htmlPage(doc, {});
    EXPECT_THAT(html, ::testing::Not(::testing::HasSubstr("<script>")));
    const Page page(html, false);
    ASSERT_NE(page.doc, nullptr);
    EXPECT_TRUE(page.texts("//script").empty());
    const auto names = page.texts("//section[@id='unrotated']//td[1]");
    EXPECT_THAT(names, ::testing::ElementsAre("<script>alert(1)</script>", "A&B \"x\""));
    EXPECT_THAT(page.texts("//p[@class='ending']"),
                ::testing::ElementsAre("The run ended early: WARNING: ML extraction method could not converge."));
    EXPECT_TRUE(page.texts("//section[@id='references']").empty());
}

}  // namespace
}  // namespace talvex
