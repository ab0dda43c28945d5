// Terminals of odd sizes, a terminal resized under a waiting program, and
// hostile input at a prompt: long pastes, pastes full of escape sequences
// and control characters, and a very slow typist.
#include <algorithm>
#include <csignal>

#include "dialogue_reference.h"
#include "session_test.h"

namespace e2e {
namespace {

// A whole trace of 12 on a tiny screen is many thousand cursor moves.
constexpr auto long_run = std::chrono::milliseconds(30000);

// Keys typed before the program has put the terminal into its modes would
// meet the terminal's own line editing: wait for the program first.
::testing::AssertionResult wait_for_program_modes(pty_session& t)
{
    if (!t.wait_until([&] { return !same_modes(t.modes_now(), t.modes_before()); }))
        return ::testing::AssertionFailure() << "the program never took the terminal";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ended_normally(pty_session& t, std::chrono::milliseconds deadline = default_deadline)
{
    auto e = t.wait_exit(deadline);
    if (!e) return ::testing::AssertionFailure() << "the program did not end";
    if (e->signaled || e->code != 0) return ::testing::AssertionFailure() << describe(*e);
    return ::testing::AssertionSuccess();
}

// Lines equal but for empty ones at the end (a transcript stops at its
// last row that is not blank), or where they part, with a little context.
::testing::AssertionResult same_lines(reference::lines got, reference::lines expected)
{
    for (reference::lines* l : {&got, &expected}) {
        while (!l->empty() && l->back().empty()) l->pop_back();
    }
    std::size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i]) ++i;
    if (i == got.size() && i == expected.size()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << got.size() << " lines, expected " << expected.size() << "; first difference at line " << i << "\n";
    for (std::size_t j = i < 3 ? 0 : i - 3; j < i + 3; ++j) {
        failure << j << ": \"" << (j < got.size() ? got[j] : "<none>") << "\" expected \""
                << (j < expected.size() ? expected[j] : "<none>") << "\"\n";
    }
    return failure;
}

/*** Odd sizes ***/

struct size_case {
    const char* name;
    int cols;
    int rows;
    bool size_unknown;  // the terminal reports 0 x 0; the emulator is cols x rows
};

void PrintTo(const size_case& c, std::ostream* os) { *os << c.name; }

class sizes : public session_test, public ::testing::WithParamInterface<size_case> {};

TEST_P(sizes, whole_trace_reaches_its_end_as_on_that_screen)
{
    const size_case& c = GetParam();
    spawn_options o;
    o.cols = c.cols;
    o.rows = c.rows;
    o.size_unknown = c.size_unknown;
    pty_session& t = start(bubbletrace_path, o);
    ASSERT_TRUE(wait_for_program_modes(t));
    // Typed ahead: on a screen this small no prompt can be waited for.
    t.type("12\r1\r\r");
    ASSERT_TRUE(ended_normally(t, long_run));
    // The emulator keeps no rows scrolled off a screen of one row.
    if (c.rows > 1) {
        EXPECT_TRUE(same_lines(t.transcript(), reference::dialogue(true, "12", 12, "1", true, c.cols)));
    }
}

INSTANTIATE_TEST_SUITE_P(hardening, sizes,
                         ::testing::Values(size_case{"one_by_one", 1, 1, false}, size_case{"one_column", 1, 3, false},
                                           size_case{"twenty_by_five", 20, 5, false},
                                           size_case{"two_hundred_by_sixty", 200, 60, false},
                                           size_case{"zero_by_zero_is_80_by_25", 80, 25, true}),
                         [](const auto& info) { return std::string(info.param.name); });

using resizing = session_test;

TEST_F(resizing, while_waiting_keeps_the_window_of_the_start)
{
    pty_session& t = start(bubbletrace_path);
    ASSERT_TRUE(t.wait_until([&] { return waits_after(t, " Jumlah data : "); }));
    t.resize_reported(40, 10);
    ASSERT_TRUE(answer(t, " Jumlah data : ", "12"));
    ASSERT_TRUE(t.wait_until([&] { return waits_after(t, " Pilih : "); }));
    t.resize_reported(200, 60);
    t.type("2\r");
    const reference::lines expected = reference::dialogue(true, "12", 12, "2", false);
    ASSERT_TRUE(reach_end(t, expected));
    t.resize_reported(1, 1);
    EXPECT_TRUE(finish(t));
    EXPECT_TRUE(same_lines(t.transcript(), expected));
}

/*** Hostile input at the count prompt ***/

// Keys typed at once; for a slow typist, the column at which the echo
// stands once the program has taken them, waited for before a pause.
struct piece {
    std::string keys;
    int echo_col = 0;
};

struct input_case {
    const char* name;
    std::vector<piece> pieces;        // typed one after the other
    std::chrono::milliseconds pause;  // after each piece
    const char* count_row;            // the prompt's row at the end, or nullptr
    int exit_code;
    int count;                        // the count the program took, when it ran on
};

void PrintTo(const input_case& c, std::ostream* os) { *os << c.name; }

std::string long_paste()
{
    // Past the 254th character nothing is stored: a line that kept a 255th
    // would read "4x..." and end the run with 106.
    return std::string(253, ' ') + "4" + std::string(10000 - 254, 'x') + "\r";
}

class hostile_input : public session_test, public ::testing::WithParamInterface<input_case> {};

TEST_P(hostile_input, editing_rules_hold_and_the_line_is_the_answer)
{
    const input_case& c = GetParam();
    pty_session& t = start(bubblesort_path);
    ASSERT_TRUE(t.wait_until([&] { return waits_after(t, " Jumlah data : "); }));
    for (const piece& p : c.pieces) {
        t.type(p.keys);
        if (p.echo_col > 0) {
            ASSERT_TRUE(t.wait_until([&] { return t.cursor().col == p.echo_col; })) << "after " << p.keys;
        }
        if (c.pause.count() > 0) t.wait_until([] { return false; }, c.pause);
    }
    if (c.exit_code == 0) {
        ASSERT_TRUE(answer(t, " Pilih : ", "1"));
        std::vector<int> d = reference::first_values(c.count);
        EXPECT_TRUE(t.wait_for_text(reference::values_row(d)));
        std::sort(d.begin(), d.end());
        EXPECT_TRUE(t.wait_for_text(reference::values_row(d)));
        EXPECT_TRUE(finish(t));
    } else {
        auto e = t.wait_exit();
        ASSERT_TRUE(e.has_value());
        EXPECT_FALSE(e->signaled) << describe(*e);
        EXPECT_EQ(e->code, c.exit_code) << describe(*e);
    }
    if (c.count_row) {
        EXPECT_EQ(t.row_text(4), c.count_row);
    }
    // Characters that never reached the line were never echoed either (a
    // run that goes on shows no "x" of its own).
    if (c.exit_code == 0) {
        for (const std::string& line : t.transcript()) EXPECT_EQ(line.find('x'), std::string::npos) << line;
    }
}

using std::chrono::milliseconds;

INSTANTIATE_TEST_SUITE_P(
    hardening, hostile_input,
    ::testing::Values(
        input_case{"ten_thousand_characters_at_once", {{long_paste()}}, milliseconds(0), nullptr, 0, 4},
        // Bracketed-paste marks and a mouse report are swallowed whole; Left,
        // Ctrl+Left, Home, End, Ctrl+Z and two Backspaces edit "3" away.
        input_case{"escape_sequences_in_a_paste",
                   {{"\x1b[200~3\x1b[D\x1b[1;5D\x1bOH\x1b[4~\x1a\x7f\x7f" "5\x1b[<0;10;5M\x1b[201~\r"}},
                   milliseconds(0), " Jumlah data : 5", 0, 5},
        // Alt+x, Alt+Up, F5 and F1 leave "49", which is clamped to 12.
        input_case{"alt_and_function_keys_in_a_paste",
                   {{"4\x1bx\x1b\x1b[A\x1b[15~\x1bOP" "9\r"}}, milliseconds(0), " Jumlah data : 49", 0, 12},
        // A bell is stored in the line like any character: no number.
        input_case{"control_character_in_the_answer", {{"7\x07\r"}}, milliseconds(0), " Jumlah data : 7", 106, 0},
        // A lone Esc after a pause clears "7"; Backspace, Left and typing
        // over then leave "3".
        input_case{"very_slow_typist",
                   {{"7", 17}, {"\x1b", 16}, {"5", 17}, {"0", 18}, {"\x7f", 17}, {"\x1b[D", 16}, {"3", 17}, {"\r"}},
                   milliseconds(120), " Jumlah data : 3", 0, 3}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
