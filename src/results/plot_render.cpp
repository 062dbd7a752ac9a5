#include "results/plot_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include <cairo-svg.h>
#include <cairo.h>
#include <png.h>

namespace talvex {

namespace {

// Okabe-Ito colours: told apart with every common colour vision deficiency.
struct Rgb {
    double r, g, b;
};
constexpr Rgb kBlack{0.0, 0.0, 0.0};
constexpr Rgb kBlue{0.0, 0.447, 0.698};
constexpr Rgb kVermillion{0.835, 0.369, 0.0};
constexpr Rgb kGreen{0.0, 0.620, 0.451};
constexpr Rgb kGrid{0.88, 0.88, 0.88};
constexpr Rgb kMuted{0.35, 0.35, 0.35};

constexpr const char* kFont = "DejaVu Sans";
constexpr double kTitleSize = 17.0;
constexpr double kLabelSize = 14.0;
constexpr double kTickSize = 13.0;
constexpr double kCellTextSize = 12.0;

void colour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void font(cairo_t* cr, double size, bool bold = false) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

// Cairo takes UTF-8 only: a label in another encoding keeps its ASCII and
// shows '?' for the bytes that do not form UTF-8.
std::string validUtf8(const std::string& s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        bool good = length > 0 && i + length <= s.size();
        for (std::size_t j = 1; good && j < length; ++j)
            good = (static_cast<unsigned char>(s[i + j]) >> 6) == 0x2;
        if (good && (length > 1 || c >= 0x20)) {
            out.append(s, i, length);
            i += length;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

double textWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    return e.x_advance;
}

// The text cut at a character boundary and ended with an ellipsis so that
// it fits in `width`.
std::string fitted(cairo_t* cr, const std::string& text, double width) {
    if (textWidth(cr, text) <= width) return text;
    std::string cut = text;
    while (!cut.empty()) {
        do cut.pop_back();
        while (!cut.empty() && (static_cast<unsigned char>(cut.back()) >> 6) == 0x2);
        if (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0xC0) cut.pop_back();
        if (textWidth(cr, cut + "\u2026") <= width) break;
    }
    return cut + "\u2026";
}

// On the SVG surface text is written as <text> elements, collected while
// painting and added on top when the surface is finished: a glyph outline
// per character would make a large heat map's file several megabytes and
// slow to show in a page, and real text can be selected and searched.
using SvgTexts = std::vector<std::string>;
const cairo_user_data_key_t kSvgTextsKey{};

std::string xmlEscaped(const std::string& s) {
    std::string out;
    for (const char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// The <text> element of s at user-space (x, baseline) in the current
// transformation, font and colour; align 0, 0.5, 1: start, middle, end.
std::string svgText(cairo_t* cr, const std::string& s, double x, double baseline, double align) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_matrix_t fm;
    cairo_get_font_matrix(cr, &fm);
    const bool bold = cairo_toy_font_face_get_weight(cairo_get_font_face(cr)) == CAIRO_FONT_WEIGHT_BOLD;
    double r = 0.0, g = 0.0, b = 0.0, a = 1.0;
    cairo_pattern_get_rgba(cairo_get_source(cr), &r, &g, &b, &a);
    const char* anchor = align >= 0.75 ? "end" : align >= 0.25 ? "middle" : "start";
    char transform[200] = "";
    if (m.xx != 1.0 || m.yx != 0.0 || m.xy != 0.0 || m.yy != 1.0 || m.x0 != 0.0 || m.y0 != 0.0)
        std::snprintf(transform, sizeof transform, " transform=\"matrix(%g %g %g %g %g %g)\"", m.xx, m.yx, m.xy,
                      m.yy, m.x0, m.y0);
    char fill[40] = "";
    const int red = static_cast<int>(std::lround(r * 255)), green = static_cast<int>(std::lround(g * 255)),
              blue = static_cast<int>(std::lround(b * 255));
    if (red != 0 || green != 0 || blue != 0)
        std::snprintf(fill, sizeof fill, " fill=\"rgb(%d,%d,%d)\"", red, green, blue);
    char head[400];
    std::snprintf(head, sizeof head, "<text%s x=\"%g\" y=\"%g\" font-size=\"%g\"%s%s%s>", transform, x, baseline,
                  fm.xx, bold ? " font-weight=\"bold\"" : "",
                  align >= 0.25 ? (std::string(" text-anchor=\"") + anchor + "\"").c_str() : "", fill);
    return head + xmlEscaped(s) + "</text>\n";
}

// Text anchored at (x, y): align 0 left, 0.5 centre, 1 right of x; y is
// the middle of the lower-case letters.
void text(cairo_t* cr, const std::string& s, double x, double y, double align = 0.0) {
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    const double baseline = y + fe.ascent * 0.36;
    if (auto* texts = static_cast<SvgTexts*>(cairo_surface_get_user_data(cairo_get_target(cr), &kSvgTextsKey))) {
        texts->push_back(svgText(cr, s, x, baseline, align));
        return;
    }
    cairo_move_to(cr, x - align * textWidth(cr, s), baseline);
    cairo_show_text(cr, s.c_str());
}

// Text turned a quarter to the left, centred on (x, y).
void verticalText(cairo_t* cr, const std::string& s, double x, double y) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -M_PI / 2.0);
    text(cr, s, 0.0, 0.0, 0.5);
    cairo_restore(cr);
}

std::string number(double v, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    std::string s = buffer;
    // No "-0.00": a value that rounds to zero has no sign.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

// Ticks at 1, 2 or 5 times a power of ten, about `count` over [lo, hi].
struct Ticks {
    double first = 0.0, step = 1.0;
    int count = 0;
    int decimals = 0;
};

Ticks ticksFor(double lo, double hi, int count, bool integers) {
    if (!(hi > lo)) hi = lo + 1.0;
    const double raw = (hi - lo) / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    if (integers) step = std::max(1.0, std::round(step));
    Ticks t;
    t.step = step;
    t.first = std::floor(lo / step + 1e-9) * step;
    t.count = static_cast<int>(std::ceil(hi / step - 1e-9) - std::floor(lo / step + 1e-9)) + 1;
    t.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return t;
}

// A frame whose axes end on ticks and hold every point with some air.
PlotFrame frameFor(const std::vector<const std::vector<PlotPoint>*>& series, bool integerX,
                   bool fromZero) {
    double xLo = INFINITY, xHi = -INFINITY, yLo = fromZero ? 0.0 : INFINITY, yHi = -INFINITY;
    for (const auto* s : series)
        for (const PlotPoint& p : *s) {
            xLo = std::min(xLo, p.x);
            xHi = std::max(xHi, p.x);
            yLo = std::min(yLo, p.y);
            yHi = std::max(yHi, p.y);
        }
    if (!(xHi >= xLo)) xLo = 0.0, xHi = 1.0;
    if (!(yHi >= yLo)) yLo = 0.0, yHi = 1.0;
    if (yHi == yLo) yLo -= 0.5, yHi += 0.5;
    PlotFrame f;
    f.left = 84.0;
    f.top = 76.0;
    f.width = kChartWidth - f.left - 28.0;
    f.height = kChartHeight - f.top - 66.0;
    const Ticks y = ticksFor(yLo, yHi, 6, false);
    f.yMin = y.first;
    // A point on the top of the frame would be half hidden by it.
    f.yMax = std::max(y.first + (y.count - 1) * y.step, yHi + 0.05 * (yHi - f.yMin));
    if (integerX) {
        f.xMin = xLo - 0.5;
        f.xMax = xHi + 0.5;
    } else {
        const double pad = std::max(1.0, (xHi - xLo) * 0.05);
        f.xMin = std::max(0.0, xLo - pad);
        f.xMax = xHi + pad;
    }
    return f;
}

void axes(cairo_t* cr, const PlotFrame& f, const std::string& xTitle, const std::string& yTitle,
          bool integerX) {
    const Ticks y = ticksFor(f.yMin, f.yMax, 6, false);
    const Ticks x = ticksFor(std::max(f.xMin, integerX ? 1.0 : f.xMin), f.xMax, integerX ? 16 : 8, integerX);
    cairo_set_line_width(cr, 1.0);
    font(cr, kTickSize);
    for (int i = 0; i < y.count; ++i) {
        const double v = y.first + i * y.step;
        if (v < f.yMin - 1e-9 || v > f.yMax + 1e-9) continue;
        const double py = std::round(f.py(v)) + 0.5;
        colour(cr, kGrid);
        cairo_move_to(cr, f.left, py);
        cairo_line_to(cr, f.left + f.width, py);
        cairo_stroke(cr);
        colour(cr, kBlack);
        cairo_move_to(cr, f.left - 5.0, py);
        cairo_line_to(cr, f.left, py);
        cairo_stroke(cr);
        text(cr, number(v, y.decimals), f.left - 8.0, py, 1.0);
    }
    for (int i = 0; i < x.count; ++i) {
        const double v = x.first + i * x.step;
        if (v < f.xMin - 1e-9 || v > f.xMax + 1e-9) continue;
        const double px = std::round(f.px(v)) + 0.5;
        colour(cr, kBlack);
        cairo_move_to(cr, px, f.top + f.height);
        cairo_line_to(cr, px, f.top + f.height + 5.0);
        cairo_stroke(cr);
        text(cr, number(v, integerX ? 0 : x.decimals), px, f.top + f.height + 17.0, 0.5);
    }
    colour(cr, kBlack);
    cairo_rectangle(cr, std::round(f.left) + 0.5, std::round(f.top) + 0.5, std::round(f.width),
                    std::round(f.height));
    cairo_stroke(cr);
    font(cr, kLabelSize);
    text(cr, xTitle, f.left + f.width / 2.0, f.top + f.height + 44.0, 0.5);
    verticalText(cr, yTitle, 22.0, f.top + f.height / 2.0);
}

void titles(cairo_t* cr, double width, const std::string& title, const std::string& subtitle) {
    colour(cr, kBlack);
    font(cr, kTitleSize, true);
    text(cr, fitted(cr, title, width - 24.0), width / 2.0, 24.0, 0.5);
    font(cr, kTickSize);
    colour(cr, kMuted);
    text(cr, fitted(cr, subtitle, width - 24.0), width / 2.0, 48.0, 0.5);
}

enum class Marker { Circle, Square, Triangle, Ring };

void marker(cairo_t* cr, Marker kind, double x, double y) {
    switch (kind) {
        case Marker::Circle:
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, 4.0, 0.0, 2.0 * M_PI);
            cairo_fill(cr);
            break;
        case Marker::Ring:
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, 4.5, 0.0, 2.0 * M_PI);
            cairo_set_line_width(cr, 1.5);
            cairo_stroke(cr);
            break;
        case Marker::Square:
            cairo_rectangle(cr, x - 3.5, y - 3.5, 7.0, 7.0);
            cairo_fill(cr);
            break;
        case Marker::Triangle:
            cairo_move_to(cr, x, y - 4.5);
            cairo_line_to(cr, x + 4.5, y + 3.5);
            cairo_line_to(cr, x - 4.5, y + 3.5);
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
    }
}

struct Style {
    Rgb rgb;
    std::vector<double> dashes;
    Marker mark;
    std::string name;
};

// Line and markers of a series; markers only while they do not crowd.
void series(cairo_t* cr, const PlotFrame& f, const std::vector<PlotPoint>& points, const Style& s,
            bool line = true) {
    colour(cr, s.rgb);
    if (line && points.size() > 1) {
        cairo_set_line_width(cr, 2.0);
        cairo_set_dash(cr, s.dashes.data(), static_cast<int>(s.dashes.size()), 0.0);
        for (std::size_t i = 0; i < points.size(); ++i)
            (i == 0 ? cairo_move_to : cairo_line_to)(cr, f.px(points[i].x), f.py(points[i].y));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
    }
    if (!line || f.width / static_cast<double>(std::max<std::size_t>(points.size(), 1)) >= 6.0)
        for (const PlotPoint& p : points) marker(cr, s.mark, f.px(p.x), f.py(p.y));
}

// A key of the series in the upper right corner of the frame.
void legend(cairo_t* cr, const PlotFrame& f, const std::vector<Style>& styles, bool top = true) {
    font(cr, kTickSize);
    double width = 0.0;
    for (const Style& s : styles) width = std::max(width, textWidth(cr, s.name));
    const double boxWidth = width + 56.0, boxHeight = 22.0 * styles.size() + 8.0;
    const double x = f.left + f.width - boxWidth - 10.0;
    const double y = top ? f.top + 10.0 : f.top + f.height - boxHeight - 10.0;
    cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.9);
    cairo_rectangle(cr, x, y, boxWidth, boxHeight);
    cairo_fill_preserve(cr);
    colour(cr, kGrid);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    for (std::size_t i = 0; i < styles.size(); ++i) {
        const Style& s = styles[i];
        const double ly = y + 15.0 + 22.0 * i;
        colour(cr, s.rgb);
        cairo_set_line_width(cr, 2.0);
        cairo_set_dash(cr, s.dashes.data(), static_cast<int>(s.dashes.size()), 0.0);
        cairo_move_to(cr, x + 8.0, ly);
        cairo_line_to(cr, x + 40.0, ly);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
        marker(cr, s.mark, x + 24.0, ly);
        colour(cr, kBlack);
        text(cr, s.name, x + 48.0, ly);
    }
}

// The advised point: a diamond, the only one of a chart, with its note.
void advisedMark(cairo_t* cr, const PlotFrame& f, double x, double y, const std::string& note) {
    const double cx = f.px(x), cy = f.py(y), r = 9.0;
    cairo_move_to(cr, cx, cy - r);
    cairo_line_to(cr, cx + r, cy);
    cairo_line_to(cr, cx, cy + r);
    cairo_line_to(cr, cx - r, cy);
    cairo_close_path(cr);
    colour(cr, kVermillion);
    cairo_fill_preserve(cr);
    colour(cr, kBlack);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    font(cr, kTickSize, true);
    const bool right = cx < f.left + f.width * 0.6;
    const double ty = std::clamp(cy - 30.0, f.top + 12.0, f.top + f.height - 12.0);
    const double tx = right ? cx + 12.0 : cx - 12.0, w = textWidth(cr, note);
    cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.85);
    cairo_rectangle(cr, right ? tx - 3.0 : tx - w - 3.0, ty - 10.0, w + 6.0, 20.0);
    cairo_fill(cr);
    colour(cr, kBlack);
    text(cr, note, tx, ty, right ? 0.0 : 1.0);
}

using Painter = std::function<void(cairo_t*)>;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

bool paintOn(cairo_surface_t* surface, int width, int height, const Painter& paint) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_rectangle(cr, 0.0, 0.0, width, height);
    cairo_fill(cr);
    paint(cr);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    return ok;
}

void appendPng(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

// The opaque image as an 8-bit RGB PNG. Flat colour compresses well without
// filters, and the fastest deflate level keeps encoding (most of the time of
// a plot with cairo's own PNG writer) to a few milliseconds.
bool encodePng(cairo_surface_t* image, std::string& out) {
    cairo_surface_flush(image);
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* pixels = cairo_image_surface_get_data(image);
    if (pixels == nullptr) return false;
    std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, appendPng, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        // RGB24 keeps each pixel as a native 32-bit 0x00RRGGBB.
        const auto* source = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = source[x];
            row[3 * static_cast<std::size_t>(x)] = static_cast<png_byte>(p >> 16);
            row[3 * static_cast<std::size_t>(x) + 1] = static_cast<png_byte>(p >> 8);
            row[3 * static_cast<std::size_t>(x) + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

RenderedPlot render(int width, int height, const Painter& paint) {
    RenderedPlot out;
    cairo_surface_t* svg = cairo_svg_surface_create_for_stream(appendBytes, &out.svg, width, height);
    cairo_svg_surface_set_document_unit(svg, CAIRO_SVG_UNIT_PX);
    SvgTexts texts;
    cairo_surface_set_user_data(svg, &kSvgTextsKey, &texts, nullptr);
    bool ok = paintOn(svg, width, height, paint);
    cairo_surface_finish(svg);
    ok = ok && cairo_surface_status(svg) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(svg);
    const std::size_t end = out.svg.rfind("</svg>");
    ok = ok && end != std::string::npos;
    if (ok) {
        // Black unless a text says otherwise, in the plots' one font.
        std::string all = std::string("<g font-family=\"") + kFont + "\" fill=\"rgb(0,0,0)\">\n";
        for (const std::string& t : texts) all += t;
        all += "</g>\n";
        out.svg.insert(end, all);
    }

    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    ok = ok && paintOn(image, width, height, paint);
    ok = ok && encodePng(image, out.png);
    cairo_surface_destroy(image);
    out.ok = ok;
    return out;
}

std::string ordinal(int n) {
    const int tens = n % 100;
    const char* suffix = (tens >= 11 && tens <= 13) ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

const PlotPoint* pointAt(const std::vector<PlotPoint>& points, double x) {
    for (const PlotPoint& p : points)
        if (p.x == x) return &p;
    return nullptr;
}

}  // namespace

PlotFrame screeFrame(const ScreePlot& plot) {
    return frameFor({&plot.real, &plot.mean, &plot.percentile}, true, true);
}

PlotFrame mapFrame(const MapPlot& plot) { return frameFor({&plot.averages}, true, true); }

PlotFrame hullFrame(const HullPlot& plot) { return frameFor({&plot.solutions, &plot.hull}, false, false); }

RenderedPlot renderScree(const ScreePlot& plot) {
    const PlotFrame f = screeFrame(plot);
    const std::string what = plot.percentages ? "% of common variance" : "Eigenvalue";
    return render(kChartWidth, kChartHeight, [&](cairo_t* cr) {
        std::string subtitle = "Eigenvalues of the analysed matrix";
        if (plot.parallel) {
            subtitle = "Advised number of dimensions: " + std::to_string(plot.advisedByPercentile) +
                       " by the " + ordinal(plot.percentileLevel) + " percentile, " +
                       std::to_string(plot.advisedByMean) + " by the mean";
            if (plot.advisedByMean == plot.advisedByPercentile)
                subtitle = "Advised number of dimensions: " + std::to_string(plot.advised);
        }
        titles(cr, kChartWidth, plot.parallel ? "Scree plot with parallel analysis" : "Scree plot", subtitle);
        axes(cr, f, plot.parallel ? "Rank" : "Rank of the eigenvalue",
             plot.parallel ? what + " (real and random data)" : what, true);
        const std::vector<Style> styles = {
            {kBlack, {}, Marker::Circle, "Real data"},
            {kBlue, {7.0, 4.0}, Marker::Square, "Mean of random data"},
            {kGreen, {2.0, 3.0}, Marker::Triangle, ordinal(plot.percentileLevel) + " percentile of random data"}};
        if (plot.parallel) {
            series(cr, f, plot.percentile, styles[2]);
            series(cr, f, plot.mean, styles[1]);
        }
        series(cr, f, plot.real, styles[0]);
        if (plot.parallel) legend(cr, f, styles);
        if (plot.advised > 0)
            if (const PlotPoint* p = pointAt(plot.real, plot.advised))
                advisedMark(cr, f, p->x, p->y, std::to_string(plot.advised) + " advised");
    });
}

RenderedPlot renderMap(const MapPlot& plot) {
    const PlotFrame f = mapFrame(plot);
    return render(kChartWidth, kChartHeight, [&](cairo_t* cr) {
        titles(cr, kChartWidth, "Minimum average partial test",
               "Advised number of dimensions: " + std::to_string(plot.advised) + " (the smallest average)");
        axes(cr, f, "Dimensions partialled out", "Average squared partial correlation", true);
        series(cr, f, plot.averages, {kBlack, {}, Marker::Circle, "Averages"});
        if (plot.advised > 0)
            if (const PlotPoint* p = pointAt(plot.averages, plot.advised))
                advisedMark(cr, f, p->x, p->y, "minimum " + number(p->y, 5));
    });
}

RenderedPlot renderHull(const HullPlot& plot) {
    const PlotFrame f = hullFrame(plot);
    return render(kChartWidth, kChartHeight, [&](cairo_t* cr) {
        titles(cr, kChartWidth, "Hull method",
               "Advised number of common factors: " + std::to_string(plot.advised));
        axes(cr, f, "Free parameters (degrees of freedom)", plot.index + " (goodness of fit)", false);
        series(cr, f, plot.solutions, {kBlue, {}, Marker::Ring, "Solutions"}, false);
        series(cr, f, plot.hull, {kBlack, {}, Marker::Circle, "Hull"});
        legend(cr, f, {{kBlue, {}, Marker::Ring, "Solutions"}, {kBlack, {}, Marker::Circle, "Upper hull"}}, false);
        font(cr, kTickSize);
        colour(cr, kBlack);
        for (std::size_t i = 0; i < plot.hull.size(); ++i)
            if (plot.hullFactors[i] != plot.advised) {
                // Left of the point, or right of it near the y axis.
                const double x = f.px(plot.hull[i].x), y = f.py(plot.hull[i].y);
                const bool nearAxis = x < f.left + 90.0;
                text(cr, std::to_string(plot.hullFactors[i]) + (plot.hullFactors[i] == 1 ? " factor" : " factors"),
                     nearAxis ? x + 12.0 : x - 10.0, nearAxis ? y - 8.0 : y - 12.0, nearAxis ? 0.0 : 1.0);
            }
        // Solutions below the hull are named in their colour, right of them.
        colour(cr, kBlue);
        for (std::size_t i = 0; i < plot.solutions.size(); ++i) {
            const int k = plot.solutionFactors[i];
            if (k == plot.advised || std::find(plot.hullFactors.begin(), plot.hullFactors.end(), k) != plot.hullFactors.end())
                continue;
            text(cr, std::to_string(k) + (k == 1 ? " factor" : " factors"), f.px(plot.solutions[i].x) + 10.0,
                 f.py(plot.solutions[i].y) + 12.0);
        }
        // The advised solution need not be on the hull (one factor is advised
        // when the hull has no interior point).
        for (std::size_t i = 0; i < plot.solutions.size(); ++i)
            if (plot.solutionFactors[i] == plot.advised)
                advisedMark(cr, f, plot.solutions[i].x, plot.solutions[i].y,
                            std::to_string(plot.advised) + (plot.advised == 1 ? " factor advised" : " factors advised"));
    });
}

namespace {

// Loadings heat map geometry.
constexpr double kLabelArea = 200.0;
constexpr double kCellWidth = 64.0;
constexpr double kCellHeight = 24.0;
constexpr double kPhiCell = 56.0;
constexpr double kMatrixTop = 112.0;
constexpr double kLegendHeight = 100.0;

// ColorBrewer's purple-orange scale, from -1 to 1 in steps of 1/3: both
// hues are told apart with colour vision deficiencies, and the lightness
// grows with the size of the value either way.
constexpr std::array<Rgb, 7> kDiverging = {{{0.702, 0.345, 0.024},
                                            {0.945, 0.639, 0.251},
                                            {0.996, 0.878, 0.714},
                                            {0.969, 0.969, 0.969},
                                            {0.847, 0.855, 0.922},
                                            {0.600, 0.557, 0.765},
                                            {0.329, 0.153, 0.533}}};

Rgb divergingColour(double v) {
    const double t = (std::clamp(v, -1.0, 1.0) + 1.0) * 3.0;
    const int i = std::min(5, static_cast<int>(t));
    const double u = t - i;
    const Rgb& a = kDiverging[static_cast<std::size_t>(i)];
    const Rgb& b = kDiverging[static_cast<std::size_t>(i + 1)];
    return {a.r + (b.r - a.r) * u, a.g + (b.g - a.g) * u, a.b + (b.b - a.b) * u};
}

double luminance(const Rgb& c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

void cell(cairo_t* cr, double x, double y, double w, double h, double v, bool bold) {
    if (std::isnan(v)) {
        colour(cr, {0.75, 0.75, 0.75});
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
        colour(cr, kBlack);
        font(cr, kCellTextSize);
        text(cr, "n/a", x + w / 2.0, y + h / 2.0, 0.5);
        return;
    }
    const Rgb c = divergingColour(v);
    colour(cr, c);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    colour(cr, luminance(c) < 0.45 ? Rgb{1.0, 1.0, 1.0} : kBlack);
    font(cr, kCellTextSize, bold);
    text(cr, number(v, 2), x + w / 2.0, y + h / 2.0, 0.5);
}

}  // namespace

PixelSize loadingsSize(const LoadingsPlot& plot) {
    const int k = plot.values.empty() ? 0 : static_cast<int>(plot.values[0].size());
    const int m = static_cast<int>(plot.values.size());
    int width = 24 + static_cast<int>(kLabelArea) + 64 * k + 24;
    if (!plot.correlations.empty()) width += 48 + 40 + 56 * k;
    return {std::max(width, 600), static_cast<int>(kMatrixTop) + 24 * m + static_cast<int>(kLegendHeight)};
}

RenderedPlot renderLoadings(const LoadingsPlot& plot) {
    const PixelSize size = loadingsSize(plot);
    const int k = plot.values.empty() ? 0 : static_cast<int>(plot.values[0].size());
    const int m = static_cast<int>(plot.values.size());
    return render(size.width, size.height, [&](cairo_t* cr) {
        titles(cr, size.width, plot.rotated ? "Rotated loadings" : "Unrotated loadings",
               std::to_string(m) + " variables sorted by their main factor and its loading");
        const double left = 24.0 + kLabelArea;
        font(cr, kLabelSize, true);
        colour(cr, kBlack);
        for (int j = 0; j < k; ++j)
            text(cr, "F" + std::to_string(j + 1), left + kCellWidth * (j + 0.5), kMatrixTop - 14.0, 0.5);
        for (int i = 0; i < m; ++i) {
            const double y = kMatrixTop + kCellHeight * i;
            const auto& row = plot.values[static_cast<std::size_t>(i)];
            int main = -1;
            for (int j = 0; j < k; ++j)
                if (!std::isnan(row[j]) && (main < 0 || std::fabs(row[j]) > std::fabs(row[main]))) main = j;
            for (int j = 0; j < k; ++j) cell(cr, left + kCellWidth * j, y, kCellWidth, kCellHeight, row[j], j == main);
            font(cr, kTickSize);
            colour(cr, kBlack);
            const std::string label = fitted(cr, validUtf8(plot.labels[static_cast<std::size_t>(i)]), kLabelArea - 10.0);
            text(cr, label, left - 8.0, y + kCellHeight / 2.0, 1.0);
        }
        // Thin white rules keep neighbouring cells of one colour apart.
        colour(cr, {1.0, 1.0, 1.0});
        cairo_set_line_width(cr, 1.0);
        for (int j = 1; j < k; ++j) {
            cairo_move_to(cr, left + kCellWidth * j, kMatrixTop);
            cairo_line_to(cr, left + kCellWidth * j, kMatrixTop + kCellHeight * m);
        }
        cairo_stroke(cr);

        if (!plot.correlations.empty()) {
            const double px = left + kCellWidth * k + 48.0 + 40.0;
            font(cr, kLabelSize, true);
            colour(cr, kBlack);
            text(cr, "Factor correlations", px + kPhiCell * k / 2.0 - 20.0, kMatrixTop - 40.0, 0.5);
            for (int j = 0; j < k; ++j) {
                font(cr, kLabelSize, true);
                colour(cr, kBlack);
                text(cr, "F" + std::to_string(j + 1), px + kPhiCell * (j + 0.5), kMatrixTop - 14.0, 0.5);
                text(cr, "F" + std::to_string(j + 1), px - 8.0, kMatrixTop + kCellHeight * (j + 0.5), 1.0);
                for (int c = 0; c < k; ++c)
                    cell(cr, px + kPhiCell * c, kMatrixTop + kCellHeight * j, kPhiCell, kCellHeight,
                         plot.correlations[static_cast<std::size_t>(j)][static_cast<std::size_t>(c)], false);
            }
        }

        // The colour key below the matrix.
        const double ky = kMatrixTop + kCellHeight * m + 30.0, kw = 240.0;
        for (int i = 0; i < 240; ++i) {
            colour(cr, divergingColour(-1.0 + 2.0 * i / 239.0));
            cairo_rectangle(cr, left + i, ky, 1.2, 14.0);
            cairo_fill(cr);
        }
        colour(cr, kBlack);
        font(cr, kTickSize);
        text(cr, plot.rotated && !plot.correlations.empty() ? "Pattern coefficient" : "Loading", left - 8.0, ky + 7.0, 1.0);
        cairo_set_line_width(cr, 1.0);
        for (int t = 0; t <= 4; ++t) {
            const double x = left + kw * t / 4.0;
            cairo_move_to(cr, x, ky + 14.0);
            cairo_line_to(cr, x, ky + 19.0);
            cairo_stroke(cr);
            text(cr, number(-1.0 + 0.5 * t, 1), x, ky + 30.0, 0.5);
        }
        colour(cr, kMuted);
        text(cr, "Bold: the largest loading of each row", left, ky + 52.0);
    });
}

namespace {

// Intervals plot geometry.
constexpr double kPanelWidth = 150.0;
constexpr double kPanelGap = 40.0;
constexpr double kRowHeight = 20.0;
constexpr double kIntervalsTop = 96.0;
constexpr double kIntervalsFoot = 90.0;

int factorsOf(const IntervalsPlot& plot) {
    return plot.estimates.empty() ? 0 : static_cast<int>(plot.estimates[0].size());
}

}  // namespace

PixelSize intervalsSize(const IntervalsPlot& plot) {
    const int k = factorsOf(plot);
    const int width = 24 + static_cast<int>(kLabelArea) + k * static_cast<int>(kPanelWidth + kPanelGap) + 12;
    const int height = static_cast<int>(kIntervalsTop + kRowHeight * static_cast<double>(plot.estimates.size()) +
                                        kIntervalsFoot);
    return {std::max(width, 600), height};
}

RenderedPlot renderIntervals(const IntervalsPlot& plot) {
    const PixelSize size = intervalsSize(plot);
    const int k = factorsOf(plot);
    const int m = static_cast<int>(plot.estimates.size());
    // One scale for every panel, from the lowest bound to the highest, 0 included.
    double lo = 0.0, hi = 0.0;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < k; ++j)
            if (!std::isnan(plot.lower[i][j])) {
                lo = std::min(lo, plot.lower[i][j]);
                hi = std::max(hi, plot.upper[i][j]);
            }
    const Ticks ticks = ticksFor(lo, hi, 4, false);
    const double xMin = ticks.first, xMax = std::max(ticks.first + (ticks.count - 1) * ticks.step, hi);
    const double left = 24.0 + kLabelArea, bottom = kIntervalsTop + kRowHeight * m;
    return render(size.width, size.height, [&](cairo_t* cr) {
        titles(cr, size.width,
               std::to_string(plot.level) + "% bootstrap intervals of the " + (plot.rotated ? "rotated" : "unrotated") +
                   " loadings",
               "Percentiles of " + std::to_string(plot.used) + " resamples (" + std::to_string(plot.failed) +
                   " failed); variables sorted by their main factor");
        font(cr, kTickSize);
        colour(cr, kBlack);
        for (int i = 0; i < m; ++i)
            text(cr, fitted(cr, validUtf8(plot.labels[static_cast<std::size_t>(i)]), kLabelArea - 10.0), left - 8.0,
                 kIntervalsTop + kRowHeight * (i + 0.5), 1.0);
        for (int j = 0; j < k; ++j) {
            PlotFrame f;
            f.left = left + (kPanelWidth + kPanelGap) * j;
            f.top = kIntervalsTop;
            f.width = kPanelWidth;
            f.height = kRowHeight * m;
            f.xMin = xMin;
            f.xMax = xMax;
            cairo_set_line_width(cr, 1.0);
            for (int t = 0; t < ticks.count; ++t) {
                const double v = ticks.first + t * ticks.step;
                if (v > xMax + 1e-9) continue;
                const double x = std::round(f.px(v)) + 0.5;
                colour(cr, std::fabs(v) < 1e-12 ? kMuted : kGrid);
                cairo_move_to(cr, x, f.top);
                cairo_line_to(cr, x, bottom);
                cairo_stroke(cr);
                colour(cr, kBlack);
                font(cr, kCellTextSize);
                text(cr, number(v, ticks.decimals), x, bottom + 14.0, 0.5);
            }
            colour(cr, kBlack);
            cairo_rectangle(cr, std::round(f.left) + 0.5, f.top + 0.5, kPanelWidth, kRowHeight * m);
            cairo_stroke(cr);
            font(cr, kLabelSize, true);
            text(cr, "F" + std::to_string(j + 1), f.left + kPanelWidth / 2.0, f.top - 14.0, 0.5);
            for (int i = 0; i < m; ++i) {
                const double est = plot.estimates[i][j];
                if (std::isnan(est)) continue;
                const double y = f.top + kRowHeight * (i + 0.5);
                // Blue where the interval excludes 0, grey where it holds it.
                const bool excludes = plot.lower[i][j] > 0.0 || plot.upper[i][j] < 0.0;
                colour(cr, excludes ? kBlue : kMuted);
                cairo_set_line_width(cr, excludes ? 2.5 : 1.5);
                cairo_move_to(cr, f.px(plot.lower[i][j]), y);
                cairo_line_to(cr, f.px(plot.upper[i][j]), y);
                cairo_stroke(cr);
                marker(cr, excludes ? Marker::Circle : Marker::Ring, f.px(est), y);
            }
        }
        font(cr, kTickSize);
        colour(cr, kBlack);
        text(cr, plot.rotated ? "Rotated loading" : "Loading", left + (kPanelWidth + kPanelGap) * k / 2.0,
             bottom + 38.0, 0.5);
        colour(cr, kMuted);
        text(cr, "Dot: the sample's loading; blue: the interval excludes 0", left, bottom + 64.0);
    });
}

}  // namespace talvex
