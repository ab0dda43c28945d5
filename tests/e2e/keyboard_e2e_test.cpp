// Typing the answers in a real terminal: the keys of the line editor as
// terminals send them, and what the programs make of the edited lines.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "harness.h"

namespace e2e {
namespace {

const std::string bubblesort = BUBBLESORT_PATH;
const std::string bubbletrace = BUBBLETRACE_PATH;

constexpr std::string_view count_prompt = " Jumlah data : ";
constexpr std::string_view direction_prompt = " Pilih : ";
constexpr int count_row = 4;

// What terminals send for the editing keys.
constexpr std::string_view left = "\x1b[D";
constexpr std::string_view left_app = "\x1bOD";     // application cursor mode
constexpr std::string_view left_shift = "\x1b[1;2D";
constexpr std::string_view end_tmux = "\x1b[4~";
constexpr std::string_view home_rxvt = "\x1b[7~";
constexpr std::string_view backspace = "\x7f";
constexpr std::string_view esc = "\x1b";

const std::string all_twelve = "      D = | 70 | 50 |  6 | 77 | 37 | 12 | 94 | 75 | 81 | 58 | 75 | 47 |";

std::string keys(std::initializer_list<std::string_view> parts)
{
    std::string s;
    for (auto p : parts) s += p;
    return s;
}

class keyboard_e2e : public ::testing::Test {
protected:
    pty_session& start(const std::string& program, const spawn_options& options = {})
    {
        session_ = std::make_unique<pty_session>(program, options);
        return *session_;
    }

    void TearDown() override
    {
        if (HasFailure() && session_) std::fputs(session_->dump().c_str(), stderr);
    }

    // The program waits right behind the prompt, with `typed` after it.
    static bool waits_at(const pty_session& t, std::string_view prompt, std::string_view typed = "")
    {
        position c = t.cursor();
        std::string shown = std::string(prompt) + std::string(typed);
        while (!shown.empty() && shown.back() == ' ') shown.pop_back();
        return t.row_text(c.row) == shown && c.col == static_cast<int>(prompt.size() + typed.size()) + 1;
    }

    static ::testing::AssertionResult wait_at(pty_session& t, std::string_view prompt, std::string_view typed = "")
    {
        if (t.wait_until([&] { return waits_at(t, prompt, typed); })) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no wait behind \"" << prompt << typed << "\"";
    }

    // Answers the direction question and ends the run with Enter at the end.
    static void answer_rest_and_finish(pty_session& t)
    {
        ASSERT_TRUE(wait_at(t, direction_prompt));
        t.type("1\r");
        ASSERT_TRUE(t.wait_for_text("Hasil Pengurutan dengan BUBBLE SORT (Ascending):"));
        t.type("\r");
        auto e = t.wait_exit();
        ASSERT_TRUE(e.has_value());
        EXPECT_FALSE(e->signaled) << describe(*e);
        EXPECT_EQ(e->code, 0) << describe(*e);
    }

private:
    std::unique_ptr<pty_session> session_;
};

TEST_F(keyboard_e2e, editing_keys_change_the_answer_the_program_uses)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    // 1 2 3, Left twice, 9 over the 2, End, Backspace: 19, clamped to 12.
    t.type(keys({"123", left, left_app, "9"}));
    ASSERT_TRUE(t.wait_until([&] {
        return t.row_text(count_row) == " Jumlah data : 193" && t.cursor() == position{18, count_row};
    }));
    t.type(keys({backspace, end_tmux, backspace}));
    ASSERT_TRUE(wait_at(t, count_prompt, "19"));
    t.type("\r");
    ASSERT_TRUE(t.wait_for_text(all_twelve));
    EXPECT_EQ(t.row_text(count_row), " Jumlah data : 19");
    answer_rest_and_finish(t);
}

TEST_F(keyboard_e2e, home_and_shifted_left_move_over_the_line)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    t.type(keys({"45", home_rxvt, "2", left_shift, "1"}));
    ASSERT_TRUE(t.wait_until([&] { return t.row_text(count_row) == " Jumlah data : 15"; }));
    t.type(keys({end_tmux, "\r"}));
    ASSERT_TRUE(t.wait_for_text(all_twelve));
    answer_rest_and_finish(t);
}

TEST_F(keyboard_e2e, esc_alone_clears_the_line_at_once)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    t.type("77");
    ASSERT_TRUE(wait_at(t, count_prompt, "77"));
    // Nothing follows the Esc: the short wait tells it from a sequence.
    t.type(esc);
    ASSERT_TRUE(wait_at(t, count_prompt));
    t.type("3\r");
    ASSERT_TRUE(t.wait_for_text("      D = | 70 | 50 |  6 |"));
    EXPECT_EQ(t.row_text(count_row), " Jumlah data : 3");
    answer_rest_and_finish(t);
}

TEST_F(keyboard_e2e, keys_without_a_character_leave_the_line_alone)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    // Up, Down, Page Up, Insert, Delete, F1, F5, F12, Ctrl+Left, Alt+x, a
    // paste mark, a mouse report: none of them reaches the line.
    t.type(keys({"2", "\x1b[A", "\x1b[B", "\x1b[5~", "\x1b[2~", "\x1b[3~", "\x1bOP", "\x1b[15~", "\x1b[24~",
                 "\x1b[1;5D", "\x1bx", "\x1b[200~", "\x1b[<0;3;4M", "\x1a"}));
    t.type("\r");
    ASSERT_TRUE(t.wait_for_text("      D = | 70 | 50 |"));
    EXPECT_EQ(t.row_text(count_row), " Jumlah data : 2");
    answer_rest_and_finish(t);
}

TEST_F(keyboard_e2e, empty_line_is_skipped_and_the_answer_typed_on_the_next_row)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    t.type("\r");
    ASSERT_TRUE(t.wait_until([&] { return t.cursor() == position{1, count_row + 1}; }));
    t.type("2\r");
    ASSERT_TRUE(t.wait_for_text("      D = | 70 | 50 |"));
    EXPECT_EQ(t.row_text(count_row), " Jumlah data :");
    EXPECT_EQ(t.row_text(count_row + 1), "2");
    answer_rest_and_finish(t);
}

TEST_F(keyboard_e2e, text_at_the_final_wait_is_echoed_and_ignored)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    t.type("2\r");
    ASSERT_TRUE(wait_at(t, direction_prompt));
    t.type("2\r");
    // The final table ends on row 22; the wait is below it.
    const int row = 23;
    ASSERT_TRUE(t.wait_until([&] { return t.screen_contains("(Descending):") && t.cursor() == position{1, row}; }));
    // Characters of the code page echo as themselves, others are dropped.
    t.type("ok \xc3\xa9\xe2\x94\x82\xe2\x82\xac!");
    ASSERT_TRUE(t.wait_until([&] { return t.row_text(row) == "ok é│!" && t.cursor() == position{7, row}; }));
    t.type("\r");
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled) << describe(*e);
    EXPECT_EQ(e->code, 0) << describe(*e);
}

TEST_F(keyboard_e2e, ctrl_c_while_editing_gives_the_terminal_back)
{
    pty_session& t = start(bubblesort);
    ASSERT_TRUE(wait_at(t, count_prompt));
    ASSERT_FALSE(same_modes(t.modes_now(), t.modes_before()));
    t.type(keys({"12", left}));
    ASSERT_TRUE(t.wait_until([&] { return t.cursor() == position{17, count_row}; }));
    // Ctrl+C right behind an Esc, while the editor waits to see whether a
    // sequence follows.
    t.type(keys({esc, "\x03"}));
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_TRUE(e->signaled) << describe(*e);
    EXPECT_EQ(e->signal, SIGINT) << describe(*e);
    EXPECT_EQ(stty_form(t.modes_now()), stty_form(t.modes_before()));
    EXPECT_TRUE(t.pen_is_default());
}

TEST_F(keyboard_e2e, piped_answers_show_the_whole_trace)
{
    spawn_options o;
    o.stdin_text = "12\n1\n\n";
    pty_session& t = start(bubbletrace, o);
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled) << describe(*e);
    EXPECT_EQ(e->code, 0) << describe(*e);
    const auto lines = t.transcript();
    auto has = [&](std::string_view text) {
        for (const auto& l : lines)
            if (l == text) return true;
        return false;
    };
    // Piped lines are read, not typed: no echo behind the prompts.
    EXPECT_TRUE(has(" Jumlah data :"));
    EXPECT_TRUE(has(all_twelve));
    EXPECT_TRUE(has(" Hasil Pengurutan dengan BUBBLE SORT (Ascending):"));
    EXPECT_TRUE(has("      D = |  6 | 12 | 37 | 47 | 50 | 58 | 70 | 75 | 75 | 77 | 81 | 94 |"));
    EXPECT_TRUE(t.pen_is_default());
}

TEST_F(keyboard_e2e, piped_input_ending_at_a_question_is_a_wrong_answer)
{
    spawn_options o;
    o.stdin_text = "3\n";
    pty_session& t = start(bubblesort, o);
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled) << describe(*e);
    EXPECT_EQ(e->code, 106) << describe(*e);
    EXPECT_TRUE(t.screen_contains("Runtime error 106"));
}

} // namespace
} // namespace e2e
