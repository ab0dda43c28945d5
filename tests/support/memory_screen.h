// An in-memory screen of cells for the console layer's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/screen_device.h"

struct memory_cell {
    std::uint8_t ch = ' ';
    std::uint8_t attr = 7;
};

class memory_screen final : public screen_device {
public:
    memory_screen(int cols, int rows);

    void put_cell(int col, int row, std::uint8_t ch, std::uint8_t attr) override;
    void scroll_up(std::uint8_t fill_attr) override;
    void clear(std::uint8_t attr) override;
    void place_cursor(int col, int row) override;

    // 0-based access.
    const memory_cell& at(int col, int row) const;
    // A row's characters (bytes as written), trailing blanks removed.
    std::string row_text(int row) const;
    // Every row that scrolled off the top, oldest first, then the screen.
    std::vector<std::string> transcript() const;

    int cols;
    int rows;
    int cursor_col = 0;
    int cursor_row = 0;
    int scrolls = 0;
    // Cells written and cursor places given outside the screen: the layer
    // above must never ask for one.
    int outside = 0;
    std::vector<std::vector<memory_cell>> scrolled_off;

private:
    bool inside(int col, int row) const { return col >= 0 && col < cols && row >= 0 && row < rows; }

    std::vector<memory_cell> cells_;
};

// Attaches a fresh console screen of the given size, black on light grey,
// and returns the screen.
memory_screen& attach_memory_console(int cols, int rows);
