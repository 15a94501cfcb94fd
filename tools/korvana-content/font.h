// The bitmap font of the overlay lettering: 5 x 7 cells, capitals, digits and a little punctuation.
#pragma once

#include <string_view>

namespace korvana::content {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// Whether cell (column, row) of `c` is set; row 0 is the top row. Characters the font lacks
// (lower case is folded to upper case first) draw as blanks.
bool glyphPixel(char c, int column, int row);

// Width of a line in cells: glyphs with one blank column between them.
inline int lineCells(std::string_view text) {
    return text.empty() ? 0 : static_cast<int>(text.size()) * (kGlyphWidth + 1) - 1;
}

}  // namespace korvana::content
