// Random mazes: a grid of cells whose walls are opened at random until every cell is joined
// (a randomised spanning tree), shared by the Domino rally and the Cables textures. It draws
// from the process-wide generator and never seeds it; the callers do.
#pragma once

#include <cstdint>
#include <vector>

// Directions: 0 = +y, 1 = +x, 2 = -y, 3 = -x.
constexpr int kMazeDx[4] = {0, 1, 0, -1};
constexpr int kMazeDy[4] = {1, 0, -1, 0};

struct MazeGrid {
    // Closed walls everywhere, every cell its own set. Sizes below 1 become 1.
    MazeGrid(int columns, int rows);

    // Opens walls until one set is left, drawing from demo_random in the fixed order the
    // layouts depend on. A grid with fewer than 2 columns or rows is left closed: with only
    // one kind of inner wall the draws could never finish.
    void generate();
    // Whether the wall in direction d from cell (x, y) is open. Cells or directions outside
    // the grid read as closed.
    bool passage(int x, int y, int d) const;
    // Root of a cell's set, compressing the path on the way.
    int root(int cell);

    int columns;
    int rows;
    // columns x (rows + 1), index x + y * columns: the wall below row y.
    std::vector<uint8_t> rowWallOpen;
    // (columns + 1) x rows, index y * (columns + 1) + x: the wall left of column x.
    std::vector<uint8_t> columnWallOpen;
    // Disjoint-set parent per cell (index x + y * columns); a root is its own parent.
    std::vector<int> parent;
};
