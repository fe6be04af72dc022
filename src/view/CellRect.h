#pragma once

namespace hoplark {

// A cell rectangle the way the grid painter reasons about it: right and bottom are exclusive,
// so right - left is the column's width and bottom - top the row's height.
struct CellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

}  // namespace hoplark
