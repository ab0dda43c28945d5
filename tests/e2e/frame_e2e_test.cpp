// The dialogue of both programs as a user sees it in a terminal, shown
// through bubblesort, whose sort step writes nothing.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "dialogue_reference.h"
#include "session_test.h"

namespace e2e {
namespace {

using frame_test = session_test;

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Checks that rows [first, last] of the screen hold `expected` (from row
// `first` on) in the programs' normal colours, every cell of them.
::testing::AssertionResult rows_are(const pty_session& t, int first, const reference::lines& expected)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        int row = first + static_cast<int>(i);
        std::string got = t.row_text(row);
        if (got != expected[i])
            return ::testing::AssertionFailure() << "row " << row << ": \"" << got << "\", expected \"" << expected[i]
                                                 << "\"";
        for (int col = 1; col <= t.cols(); ++col) {
            if (!is_normal(t.cell_at(col, row)))
                return ::testing::AssertionFailure() << "row " << row << ", column " << col
                                                     << " not black on light grey";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(frame_test, worked_example_cell_for_cell)
{
    const reference::lines example = {
        "",
        "",
        "",
        " Jumlah data : 5",
        "",
        "          +----+----+----+----+----+",
        "      D = | 70 | 50 |  6 | 77 | 37 |",
        "          +----+----+----+----+----+",
        " indeks =    1    2    3    4    5",
        "",
        " Data akan disusun secara :",
        "   1. Ascending (Tersusun Menaik)",
        "   2. Descending (Tersusun Menurun)",
        " Pilih : 2",
        "",
        "",
        " Hasil Pengurutan dengan BUBBLE SORT (Descending):",
        "",
        "          +----+----+----+----+----+",
        "      D = | 77 | 70 | 50 | 37 |  6 |",
        "          +----+----+----+----+----+",
        " indeks =    1    2    3    4    5",
        "",  // rows 23 to 25: blank, still in the cleared screen's colours
        "",
        "",
    };
    pty_session& t = start(bubblesort_path);
    ASSERT_TRUE(answer_both(t, "5", "2"));
    ASSERT_TRUE(reach_end(t, {example.begin(), example.begin() + 22}));
    EXPECT_TRUE(rows_are(t, 1, example));
    EXPECT_EQ(t.cursor(), (position{1, 23}));
    EXPECT_TRUE(t.scrollback().empty());
    EXPECT_TRUE(finish(t));
}

struct count_case {
    const char* name;
    const char* count;
    int n;  // as the program takes it
    const char* direction;
    bool ascending;
};

void PrintTo(const count_case& c, std::ostream* os) { *os << c.name; }

class counts : public frame_test, public ::testing::WithParamInterface<count_case> {};

TEST_P(counts, whole_screen_follows_the_dialogue)
{
    const count_case& c = GetParam();
    pty_session& t = start(bubblesort_path);
    ASSERT_TRUE(answer_both(t, c.count, c.direction));
    const reference::lines expected = reference::dialogue(false, c.count, c.n, c.direction, c.ascending);
    ASSERT_TRUE(reach_end(t, expected));
    EXPECT_TRUE(rows_are(t, 1, expected));
    EXPECT_TRUE(finish(t));
}

INSTANTIATE_TEST_SUITE_P(frame, counts,
                         ::testing::Values(count_case{"count_0", "0", 0, "1", true},  // tables of prefixes alone
                                           count_case{"count_1", "1", 1, "2", false},  // one cell
                                           count_case{"count_12", "12", 12, "1", true},  // 71-column rows
                                           // Clamped, and any direction but 1 is descending.
                                           count_case{"count_13", "13", 12, "7", false},
                                           count_case{"negative_count", "-4", -4, "2", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct bad_answer_case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> answers;  // prompt, answer
    int report_row;                                           // where the report starts
};

void PrintTo(const bad_answer_case& c, std::ostream* os) { *os << c.name; }

class bad_answers : public frame_test, public ::testing::WithParamInterface<bad_answer_case> {};

TEST_P(bad_answers, end_with_the_report_and_106)
{
    const bad_answer_case& c = GetParam();
    pty_session& t = start(bubblesort_path);
    for (const auto& [prompt, text] : c.answers) ASSERT_TRUE(answer(t, prompt, text));
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled);
    EXPECT_EQ(e->code, 106);

    // Everything up to the answer stays as it was.
    reference::lines shown = reference::count_part(c.answers[0].second);
    if (c.answers.size() > 1) reference::append(shown, reference::direction_part(reference::first_values(5), c.answers[1].second));
    EXPECT_TRUE(rows_are(t, 1, reference::wrapped(shown, t.cols())));
    EXPECT_EQ(c.report_row, static_cast<int>(shown.size()) + 1);

    // Four lines: headline, location line with the same digits, one
    // back-trace line, an empty line; nothing after them.
    std::smatch m;
    const std::regex report("Runtime error 106 at 0x([0-9A-F]{8})\r+\n  0x\\1\r+\n  0x[0-9A-F]{8}\r+\n\r+\n$");
    EXPECT_TRUE(std::regex_search(t.raw(), m, report));

    std::string headline = t.row_text(c.report_row);
    EXPECT_TRUE(std::regex_match(headline, std::regex("Runtime error 106 at 0x[0-9A-F]{8}"))) << headline;
    EXPECT_EQ(t.row_text(c.report_row + 1), "  0x" + headline.substr(23));
    EXPECT_TRUE(std::regex_match(t.row_text(c.report_row + 2), std::regex("  0x[0-9A-F]{8}")));
    // The report is the terminal's own text, not the program's.
    for (int row = c.report_row; row <= c.report_row + 2; ++row) {
        for (int col = 1; col <= static_cast<int>(t.row_text(row).size()); ++col) {
            cell x = t.cell_at(col, row);
            EXPECT_EQ(x.fg, default_colour) << "row " << row << ", column " << col;
            EXPECT_EQ(x.bg, default_colour) << "row " << row << ", column " << col;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(frame, bad_answers,
                         ::testing::Values(bad_answer_case{"at_count", {{" Jumlah data : ", "abc"}}, 5},
                                           bad_answer_case{"at_direction",
                                                           {{" Jumlah data : ", "5"}, {" Pilih : ", "1.5"}},
                                                           15}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(frame_test, standard_output_to_a_file_leaves_the_dialogue_on_the_terminal)
{
    char dir[] = "/tmp/bubble_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/out";
    spawn_options o;
    o.stdout_path = file;
    pty_session& t = start(bubblesort_path, o);
    ASSERT_TRUE(answer_both(t, "5", "2"));
    const reference::lines expected = reference::dialogue(false, "5", 5, "2", false);
    ASSERT_TRUE(reach_end(t, expected));
    EXPECT_TRUE(rows_are(t, 1, expected));
    EXPECT_TRUE(finish(t));
    EXPECT_EQ(slurp(file), "");
    std::remove(file.c_str());
    rmdir(dir);
}

// How a run is ended, and how it must have ended.
struct ending_case {
    const char* name;
    const char* keys_at_count;
    bool signaled;
    int code_or_signal;
};

void PrintTo(const ending_case& c, std::ostream* os) { *os << c.name; }

class endings : public frame_test, public ::testing::WithParamInterface<ending_case> {};

TEST_P(endings, give_the_terminal_back_as_it_was)
{
    const ending_case& c = GetParam();
    pty_session& t = start(bubblesort_path);
    ASSERT_TRUE(t.wait_until([&] { return waits_after(t, " Jumlah data : "); }));
    // The program has put the terminal into its own modes by now, so the
    // comparison at the end means something.
    ASSERT_FALSE(same_modes(t.modes_now(), t.modes_before()));
    t.type(c.keys_at_count);
    if (!c.signaled && c.code_or_signal == 0) {
        ASSERT_TRUE(answer(t, " Pilih : ", "2"));
        ASSERT_TRUE(reach_end(t, reference::dialogue(false, "5", 5, "2", false)));
        t.type("\r");
    }
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->signaled, c.signaled) << describe(*e);
    EXPECT_EQ(e->signaled ? e->signal : e->code, c.code_or_signal) << describe(*e);
    EXPECT_EQ(stty_form(t.modes_now()), stty_form(t.modes_before()));
    // Auto-wrap back on and the terminal's own colours for what follows.
    std::size_t wrap = t.raw().rfind("\x1b[?7");
    ASSERT_NE(wrap, std::string::npos);
    EXPECT_EQ(t.raw().substr(wrap, 5), "\x1b[?7h");
    EXPECT_TRUE(t.pen_is_default());
    if (c.signaled) {
        EXPECT_EQ(t.raw().find("Runtime error"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(frame, endings,
                         ::testing::Values(ending_case{"normal_end", "5\r", false, 0},
                                           ending_case{"wrong_answer", "x\r", false, 106},
                                           ending_case{"ctrl_c_at_a_prompt", "\x03", true, SIGINT}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(frame_test, small_terminal_scrolls_the_dialogue_in_order)
{
    spawn_options o;
    o.rows = 10;
    pty_session& t = start(bubblesort_path, o);
    ASSERT_TRUE(answer_both(t, "5", "2"));
    const reference::lines expected = reference::dialogue(false, "5", 5, "2", false);
    ASSERT_TRUE(reach_end(t, expected));
    EXPECT_EQ(t.transcript(), expected);
    EXPECT_EQ(t.cursor(), (position{1, 10}));
    for (const row_cells& row : t.transcript_cells()) {
        for (const cell& x : row) EXPECT_TRUE(is_normal(x)) << text_of(row);
    }
    EXPECT_TRUE(finish(t));
}

} // namespace
} // namespace e2e
