#include "tests/support/memory_screen.h"

#include <memory>

#include "console/console_screen.h"

memory_screen::memory_screen(int c, int r) : cols(c), rows(r), cells_(static_cast<std::size_t>(c * r)) {}

void memory_screen::put_cell(int col, int row, std::uint8_t ch, std::uint8_t attr)
{
    if (!inside(col, row)) {
        ++outside;
        return;
    }
    cells_[static_cast<std::size_t>(row * cols + col)] = {ch, attr};
}

void memory_screen::scroll_up(std::uint8_t fill_attr)
{
    ++scrolls;
    scrolled_off.emplace_back(cells_.begin(), cells_.begin() + cols);
    cells_.erase(cells_.begin(), cells_.begin() + cols);
    cells_.insert(cells_.end(), static_cast<std::size_t>(cols), memory_cell{' ', fill_attr});
}

void memory_screen::clear(std::uint8_t attr)
{
    for (auto& cell : cells_) cell = {' ', attr};
}

void memory_screen::place_cursor(int col, int row)
{
    if (!inside(col, row)) ++outside;
    cursor_col = col;
    cursor_row = row;
}

const memory_cell& memory_screen::at(int col, int row) const
{
    return cells_.at(static_cast<std::size_t>(row * cols + col));
}

namespace {
std::string trimmed(const memory_cell* begin, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) text.push_back(static_cast<char>(begin[i].ch));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}
} // namespace

std::string memory_screen::row_text(int row) const { return trimmed(&at(0, row), cols); }

std::vector<std::string> memory_screen::transcript() const
{
    std::vector<std::string> lines;
    for (const auto& row : scrolled_off) lines.push_back(trimmed(row.data(), cols));
    for (int r = 0; r < rows; ++r) lines.push_back(row_text(r));
    return lines;
}

memory_screen& attach_memory_console(int cols, int rows)
{
    static std::unique_ptr<memory_screen> screen;
    screen = std::make_unique<memory_screen>(cols, rows);
    console_attach(*screen, cols, rows);
    set_text_background(7);
    set_text_color(0);
    clear_screen();
    return *screen;
}
