#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "console/console_screen.h"
#include "sorting/frame.h"
#include "sorting/plain_sort.h"
#include "sorting/traced_sort.h"
#include "tests/support/memory_screen.h"

namespace {

void load(std::vector<std::int32_t> values, std::int32_t count, std::int32_t direction)
{
    for (auto& d : D) d = 0;
    for (std::size_t i = 0; i < values.size(); ++i) D[i + 1] = values[i];
    n = count;
    choice = direction;
}

std::vector<std::int32_t> data(std::int32_t count)
{
    return {D + 1, D + 1 + (count > 0 ? count : 0)};
}

TEST(PlainSort, EndStateInEveryDirection)
{
    const std::pair<std::int32_t, std::vector<std::int32_t>> cases[] = {
        {1, {6, 37, 50, 70, 77}},
        {2, {77, 70, 50, 37, 6}},
        {0, {77, 70, 50, 37, 6}},
        {7, {77, 70, 50, 37, 6}},
        {-1, {77, 70, 50, 37, 6}},
    };
    for (const auto& [direction, expected] : cases) {
        load({70, 50, 6, 77, 37}, 5, direction);
        plain_bubble_sort();
        EXPECT_EQ(data(5), expected) << "choice " << direction;
        EXPECT_EQ(n, 5);
        EXPECT_EQ(choice, direction);
    }
}

TEST(PlainSort, NothingHappensBelowTwo)
{
    for (std::int32_t count : {1, 0, -4, INT32_MIN}) {
        load({42, 7, 15}, count, 1);
        plain_bubble_sort();
        EXPECT_EQ(D[1], 42);
        EXPECT_EQ(D[2], 7);
        EXPECT_EQ(D[3], 15);
        EXPECT_EQ(n, count);
    }
}

TEST(PlainSort, TwelveWithEqualNeighbours)
{
    load({70, 50, 6, 77, 37, 12, 94, 75, 81, 58, 75, 47}, 12, 1);
    plain_bubble_sort();
    EXPECT_EQ(data(12), (std::vector<std::int32_t>{6, 12, 37, 47, 50, 58, 70, 75, 75, 77, 81, 94}));
    EXPECT_EQ(D[0], 0);  // nothing outside 1..n is touched
}

// The traced sort of 42, 7, 15 ascending, exactly as the user sees it.
const char* const worked_example[] = {
    " ==============================================================================",
    "",
    " Tracing :",
    "",
    " Perulangan : \"for i:=1 to n-1\" ==> Untuk setiap i = 1 sampai i = 2",
    "",
    " == Perulangan ke i = 1",
    "",
    " :: Perulangan : \"for k:=n downto i+1\" ==> Untuk setiap k = 3 sampai k = 2",
    "",
    "    == Perulangan ke k = 3",
    "    :: Periksa : D[k] < D[k-1] ? ==> D[3] < D[2] ? ==> 15 < 7 ?",
    "       ==> FALSE : { Tetap }",
    "",
    "          +----+----+----+",
    "      D = | 42 |  7 | 15 |",
    "          +----+----+----+",
    "                 \xB3\xB3   \xB3\xB3",
    "          +----+----+----+",
    "      D = | 42 |  7 | 15 |",
    "          +----+----+----+",
    "",
    "    == Akhir Perulangan ke k = 3",
    "",
    "    == Perulangan ke k = 2",
    "    :: Periksa : D[k] < D[k-1] ? ==> D[2] < D[1] ? ==> 7 < 42 ?",
    "       ==> TRUE  : { Tukar } D[2] <==> D[1]",
    "",
    "          +----+----+----+",
    "      D = | 42 |  7 | 15 |",
    "          +----+----+----+",
    "            \xC3\xC4\xC4X\xC4\xC4\xB4",
    "          +----+----+----+",
    "      D = |  7 | 42 | 15 |",
    "          +----+----+----+",
    "",
    "    == Akhir Perulangan ke k = 2",
    "",
    " == Akhir Perulangan ke i = 1",
    "",
    " == Perulangan ke i = 2",
    "",
    " :: Perulangan : \"for k:=n downto i+1\" ==> Untuk setiap k = 3 sampai k = 3",
    "",
    "    == Perulangan ke k = 3",
    "    :: Periksa : D[k] < D[k-1] ? ==> D[3] < D[2] ? ==> 15 < 42 ?",
    "       ==> TRUE  : { Tukar } D[3] <==> D[2]",
    "",
    "          +----+----+----+",
    "      D = |  7 | 42 | 15 |",
    "          +----+----+----+",
    "                 \xC3\xC4\xC4X\xC4\xC4\xB4",
    "          +----+----+----+",
    "      D = |  7 | 15 | 42 |",
    "          +----+----+----+",
    "",
    "    == Akhir Perulangan ke k = 3",
    "",
    " == Akhir Perulangan ke i = 2",
    "",
};

// Runs the traced sort on a fresh screen of the given size and returns the
// screen; the trace starts in row 1.
memory_screen& trace(std::vector<std::int32_t> values, std::int32_t count, std::int32_t direction, int cols = 80,
                     int rows = 70)
{
    memory_screen& screen = attach_memory_console(cols, rows);
    load(std::move(values), count, direction);
    traced_bubble_sort();
    return screen;
}

std::string highlighted_columns(const memory_screen& screen, int row)
{
    std::string marks;
    for (int c = 0; c < screen.cols; ++c) marks.push_back(screen.at(c, row).attr == 7 ? '#' : '.');
    while (!marks.empty() && marks.back() == '.') marks.pop_back();
    return marks;
}

TEST(TracedSort, WorkedExampleLineForLine)
{
    memory_screen& screen = trace({42, 7, 15}, 3, 1);
    for (int r = 0; r < 60; ++r) EXPECT_EQ(screen.row_text(r), worked_example[r]) << "row " << r + 1;
    // Line 3 keeps its trailing blank on the screen.
    EXPECT_EQ(screen.at(10, 2).ch, ' ');
    EXPECT_EQ(screen.at(10, 2).attr, 112);
    EXPECT_EQ(cursor_row, 60);
    EXPECT_EQ(cursor_col, 0);
    EXPECT_EQ(text_attr, 112);
    EXPECT_EQ(data(3), (std::vector<std::int32_t>{7, 15, 42}));
}

TEST(TracedSort, HighlightsExactlyFourCharactersPerComparedCell)
{
    memory_screen& screen = trace({42, 7, 15}, 3, 1);
    const std::string cells_2_3 = "................####.####";  // columns 17-20 and 22-25
    const std::string cells_1_2 = "...........####.####";       // columns 12-15 and 17-20
    const std::pair<int, std::string> rows[] = {
        {15, cells_2_3}, {19, cells_2_3}, {29, cells_1_2}, {33, cells_1_2}, {49, cells_2_3}, {53, cells_2_3},
    };
    for (const auto& [row, marks] : rows) EXPECT_EQ(highlighted_columns(screen, row), marks) << "row " << row + 1;
    for (int r : {14, 16, 17, 18, 20}) EXPECT_EQ(highlighted_columns(screen, r), "") << "row " << r + 1;
}

TEST(TracedSort, DescendingKeepsTheFixedLessThanPieces)
{
    memory_screen& screen = trace({7, 15}, 2, 2);
    EXPECT_EQ(screen.row_text(8), " :: Perulangan : \"for k:=n downto i+1\" ==> Untuk setiap k = 2 sampai k = 2");
    EXPECT_EQ(screen.row_text(11), "    :: Periksa : D[k] > D[k-1] ? ==> D[2] < D[1] ? ==> 15 < 7 ?");
    EXPECT_EQ(screen.row_text(12), "       ==> TRUE  : { Tukar } D[2] <==> D[1]");
    EXPECT_EQ(screen.row_text(19), "      D = | 15 |  7 |");
}

TEST(TracedSort, EqualNeighboursAreKeptInBothDirections)
{
    for (std::int32_t direction : {1, 2}) {
        memory_screen& screen = trace({75, 75}, 2, direction);
        EXPECT_EQ(screen.row_text(12), "       ==> FALSE : { Tetap }");
        EXPECT_EQ(screen.row_text(17), "            \xB3\xB3   \xB3\xB3");
    }
}

// The values row right before each "end of pass" line is the data after
// that pass.
TEST(TracedSort, DataAfterEachPass)
{
    const std::pair<std::int32_t, std::vector<std::string>> cases[] = {
        {1,
         {"      D = |  6 | 70 | 50 | 37 | 77 |", "      D = |  6 | 37 | 70 | 50 | 77 |",
          "      D = |  6 | 37 | 50 | 70 | 77 |", "      D = |  6 | 37 | 50 | 70 | 77 |"}},
        {2,
         {"      D = | 77 | 70 | 50 |  6 | 37 |", "      D = | 77 | 70 | 50 | 37 |  6 |",
          "      D = | 77 | 70 | 50 | 37 |  6 |", "      D = | 77 | 70 | 50 | 37 |  6 |"}},
    };
    for (const auto& [direction, after_pass] : cases) {
        memory_screen& screen = trace({70, 50, 6, 77, 37}, 5, direction, 80, 30);
        std::vector<std::string> lines = screen.transcript();
        std::vector<std::string> seen;
        int swaps = 0;
        std::string last_values;
        for (const auto& line : lines) {
            if (line.rfind("      D = |", 0) == 0) last_values = line;
            if (line.rfind(" == Akhir Perulangan ke i = ", 0) == 0) seen.push_back(last_values);
            if (line.find("TRUE") != std::string::npos) ++swaps;
        }
        EXPECT_EQ(seen, after_pass) << "choice " << direction;
        EXPECT_EQ(swaps, direction == 1 ? 6 : 4);
    }
}

TEST(TracedSort, BelowTwoOnlyThePreamble)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {1, "0"}, {0, "-1"}, {-5, "-6"}, {INT32_MIN, "-2147483649"},
    };
    for (auto [count, last] : cases) {
        memory_screen& screen = trace({42, 7, 15}, count, 1);
        EXPECT_EQ(screen.row_text(4),
                  std::string(" Perulangan : \"for i:=1 to n-1\" ==> Untuk setiap i = 1 sampai i = ") + last);
        EXPECT_EQ(cursor_row, 6);
        EXPECT_EQ(screen.row_text(6), "");
        EXPECT_EQ(D[1], 42);
    }
}

TEST(TracedSort, TwelveItemsMarkerColumnsAndLineCount)
{
    memory_screen& screen = trace({70, 50, 6, 77, 37, 12, 94, 75, 81, 58, 75, 47}, 12, 1, 80, 25);
    std::vector<std::string> lines = screen.transcript();
    // 996 trace lines, the cursor on the next (empty) row.
    ASSERT_EQ(static_cast<int>(lines.size()), screen.scrolls + 25);
    EXPECT_EQ(screen.scrolls + cursor_row, 996);
    // The first step compares cells 11 and 12: its keep or swap marker
    // starts at column 63 right under the first table.
    EXPECT_EQ(lines[10], "    == Perulangan ke k = 12");
    EXPECT_EQ(lines[17].find_first_not_of(' '), 62u);
    EXPECT_EQ(lines[17].size(), 69u);
    EXPECT_EQ(lines[14].size(), 71u);
    EXPECT_EQ(data(12), (std::vector<std::int32_t>{6, 12, 37, 47, 50, 58, 70, 75, 75, 77, 81, 94}));
}

TEST(TracedSort, MarkerOnTheRowBelowAtTheBottomOfTheScreen)
{
    // Seven rows: the first step table ends on the bottom row, so the marker's
    // row comes from a scroll.
    memory_screen& screen = trace({42, 7, 15}, 3, 1, 80, 7);
    std::vector<std::string> lines = screen.transcript();
    ASSERT_GE(lines.size(), 60u);
    for (int r = 0; r < 60; ++r) EXPECT_EQ(lines[static_cast<std::size_t>(r)], worked_example[r]) << "line " << r + 1;
}

TEST(TracedSort, NarrowScreenPutsTheMarkerInColumnOne)
{
    memory_screen& screen = trace({42, 7}, 2, 1, 12, 200);
    std::vector<std::string> lines = screen.transcript();
    // Column 13 is outside a 12-column screen: the marker starts in column 1.
    bool found = false;
    for (const auto& line : lines)
        if (line.rfind("\xC3\xC4\xC4X\xC4\xC4\xB4", 0) == 0) found = true;
    EXPECT_TRUE(found);
}

} // namespace
