#include "cli/ChipMap.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Report.h"

namespace {

// The states in the legend's order.
constexpr BlockState LEGEND_ORDER[] = {BlockState::Good,     BlockState::Marked,  BlockState::Failed,
                                       BlockState::NotBlank, BlockState::Differs, BlockState::Unchecked};

// Room for the grid: it has to fit a laptop's browser window beside the
// heading and the legend, for the largest chips too (8192 blocks).
constexpr int GRID_WIDTH = 1024;
constexpr int GRID_HEIGHT = 720;
constexpr int LARGEST_CELL = 20;
constexpr int SMALLEST_CELL = 3;

constexpr int MARGIN = 16;
constexpr int LABEL_WIDTH = 56;  // the first block of each grid row, left of it
constexpr int HEADING_HEIGHT = 70;
constexpr int LEGEND_ROW = 22;
constexpr int TARGET_BAND = 20;  // the line that names a target, above its blocks

int ColumnsFor(int64_t blocks) {
    if (blocks <= 64) return 16;
    if (blocks <= 1024) return 32;
    if (blocks <= 4096) return 64;
    if (blocks <= 16384) return 128;
    return 256;
}

// XML text: a name's control characters and broken UTF-8 are shown as \xHH
// first, as no XML file may hold them.
std::string Escaped(const std::string& name) {
    const std::string text = VisibleText(name);
    std::string out;
    for (char c : text) {
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

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// The squares of one target (or of the whole range), laid out from a row of
// their own under their label.
struct Segment {
    std::string label;  // "CE1: blocks 1024 to 2047"; empty for a range of one target
    int64_t firstSquare;
    int64_t squares;
    int64_t y = 0;  // of its first row of squares
};

// One segment a target when the range covers several targets and each square
// is one block; else the whole range in one.
std::vector<Segment> SegmentsOf(const BlockMap& map, const ChipLayout& layout, int32_t pagesPerBlock) {
    const int64_t firstBlock = map.FirstBlock();
    const int64_t lastBlock = firstBlock + map.Blocks() - 1;
    const int64_t perTarget = pagesPerBlock > 0 ? layout.pagesPerTarget / pagesPerBlock : 0;
    if (layout.targets.size() < 2 || map.Group() != 1 || perTarget <= 0) return {{"", 0, map.Squares()}};
    std::vector<Segment> segments;
    for (size_t t = 0; t < layout.targets.size(); ++t) {
        const int64_t first = std::max(firstBlock, static_cast<int64_t>(t) * perTarget);
        const int64_t last = std::min(lastBlock, static_cast<int64_t>(t + 1) * perTarget - 1);
        if (first > last) continue;
        segments.push_back({"CE" + std::to_string(layout.targets[t]) + ": blocks " + std::to_string(first) + " to " +
                                std::to_string(last),
                            first - firstBlock, last - first + 1});
    }
    return segments;
}

}  // namespace

const char* BlockStateClass(BlockState state) {
    switch (state) {
        case BlockState::Unchecked: return "unchecked";
        case BlockState::Good: return "good";
        case BlockState::NotBlank: return "not-blank";
        case BlockState::Differs: return "differs";
        case BlockState::Failed: return "failed";
        case BlockState::Marked: return "marked";
    }
    return "unchecked";
}

const char* BlockStateLegend(BlockState state) {
    switch (state) {
        case BlockState::Unchecked: return "not checked";
        case BlockState::Good: return "good";
        case BlockState::NotBlank: return "not blank";
        case BlockState::Differs: return "differs from the file";
        case BlockState::Failed: return "erase or program failed";
        case BlockState::Marked: return "factory-marked bad";
    }
    return "";
}

namespace {

const char STYLE[] =
    "<style>\n"
    "text { font-family: sans-serif; fill: #222; }\n"
    ".heading { font-size: 18px; font-weight: bold; }\n"
    ".geometry, .legend text { font-size: 13px; }\n"
    ".axis { font-size: 10px; fill: #666; }\n"
    ".target { font-size: 13px; font-weight: bold; }\n"
    ".good { fill: #c8e6c9; }\n"
    ".marked { fill: #212121; }\n"
    ".failed { fill: #d32f2f; }\n"
    ".not-blank { fill: #ffa000; }\n"
    ".differs { fill: #7b1fa2; }\n"
    ".unchecked { fill: #ffffff; stroke: #bdbdbd; stroke-width: 0.5; }\n"
    "#blocks rect:hover { stroke: #000; stroke-width: 1.5; }\n"
    "</style>\n";

constexpr int LEGEND_COLUMNS = 3;

// The picture, its measures worked out from the map before any part of it
// is written: heading, axis, squares, legend.
class ChipPicture {
public:
    ChipPicture(const Geometry& geometry, const BlockMap& map, const ChipLayout& layout)
        : geometry_(geometry), map_(map), layout_(layout), squares_(map.Squares()), firstBlock_(map.FirstBlock()),
          lastBlock_(firstBlock_ + map.Blocks() - 1), group_(map.Group()), columns_(ColumnsFor(squares_)),
          segments_(SegmentsOf(map, layout, geometry.pagesPerBlock)) {
        int64_t rows = 0;
        for (const Segment& segment : segments_) rows += RowsOf(segment);
        cell_ = static_cast<int>(std::clamp<int64_t>(std::min<int64_t>(GRID_HEIGHT / rows, GRID_WIDTH / columns_),
                                                     SMALLEST_CELL, LARGEST_CELL));
        // A pixel between squares while they are large enough to spare it.
        square_ = cell_ >= 6 ? cell_ - 1 : cell_;
        int64_t gridHeight = 0;
        for (Segment& segment : segments_) {
            if (!segment.label.empty()) gridHeight += TARGET_BAND;
            segment.y = GRID_Y + gridHeight;
            gridHeight += RowsOf(segment) * cell_;
        }
        for (int64_t s = 0; s < squares_; ++s) ++counts_[static_cast<int>(map.State(s))];
        int legendEntries = 0;
        for (BlockState state : LEGEND_ORDER)
            if (Listed(state)) ++legendEntries;
        const int legendRows = (legendEntries + LEGEND_COLUMNS - 1) / LEGEND_COLUMNS;
        width_ = std::max(GRID_X + columns_ * cell_ + MARGIN, 640);
        legendY_ = GRID_Y + gridHeight + 20;
        height_ = legendY_ + legendRows * LEGEND_ROW + MARGIN;
    }

    std::string Svg(const std::string& chipName, const char* run) const {
        std::string svg;
        svg.reserve(static_cast<size_t>(squares_) * 120 + 4096);
        Heading(svg, chipName, run);
        Axis(svg);
        Squares(svg);
        Legend(svg);
        return svg + "</svg>\n";
    }

private:
    static constexpr int GRID_X = MARGIN + LABEL_WIDTH;
    static constexpr int GRID_Y = HEADING_HEIGHT;

    int64_t RowsOf(const Segment& segment) const {
        return std::max<int64_t>(1, (segment.squares + columns_ - 1) / columns_);
    }
    // "not checked" only when some square is.
    bool Listed(BlockState state) const {
        return state != BlockState::Unchecked || counts_[static_cast<int>(state)] != 0;
    }

    void Heading(std::string& svg, const std::string& chipName, const char* run) const {
        svg += Format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%" PRId64
                      "\" viewBox=\"0 0 %d %" PRId64 "\">\n",
                      width_, height_, width_, height_);
        svg += STYLE;
        svg += Format("<rect width=\"%d\" height=\"%" PRId64 "\" fill=\"#fafafa\"/>\n", width_, height_);
        svg += "<text class=\"heading\" x=\"" + std::to_string(MARGIN) + "\" y=\"26\">" + Escaped(chipName) + ": " +
               Escaped(run) + "</text>\n";
        const std::string squareSays =
            group_ == 1 ? std::string() : ", one square for " + std::to_string(group_) + " blocks";
        svg += Format("<text class=\"geometry\" x=\"%d\" y=\"46\">%d + %d bytes a page, %d pages a block, rows 0 to %d;"
                      " blocks %" PRId64 " to %" PRId64 "%s</text>\n",
                      MARGIN, geometry_.pageSize, geometry_.spareSize, geometry_.pagesPerBlock, geometry_.rowMax,
                      firstBlock_, lastBlock_, squareSays.c_str());
    }

    // The first block of every line, often enough to find a block by eye;
    // the columns count squares. Then each target's label.
    void Axis(std::string& svg) const {
        const int64_t labelEvery = std::max<int64_t>(1, (14 + cell_ - 1) / cell_);
        svg += "<g class=\"axis\">\n";
        for (int c = 8; c < columns_ && c < squares_; c += 8)
            svg += Format("<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">+%d</text>\n",
                          GRID_X + c * cell_ + square_ / 2, GRID_Y - 4, c);
        for (const Segment& segment : segments_) {
            for (int64_t r = 0; r < RowsOf(segment); r += labelEvery)
                svg += Format("<text x=\"%d\" y=\"%" PRId64 "\" text-anchor=\"end\">%" PRId64 "</text>\n", GRID_X - 6,
                              segment.y + r * cell_ + square_ / 2 + 4,
                              firstBlock_ + (segment.firstSquare + r * columns_) * group_);
        }
        svg += "</g>\n";
        for (const Segment& segment : segments_)
            if (!segment.label.empty())
                svg += Format("<text class=\"target\" x=\"%d\" y=\"%" PRId64 "\">%s</text>\n", GRID_X, segment.y - 6,
                              segment.label.c_str());
    }

    void Squares(std::string& svg) const {
        svg += "<g id=\"blocks\">\n";
        size_t in = 0;  // the segment of square s
        for (int64_t s = 0; s < squares_; ++s) {
            while (in + 1 < segments_.size() && s >= segments_[in + 1].firstSquare) ++in;
            const int64_t place = s - segments_[in].firstSquare;
            const BlockState state = map_.State(s);
            const int64_t b = firstBlock_ + s * group_;
            const int64_t lastOfSquare = std::min(b + group_ - 1, lastBlock_);
            const int64_t first = b * geometry_.pagesPerBlock;
            const int64_t last =
                std::min<int64_t>((lastOfSquare + 1) * geometry_.pagesPerBlock - 1, geometry_.rowMax);
            const std::string blocksText = lastOfSquare == b ? "Block " + std::to_string(b) + layout_.BlockName(b)
                                                             : "Blocks " + std::to_string(b) + " to " +
                                                                   std::to_string(lastOfSquare);
            svg += Format("<rect class=\"%s\" x=\"%" PRId64 "\" y=\"%" PRId64
                          "\" width=\"%d\" height=\"%d\"><title>%s, pages %" PRId64 " to %" PRId64
                          ": %s</title></rect>\n",
                          BlockStateClass(state), GRID_X + (place % columns_) * cell_,
                          segments_[in].y + (place / columns_) * cell_, square_, square_, blocksText.c_str(), first,
                          last, BlockStateLegend(state));
        }
        svg += "</g>\n";
    }

    void Legend(std::string& svg) const {
        svg += "<g class=\"legend\">\n";
        int entry = 0;
        for (BlockState state : LEGEND_ORDER) {
            if (!Listed(state)) continue;
            const int64_t count = counts_[static_cast<int>(state)];
            const int x = MARGIN + (entry % LEGEND_COLUMNS) * 210;
            const int64_t y = legendY_ + (entry / LEGEND_COLUMNS) * LEGEND_ROW;
            svg += Format("<rect class=\"%s\" x=\"%d\" y=\"%" PRId64 "\" width=\"14\" height=\"14\"/>"
                          "<text x=\"%d\" y=\"%" PRId64 "\">%s: %" PRId64 "</text>\n",
                          BlockStateClass(state), x, y, x + 20, y + 12, BlockStateLegend(state), count);
            ++entry;
        }
        svg += "</g>\n";
    }

    const Geometry& geometry_;
    const BlockMap& map_;
    const ChipLayout& layout_;
    const int64_t squares_;
    const int64_t firstBlock_;
    const int64_t lastBlock_;
    const int64_t group_;
    const int columns_;
    std::vector<Segment> segments_;
    int cell_ = 0;
    int square_ = 0;
    int64_t counts_[6] = {};
    int width_ = 0;
    int64_t legendY_ = 0;
    int64_t height_ = 0;
};

}  // namespace

std::string ChipMapSvg(const std::string& chipName, const char* run, const Geometry& geometry, const BlockMap& map,
                       const ChipLayout& layout) {
    return ChipPicture(geometry, map, layout).Svg(chipName, run);
}
