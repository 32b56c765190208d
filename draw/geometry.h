#pragma once
// Where the board's cells lie on the 640x480 screen, for whatever draws them or
// points at them: the drawing, the click handling, the picture generator, a seat
// that clicks like a person, the tests. Cells are (column x, row y) of Jeu; rows
// are 38 pixels apart and neighbouring rows 25 pixels aside, which makes the hex
// pattern. Plain arithmetic on int, sign-extended from the game's 8-bit values;
// this header includes nothing, so any folder may use it.

// The 32x32 box a cell is drawn in has its top-left pixel at (25x + 53, 38y - 59).
constexpr int kCellBox = 32;
constexpr int cell_left(int x) { return 25 * x + 53; }
constexpr int cell_top(int y) { return 38 * y - 59; }
// The middle of the box, where a click surely lands on the cell.
constexpr int cell_centre_x(int x) { return cell_left(x) + kCellBox / 2; }
constexpr int cell_centre_y(int y) { return cell_top(y) + kCellBox / 2; }

// The pointer picks a cell by bands: row y owns the pixel rows 38y - 63 to 38y - 26,
// and within it column x owns 50 pixel columns from 25x + 43, its box 10 pixels in.
// Only board columns (x + y even) have bands.
constexpr int kBandWidth = 50, kBandHeight = 38;
constexpr int band_left(int x) { return 25 * x + 43; }
constexpr int band_top(int y) { return 38 * y - 63; }

// The cell under pointer (px, py): the row, then the column within that row. The
// divisions truncate toward zero, so the first band of a row reaches further left
// (to pixel 19 in odd rows, 44 in even ones); the screen's edges give cells off
// the board and even off the grid (columns -1 and 22 or 23).
constexpr int row_at(int py) { return (py + 63) / 38; }
constexpr int column_at(int px, int row) { return row & 1 ? 2 * ((px - 68) / 50) + 1 : 2 * ((px - 93) / 50) + 2; }
