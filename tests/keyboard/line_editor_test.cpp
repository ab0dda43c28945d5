#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_screen.h"
#include "console/keyboard.h"
#include "console/run_time.h"
#include "tests/keyboard/scripted_keys.h"
#include "tests/support/memory_screen.h"

namespace {

constexpr int cols = 80;
constexpr int rows = 25;
constexpr std::string_view prompt = " Jumlah data : ";

std::vector<key_event> typed(std::string_view text)
{
    std::vector<key_event> keys;
    for (char c : text) keys.push_back(char_key(static_cast<std::uint8_t>(c)));
    return keys;
}

std::vector<key_event> operator+(std::vector<key_event> a, const std::vector<key_event>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const key_event enter = char_key(13);
const key_event backspace = char_key(8);
const key_event esc = char_key(27);
key_event key(named_key k, std::uint32_t state = 0) { return special_key(k, state); }

class LineEditor : public ::testing::Test {
protected:
    memory_screen& screen = attach_memory_console(cols, rows);

    // Writes the prompt on the given row and edits one line after it.
    scripted_keys& edit_line_at(int row, std::vector<key_event> keys)
    {
        goto_xy(1, row);
        write_str(0, std_output, prompt);
        write_end(std_output);
        reset_stream(std_input);
        std_input.mode = stream_mode::input;
        std_input.in_out = console_read_line;
        scripted_keys& script = play_keys(std::move(keys));
        console_read_line(std_input);
        return script;
    }

    std::string line() const
    {
        return std::string(reinterpret_cast<const char*>(std_input.buffer), static_cast<std::size_t>(std_input.end));
    }

    // The rows from the first given one on, joined: a long echo wraps.
    std::string rows_from(int row, int count) const
    {
        std::string text;
        for (int r = row; r < row + count; ++r) {
            std::string part = screen.row_text(r);
            if (r + 1 < row + count) part.resize(static_cast<std::size_t>(cols), ' ');
            text += part;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
};

struct edit_case {
    const char* what;
    std::vector<key_event> keys;
    std::string line;  // what the buffer holds before 13 10
    std::string echo;  // what the screen shows after the prompt
};

std::string digits(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + i % 10));
    return s;
}

TEST_F(LineEditor, EditsAsTheKeysSay)
{
    const std::vector<key_event> ignored_keys = {
        key(named_key::up), key(named_key::down), key(named_key::page_up), key(named_key::page_down),
        key(named_key::insert), key(named_key::del), key(named_key::f1), key(named_key::f2),
        key(named_key::f3), key(named_key::f4), key(named_key::f5), key(named_key::f6),
        key(named_key::f7), key(named_key::f8), key(named_key::f9), key(named_key::f10),
        key(named_key::f11), key(named_key::f12), key(named_key::left, LEFT_CTRL_PRESSED),
        key(named_key::right, LEFT_CTRL_PRESSED), key(named_key::home, LEFT_CTRL_PRESSED),
        key(named_key::end, RIGHT_CTRL_PRESSED), key(named_key::left, LEFT_ALT_PRESSED),
        key(named_key::home, LEFT_ALT_PRESSED), key(named_key::f1, SHIFT_PRESSED), char_key(26),
        char_key('x', LEFT_ALT_PRESSED),
    };
    const std::vector<key_event> left_left = {key(named_key::left), key(named_key::left)};
    const std::vector<edit_case> cases = {
        {"1 2 Enter", typed("12") + std::vector{enter}, "12", "12"},
        {"Enter alone", {enter}, "", ""},
        {"300 characters: 254 kept", typed(digits(300)) + std::vector{enter}, digits(254), digits(254)},
        {"Backspace at the end", typed("123") + std::vector{backspace, enter}, "12", "12"},
        {"Ctrl+S and Ctrl+H erase too", typed("123") + std::vector{char_key(19), char_key(8), enter}, "1", "1"},
        {"Left Left 9 overwrites", typed("123") + left_left + typed("9") + std::vector{enter}, "193", "193"},
        {"Backspace inside does nothing", typed("123") + left_left + typed("9") + std::vector{backspace, enter},
         "193", "193"},
        {"End then Backspace", typed("123") + left_left + typed("9") + std::vector{key(named_key::end), backspace, enter},
         "19", "19"},
        {"Home then type", typed("123") + std::vector{key(named_key::home)} + typed("45") + std::vector{enter}, "453",
         "453"},
        {"Right walks over the line", typed("123") + std::vector{key(named_key::home), key(named_key::right)} +
                                          typed("7") + std::vector{key(named_key::right), key(named_key::right), enter},
         "173", "173"},
        {"Shift keeps Home and Left", typed("123") + std::vector{key(named_key::left, SHIFT_PRESSED)} + typed("8") +
                                          std::vector{key(named_key::home, SHIFT_PRESSED)} + typed("7") +
                                          std::vector{enter},
         "728", "728"},
        {"Esc clears, typing goes on", typed("456") + std::vector{esc} + typed("7") + std::vector{enter}, "7", "7"},
        {"Esc after Home keeps the prompt", typed("19") + std::vector{key(named_key::home), esc} + typed("3") +
                                               std::vector{enter},
         "3", "3"},
        {"Ctrl+Y clears", typed("45") + std::vector{char_key(25)} + typed("3") + std::vector{enter}, "3", "3"},
        {"keys that leave the line alone", typed("1") + ignored_keys + typed("2") + std::vector{enter}, "12", "12"},
        {"control codes are stored", typed("1\a2\t3") + std::vector{enter}, "1\a2\t3", "12\t3"},
    };
    for (const edit_case& c : cases) {
        SCOPED_TRACE(c.what);
        screen.clear(112);
        scripted_keys& script = edit_line_at(3, c.keys);
        EXPECT_FALSE(script.ran_dry) << "the editor asked for more keys than the script has";
        EXPECT_EQ(script.next, script.events.size()) << "keys left over: Enter came early";
        EXPECT_EQ(line(), c.line + "\r\n");
        EXPECT_EQ(std_input.position, 0);
        EXPECT_EQ(std_input.end, static_cast<std::int32_t>(c.line.size() + 2));
        std::string shown = std::string(prompt) + c.echo;
        while (shown.back() == ' ') shown.pop_back();
        EXPECT_EQ(rows_from(2, 4), shown);
        int echo_rows = static_cast<int>((prompt.size() + c.echo.size()) / cols);
        EXPECT_EQ(cursor_col, 0);
        EXPECT_EQ(cursor_row, 2 + echo_rows + 1);
        EXPECT_EQ(screen.cursor_col, cursor_col);
        EXPECT_EQ(screen.cursor_row, cursor_row);
    }
}

TEST_F(LineEditor, CursorShowsWhereTheNextCharacterGoesBeforeEachKey)
{
    scripted_keys& script = edit_line_at(1, typed("12") + std::vector{key(named_key::left), key(named_key::home), enter});
    const int x = static_cast<int>(prompt.size());
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {{x, 0}, {x + 1, 0}, {x + 2, 0}, {x + 1, 0},
                                                                         {x, 0}};
    EXPECT_EQ(script.cursor_at_take, expected);
}

TEST_F(LineEditor, AnswerOnTheBottomRowScrolls)
{
    edit_line_at(rows, typed("5") + std::vector{enter});
    EXPECT_EQ(screen.scrolls, 1);
    EXPECT_EQ(screen.row_text(rows - 2), std::string(prompt) + "5");
    EXPECT_EQ(screen.row_text(rows - 1), "");
    EXPECT_EQ(cursor_col, 0);
    EXPECT_EQ(cursor_row, rows - 1);
    EXPECT_EQ(line(), "5\r\n");
}

TEST_F(LineEditor, MovingLeftStopsAtTheWindowEdgeWhilePositionGoesOn)
{
    // The prompt and 65 characters fill the row, the 66th stands in column 1
    // of the next: Home takes the echo back only to there.
    std::string text = digits(66);
    edit_line_at(1, typed(text) + std::vector{key(named_key::home)} + typed("X") + std::vector{enter});
    std::string expected_line = text;
    expected_line[0] = 'X';
    EXPECT_EQ(line(), expected_line + "\r\n");
    EXPECT_EQ(screen.row_text(1), "X");
}

TEST_F(LineEditor, NumberStatementsReadTheEditedLine)
{
    // The way the programs reach the editor: an empty line is skipped and
    // the number is typed on the next row.
    goto_xy(1, 2);
    write_str(0, std_output, prompt);
    write_end(std_output);
    reset_stream(std_input);
    std_input.mode = stream_mode::input;
    std_input.in_out = console_read_line;
    play_keys(std::vector{enter} + typed("12") + std::vector{key(named_key::left)} + typed("9") + std::vector{enter});
    std::int32_t n = read_int(std_input);
    read_line_end(std_input);
    EXPECT_EQ(io_result, 0);
    EXPECT_EQ(n, 19);
    EXPECT_EQ(screen.row_text(1), prompt.substr(0, prompt.size() - 1));
    EXPECT_EQ(screen.row_text(2), "19");
    EXPECT_EQ(cursor_row, 3);
}

} // namespace
