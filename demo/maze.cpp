// Maze generation by random wall opening with disjoint sets. The order of draws is part of
// every layout built on it, so it is kept exactly: one parity draw, then column, then row.
#include "demo/maze.h"

#include "scene/rand.h"

#include <algorithm>

MazeGrid::MazeGrid(int columnCount, int rowCount)
    : columns(std::max(1, columnCount)), rows(std::max(1, rowCount)),
      rowWallOpen(size_t(columns) * size_t(rows + 1), 0),
      columnWallOpen(size_t(columns + 1) * size_t(rows), 0), parent(size_t(columns) * rows) {
    for (size_t i = 0; i < parent.size(); ++i) {
        parent[i] = int(i);
    }
}

int MazeGrid::root(int cell) {
    int r = cell;
    while (parent[size_t(r)] != r) {
        r = parent[size_t(r)];
    }
    while (parent[size_t(cell)] != r) {
        int next = parent[size_t(cell)];
        parent[size_t(cell)] = r;
        cell = next;
    }
    return r;
}

void MazeGrid::generate() {
    if (columns < 2 || rows < 2) {
        return;
    }
    int components = columns * rows;
    while (components > 1) {
        int a = 0, b = 0;
        uint8_t* wall = nullptr;
        if ((demo_random::rand() & 1) != 0) {
            // The wall between (col, row) and (col, row + 1).
            const int col = demo_random::rand() % columns;
            const int row = demo_random::rand() % (rows - 1);
            wall = &rowWallOpen[size_t(col + (row + 1) * columns)];
            a = col + row * columns;
            b = col + (row + 1) * columns;
        } else {
            // The wall between (col - 1, row) and (col, row).
            const int col = demo_random::rand() % (columns - 1) + 1;
            const int row = demo_random::rand() % rows;
            wall = &columnWallOpen[size_t(row * (columns + 1) + col)];
            a = col - 1 + row * columns;
            b = col + row * columns;
        }
        if (*wall != 0) {
            continue;
        }
        const int rootA = root(a);
        const int rootB = root(b);
        if (rootA == rootB) {
            continue;
        }
        *wall = 1;
        parent[size_t(rootA)] = rootB;
        --components;
    }
}

bool MazeGrid::passage(int x, int y, int d) const {
    if (x < 0 || x >= columns || y < 0 || y >= rows) {
        return false;
    }
    switch (d) {
    case 0:
        return rowWallOpen[size_t(x + (y + 1) * columns)] != 0;
    case 2:
        return rowWallOpen[size_t(x + y * columns)] != 0;
    case 1:
        return columnWallOpen[size_t(y * (columns + 1) + x + 1)] != 0;
    case 3:
        return columnWallOpen[size_t(y * (columns + 1) + x)] != 0;
    default:
        return false;
    }
}
