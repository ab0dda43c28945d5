// A whole run of each program, under valgrind in a pseudo-terminal, makes
// no more heap allocations than the same code makes before main, and
// valgrind finds no error.
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "dialogue_reference.h"
#include "session_test.h"

namespace e2e {
namespace {

const std::string valgrind = VALGRIND_PATH;
const std::string heap_baseline = HEAP_BASELINE_PATH;

// Valgrind runs the code many times slower than the machine does.
constexpr auto slow = std::chrono::milliseconds(60000);

struct heap_figures {
    long allocations = -1;
    long errors = -1;
};

heap_figures read_log(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    std::string log = s.str();
    heap_figures f;
    std::smatch m;
    if (std::regex_search(log, m, std::regex(R"(total heap usage: ([0-9,]+) allocs)"))) {
        std::string digits = m[1];
        std::erase(digits, ',');
        f.allocations = std::stol(digits);
    }
    if (std::regex_search(log, m, std::regex(R"(ERROR SUMMARY: ([0-9,]+) errors)"))) f.errors = std::stol(m[1]);
    return f;
}

::testing::AssertionResult answer_slowly(pty_session& t, std::string_view prompt, std::string_view text)
{
    if (!t.wait_until([&] { return waits_after(t, prompt); }, slow))
        return ::testing::AssertionFailure() << "no wait behind \"" << prompt << "\"";
    t.type(std::string(text) + "\r");
    return ::testing::AssertionSuccess();
}

class no_heap : public session_test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/bubble_heap_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override
    {
        session_test::TearDown();
        for (const char* name : {"/baseline.log", "/program.log"}) std::remove((dir_ + name).c_str());
        rmdir(dir_.c_str());
    }

    pty_session& start_under_valgrind(const std::string& program, const std::string& log)
    {
        spawn_options o;
        o.args = {"--tool=memcheck", "--leak-check=no", "--log-file=" + log, program};
        return start(valgrind, o);
    }

    std::string dir_;
};

struct run_case {
    const char* name;
    const std::string* program;
    bool traced;
    const char* direction;
    bool ascending;
};

void PrintTo(const run_case& c, std::ostream* os) { *os << c.name; }

class whole_runs : public no_heap, public ::testing::WithParamInterface<run_case> {};

TEST_P(whole_runs, allocate_nothing_after_start_up)
{
    const run_case& c = GetParam();
    std::string baseline_log = dir_ + "/baseline.log";
    auto b = start_under_valgrind(heap_baseline, baseline_log).wait_exit(slow);
    ASSERT_TRUE(b && !b->signaled && b->code == 0);
    heap_figures baseline = read_log(baseline_log);
    ASSERT_GE(baseline.allocations, 0);

    std::string program_log = dir_ + "/program.log";
    pty_session& t = start_under_valgrind(*c.program, program_log);
    ASSERT_TRUE(answer_slowly(t, " Jumlah data : ", "12"));
    ASSERT_TRUE(answer_slowly(t, " Pilih : ", c.direction));
    ASSERT_TRUE(reach_end(t, reference::dialogue(c.traced, "12", 12, c.direction, c.ascending), slow));
    t.type("\r");
    auto e = t.wait_exit(slow);
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled) << describe(*e);
    EXPECT_EQ(e->code, 0) << describe(*e);

    heap_figures run = read_log(program_log);
    std::printf("heap allocations: %ld in the run, %ld before main\n", run.allocations, baseline.allocations);
    EXPECT_EQ(run.allocations, baseline.allocations);
    EXPECT_EQ(run.errors, 0);
    EXPECT_EQ(baseline.errors, 0);
}

const std::string trace_program = bubbletrace_path;
const std::string sort_program = bubblesort_path;

INSTANTIATE_TEST_SUITE_P(heap, whole_runs,
                         ::testing::Values(run_case{"bubbletrace_ascending", &trace_program, true, "1", true},
                                           run_case{"bubbletrace_descending", &trace_program, true, "2", false},
                                           run_case{"bubblesort_ascending", &sort_program, false, "1", true},
                                           run_case{"bubblesort_descending", &sort_program, false, "2", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
