// The results document as one self-contained HTML page: every section the
// report printed, in the report's order, as tables, with a contents list,
// and the loading table for publication.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvex {

struct HtmlOptions {
    // Loadings below this absolute value are blank in the publication table.
    double paperThreshold = 0.30;
    // Pictures shown after the sections: each an SVG document, inlined, or
    // with linkedImages its PNG file, linked (for viewers without SVG).
    struct Picture {
        std::string title;
        std::string svg;
        std::string png;  // the same picture as a PNG file; empty: none
    };
    std::vector<Picture> pictures;
    bool linkedImages = false;
};

// UTF-8, valid HTML5 that is also well-formed XML; labels and file names are
// text, never markup.
std::string htmlPage(const nlohmann::json& doc, const HtmlOptions& options);

}  // namespace talvex
