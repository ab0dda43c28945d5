#include <gtest/gtest.h>

#include <string>

#include "console/console_screen.h"
#include "console/run_time.h"
#include "tests/support/memory_screen.h"

namespace {

void write_bytes(std::string_view bytes)
{
    write_str(0, std_output, bytes);
    write_end(std_output);
}

struct colour_case {
    std::uint8_t start;
    void (*change)();
    std::uint8_t expected;
};

TEST(TextAttr, SettersCombineBitsAsDocumented)
{
    const colour_case cases[] = {
        {0xFF, [] { set_text_background(7); set_text_color(0); }, 112},  // whatever the start, bit 7 too
        {112, [] { set_text_color(7); set_text_background(0); }, 7},
        {112, [] { set_text_color(7); }, 119},
        {7, [] { set_text_color(0); }, 0},                                 // black on black in between
        {0, [] { set_text_background(7); }, 112},
        {112, [] { set_text_background(9); }, 16},                         // only bits 0-2 count
        {112, [] { set_text_color(16); }, 112},                            // bits 4-6 of the argument ignored
        {112, [] { set_text_color(143); }, 255},                           // bit 7 from the argument
        {0x80, [] { set_text_background(1); }, 0x90},                      // background keeps bit 7
    };
    for (const auto& c : cases) {
        text_attr = c.start;
        c.change();
        EXPECT_EQ(text_attr, c.expected) << "from " << int(c.start);
    }
}

class ConsoleScreen : public ::testing::Test {
protected:
    memory_screen& screen = attach_memory_console(10, 4);
};

TEST_F(ConsoleScreen, ClearLeavesBlanksInAttrAndCursorHome)
{
    write_bytes("abc\r\ndef");
    set_text_color(14);
    set_text_background(1);
    clear_screen();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 10; ++c) {
            EXPECT_EQ(screen.at(c, r).ch, ' ');
            EXPECT_EQ(screen.at(c, r).attr, 0x1E);
        }
    EXPECT_EQ(where_y(), 1);
    write_bytes("x");
    EXPECT_EQ(screen.at(0, 0).ch, 'x');
}

TEST_F(ConsoleScreen, WrapHappensAtOnceAfterLastColumn)
{
    write_bytes("0123456789");
    EXPECT_EQ(screen.row_text(0), "0123456789");
    EXPECT_EQ(where_y(), 2);
    EXPECT_EQ(cursor_col, 0);
    // W characters then a line end leave an empty row between.
    write_bytes("\r\nz");
    EXPECT_EQ(screen.row_text(1), "");
    EXPECT_EQ(screen.row_text(2), "z");
}

TEST_F(ConsoleScreen, BottomRightCellScrollsAtOnce)
{
    goto_xy(10, 4);
    write_bytes("Q");
    EXPECT_EQ(screen.scrolls, 1);
    EXPECT_EQ(screen.at(9, 2).ch, 'Q');  // taken up with the scroll
    EXPECT_EQ(screen.row_text(3), "");
    EXPECT_EQ(cursor_col, 0);
    EXPECT_EQ(cursor_row, 3);
    EXPECT_EQ(screen.cursor_col, 0);
    EXPECT_EQ(screen.cursor_row, 3);
}

TEST_F(ConsoleScreen, ScrolledInRowTakesTheAttrOfThatMoment)
{
    goto_xy(1, 4);
    set_text_background(4);
    write_bytes("\r\n");
    for (int c = 0; c < 10; ++c) EXPECT_EQ(screen.at(c, 3).attr, 0x40);
    EXPECT_EQ(where_y(), 4);
}

TEST_F(ConsoleScreen, ControlCodes)
{
    write_bytes("\b");  // backspace at the left edge: nothing
    EXPECT_EQ(cursor_col, 0);
    write_bytes("ab\b");
    EXPECT_EQ(cursor_col, 1);
    EXPECT_EQ(screen.at(1, 0).ch, 'b');  // the cell keeps its character
    write_bytes("\a");
    EXPECT_EQ(cursor_col, 1);
    EXPECT_EQ(screen.row_text(0), "ab");
    write_bytes("\n");  // line feed alone keeps the column
    EXPECT_EQ(cursor_col, 1);
    EXPECT_EQ(cursor_row, 1);
    write_bytes("\t\f");
    EXPECT_EQ(screen.at(1, 1).ch, '\t');  // a visible cell, no expansion
    EXPECT_EQ(screen.at(2, 1).ch, '\f');
    write_bytes("\r");
    EXPECT_EQ(cursor_col, 0);
    EXPECT_EQ(cursor_row, 1);
}

TEST_F(ConsoleScreen, BoxBytesPassUnchanged)
{
    write_bytes("\xC3\xC4\xC4X\xC4\xC4\xB4\xB3");
    const std::uint8_t expected[] = {195, 196, 196, 'X', 196, 196, 180, 179};
    for (int c = 0; c < 8; ++c) EXPECT_EQ(screen.at(c, 0).ch, expected[c]);
}

TEST_F(ConsoleScreen, GotoOutsideWindowDoesNothing)
{
    goto_xy(3, 2);
    for (auto [x, y] : {std::pair{0, 2}, {3, 0}, {11, 1}, {1, 5}, {-5, -5}}) {
        goto_xy(x, y);
        EXPECT_EQ(cursor_col, 2);
        EXPECT_EQ(cursor_row, 1);
    }
    EXPECT_EQ(where_y(), 2);
}

TEST_F(ConsoleScreen, VisibleCursorMovesOncePerWrite)
{
    write_bytes("hello");
    EXPECT_EQ(screen.cursor_col, 5);
    EXPECT_EQ(screen.cursor_row, 0);
    EXPECT_EQ(std_output.position, 0);
}

TEST(ConsoleScreenTiny, OneCellWindow)
{
    memory_screen& screen = attach_memory_console(1, 1);
    write_str(0, std_output, "ab");
    write_end(std_output);
    EXPECT_EQ(screen.scrolls, 2);
    EXPECT_EQ(cursor_col, 0);
    EXPECT_EQ(cursor_row, 0);
}

} // namespace
