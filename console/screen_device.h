// The seam between the console screen and what shows its cells: the real
// terminal in the programs, an in-memory grid in the tests.
#pragma once

#include <cstdint>

struct screen_device {
    // Positions are 0-based columns and rows of the whole screen.
    virtual void put_cell(int col, int row, std::uint8_t ch, std::uint8_t attr) = 0;
    // Every row moves up one; the bottom row becomes blanks in fill_attr.
    virtual void scroll_up(std::uint8_t fill_attr) = 0;
    // Every cell becomes a blank in attr.
    virtual void clear(std::uint8_t attr) = 0;
    // Where the visible cursor is to stand when the user next looks.
    virtual void place_cursor(int col, int row) = 0;

protected:
    ~screen_device() = default;
};
