// Test fixture and small helpers shared by the end-to-end tests.
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace e2e {

inline const std::string bubblesort_path = BUBBLESORT_PATH;
inline const std::string bubbletrace_path = BUBBLETRACE_PATH;

// The programs' normal text and highlight, as ANSI colour indexes.
constexpr int black = 0;
constexpr int light_grey = 7;

inline bool is_normal(const cell& c) { return c.fg == black && c.bg == light_grey && !c.reverse; }
inline bool is_highlight(const cell& c) { return c.fg == light_grey && c.bg == black && !c.reverse; }

class session_test : public ::testing::Test {
protected:
    pty_session& start(const std::string& program, const spawn_options& options = {})
    {
        sessions_.push_back(std::make_unique<pty_session>(program, options));
        return *sessions_.back();
    }

    // A failed test shows what each terminal looked like.
    void TearDown() override
    {
        if (!HasFailure()) return;
        for (const auto& s : sessions_) std::fputs(s->dump().c_str(), stderr);
    }

private:
    std::vector<std::unique_ptr<pty_session>> sessions_;
};

// The program waits for input right behind `prompt`, which ends its row.
inline bool waits_after(const pty_session& t, std::string_view prompt)
{
    position c = t.cursor();
    row_cells row = t.screen_row(c.row);
    if (c.col != static_cast<int>(prompt.size()) + 1) return false;
    std::string before;
    for (int col = 1; col < c.col; ++col) before += row[static_cast<std::size_t>(col - 1)].chars;
    return before == prompt && text_of(row).size() <= prompt.size();
}

// Waits for the prompt, then types the answer and Enter.
[[nodiscard]] inline ::testing::AssertionResult answer(pty_session& t, std::string_view prompt,
                                                       std::string_view text)
{
    if (!t.wait_until([&] { return waits_after(t, prompt); }))
        return ::testing::AssertionFailure() << "no wait behind \"" << prompt << "\"";
    t.type(std::string(text) + "\r");
    return ::testing::AssertionSuccess();
}

// The run's last rows (the heading and the final table) stand as expected
// at the end of the transcript and the cursor waits at the start of the row
// below them.
inline bool waits_at_end(const pty_session& t, const std::vector<std::string>& expected)
{
    constexpr std::size_t tail = 6;
    std::vector<std::string> lines = t.transcript();
    if (lines.size() < tail || expected.size() < tail) return false;
    if (!std::equal(expected.end() - tail, expected.end(), lines.end() - tail)) return false;
    int last = t.rows();
    while (last > 1 && t.row_text(last).empty()) --last;
    return t.cursor() == position{1, last + 1};
}

[[nodiscard]] inline ::testing::AssertionResult answer_both(pty_session& t, std::string_view count,
                                                            std::string_view direction)
{
    if (auto r = answer(t, " Jumlah data : ", count); !r) return r;
    return answer(t, " Pilih : ", direction);
}

[[nodiscard]] inline ::testing::AssertionResult reach_end(pty_session& t, const std::vector<std::string>& expected,
                                                          std::chrono::milliseconds deadline = default_deadline)
{
    if (!t.wait_until([&] { return waits_at_end(t, expected); }, deadline))
        return ::testing::AssertionFailure() << "the final table and the wait for Enter did not come";
    return ::testing::AssertionSuccess();
}

// Enter at the final wait ends the program normally.
[[nodiscard]] inline ::testing::AssertionResult finish(pty_session& t)
{
    t.type("\r");
    auto e = t.wait_exit();
    if (!e) return ::testing::AssertionFailure() << "the program did not end after the final Enter";
    if (e->signaled || e->code != 0) return ::testing::AssertionFailure() << "ended with " << describe(*e);
    return ::testing::AssertionSuccess();
}

} // namespace e2e
