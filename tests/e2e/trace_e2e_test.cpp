// bubbletrace's narrated sort as a user sees it in a terminal: the whole
// transcript, the highlighted cells and where the markers land.
#include <algorithm>

#include "dialogue_reference.h"
#include "session_test.h"

namespace e2e {
namespace {

using trace_test = session_test;

constexpr auto long_run = std::chrono::milliseconds(20000);

// Index of the first transcript line equal to `text`, or -1.
int find_line(const std::vector<std::string>& lines, const std::string& text)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == text) return static_cast<int>(i);
    }
    return -1;
}

struct trace_case {
    const char* name;
    const char* count;
    int n;
    const char* direction;
    bool ascending;
    int rows;
};

void PrintTo(const trace_case& c, std::ostream* os) { *os << c.name; }

class transcripts : public trace_test, public ::testing::WithParamInterface<trace_case> {};

TEST_P(transcripts, follow_the_sort_line_by_line)
{
    const trace_case& c = GetParam();
    spawn_options o;
    o.rows = c.rows;
    pty_session& t = start(bubbletrace_path, o);
    ASSERT_TRUE(answer_both(t, c.count, c.direction));
    const reference::lines expected = reference::dialogue(true, c.count, c.n, c.direction, c.ascending);
    ASSERT_TRUE(reach_end(t, expected));
    EXPECT_EQ(t.transcript(), expected);
    EXPECT_TRUE(finish(t));
}

INSTANTIATE_TEST_SUITE_P(
    trace, transcripts,
    ::testing::Values(trace_case{"count_3_ascending", "3", 3, "1", true, 25},
                      trace_case{"count_3_descending", "3", 3, "2", false, 25},
                      trace_case{"count_1_preamble_only", "1", 1, "1", true, 25},
                      trace_case{"count_0_preamble_only", "0", 0, "2", false, 25},
                      // Every table is drawn on the bottom row and scrolls
                      // away under its marker.
                      trace_case{"count_3_on_ten_rows", "3", 3, "1", true, 10}),
    [](const auto& info) { return std::string(info.param.name); });

// Columns of the values row of a step table that must be highlighted: four
// characters of each compared cell, not the bar between them.
bool highlighted_column(int col, int k)
{
    auto in_cell = [col](int x) { return col >= 5 * x + 7 && col <= 5 * x + 10; };
    return in_cell(k - 1) || in_cell(k);
}

::testing::AssertionResult step_is_drawn(const std::vector<row_cells>& cells, const std::vector<std::string>& lines,
                                         int k)
{
    int heading = find_line(lines, "    == Perulangan ke k = " + std::to_string(k));
    if (heading < 0) return ::testing::AssertionFailure() << "no step with k = " << k;
    // Heading, comparison, verdict, blank, then the first table.
    const std::size_t first_table = static_cast<std::size_t>(heading) + 4;
    for (std::size_t values_row : {first_table + 1, first_table + 5}) {
        const row_cells& row = cells[values_row];
        for (int col = 1; col <= static_cast<int>(row.size()); ++col) {
            const cell& x = row[static_cast<std::size_t>(col - 1)];
            bool want = highlighted_column(col, k);
            if (want ? !is_highlight(x) : !is_normal(x))
                return ::testing::AssertionFailure() << "k = " << k << ": \"" << text_of(row) << "\", column "
                                                     << col << (want ? " not highlighted" : " not in normal colours");
        }
    }
    const row_cells& marker = cells[first_table + 3];
    for (int col = 1; col <= static_cast<int>(marker.size()); ++col) {
        const cell& x = marker[static_cast<std::size_t>(col - 1)];
        bool inside = col >= 5 * k + 3 && col <= 5 * k + 9;
        if ((x.chars != " ") && !inside)
            return ::testing::AssertionFailure() << "k = " << k << ": marker character at column " << col;
        if (!is_normal(x)) return ::testing::AssertionFailure() << "k = " << k << ": marker colours at column " << col;
    }
    std::string expected = std::string(static_cast<std::size_t>(5 * k + 2), ' ') + reference::swap_marker;
    if (text_of(marker) != expected)
        return ::testing::AssertionFailure() << "k = " << k << ": marker row \"" << text_of(marker) << "\"";
    return ::testing::AssertionSuccess();
}

TEST_F(trace_test, count_12_ascending_whole_transcript_highlights_and_markers)
{
    pty_session& t = start(bubbletrace_path);
    ASSERT_TRUE(answer_both(t, "12", "1"));
    const reference::lines expected = reference::dialogue(true, "12", 12, "1", true);
    ASSERT_TRUE(reach_end(t, expected, long_run));
    std::vector<std::string> lines = t.transcript();
    EXPECT_EQ(lines, expected);
    std::vector<row_cells> cells = t.transcript_cells();
    // The first step (k = 12, cells 11 and 12 at the right edge) and the
    // last of the first pass (k = 2, a one-digit value in cell 1); both
    // exchange.
    EXPECT_TRUE(step_is_drawn(cells, lines, 12));
    EXPECT_TRUE(step_is_drawn(cells, lines, 2));
    EXPECT_TRUE(finish(t));
}

TEST_F(trace_test, marker_beyond_a_narrow_screen_starts_at_column_1)
{
    spawn_options o;
    o.cols = 40;
    pty_session& t = start(bubbletrace_path, o);
    ASSERT_TRUE(answer_both(t, "12", "1"));
    const reference::lines expected = reference::dialogue(true, "12", 12, "1", true, 40);
    ASSERT_TRUE(reach_end(t, expected, long_run));
    std::vector<std::string> lines = t.transcript();
    EXPECT_EQ(lines, expected);
    // The first step (k = 12) would put its marker at column 63; the lower
    // border above it has wrapped after 40 columns.
    auto first_marker = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("\u251C") != std::string::npos || line.find("\u2502") != std::string::npos;
    });
    ASSERT_NE(first_marker, lines.end());
    EXPECT_EQ(*first_marker, reference::swap_marker);
    EXPECT_EQ(*(first_marker - 1), "+----+----+----+----+----+----+");
    EXPECT_EQ(*(first_marker - 2), "          +----+----+----+----+----+----");
    EXPECT_TRUE(finish(t));
}

} // namespace
} // namespace e2e
