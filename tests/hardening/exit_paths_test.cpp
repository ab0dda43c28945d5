// Every way a run can end: normally, on a wrong answer, by Ctrl+C, SIGTERM
// or SIGHUP while it waits, with its terminal closed under it, on a fault,
// and with no terminal at all. Each leaves the terminal as it found it,
// without spinning on the way.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dialogue_reference.h"
#include "session_test.h"

namespace e2e {
namespace {

const std::string fault_program = FAULT_PROGRAM_PATH;
const std::string job_parent = JOB_PARENT_PATH;

// How long a run waits at a prompt before it is ended, and the processor
// time the whole run may use: a blocked read costs next to nothing, a
// loop that polls or spins costs the whole wait.
constexpr auto idle_wait = std::chrono::milliseconds(600);
constexpr auto cpu_bound = std::chrono::milliseconds(250);

void idle(pty_session& t)
{
    t.wait_until([] { return false; }, idle_wait);
}

// The terminal is back in its own modes, auto-wrap on and its own colours
// for whatever is written next.
::testing::AssertionResult terminal_given_back(const pty_session& t)
{
    if (!same_modes(t.modes_now(), t.modes_before()))
        return ::testing::AssertionFailure() << "modes " << stty_form(t.modes_now()) << ", before "
                                             << stty_form(t.modes_before());
    std::size_t wrap = t.raw().rfind("\x1b[?7");
    if (wrap == std::string::npos || t.raw().compare(wrap, 5, "\x1b[?7h") != 0)
        return ::testing::AssertionFailure() << "auto-wrap not back on";
    if (!t.pen_is_default()) return ::testing::AssertionFailure() << "colours not the terminal's own";
    return ::testing::AssertionSuccess();
}

/*** Endings while the program waits ***/

enum class way { keys, signal, hang_up };

struct ending_case {
    const char* name;
    way how;
    const char* keys;  // typed at the count prompt
    int signal;        // sent while it waits there
    bool signaled;
    int code_or_signal;
    int ignored = 0;  // a signal the program is started with ignored
};

void PrintTo(const ending_case& c, std::ostream* os) { *os << c.name; }

class endings : public session_test, public ::testing::WithParamInterface<ending_case> {};

TEST_P(endings, give_the_terminal_back_without_spinning)
{
    const ending_case& c = GetParam();
    struct sigaction ignore{}, before{};
    ignore.sa_handler = SIG_IGN;
    if (c.ignored) sigaction(c.ignored, &ignore, &before);
    pty_session& t = start(bubbletrace_path);
    if (c.ignored) sigaction(c.ignored, &before, nullptr);
    ASSERT_TRUE(t.wait_until([&] { return waits_after(t, " Jumlah data : "); }));
    ASSERT_FALSE(same_modes(t.modes_now(), t.modes_before()));
    idle(t);
    switch (c.how) {
    case way::keys:
        t.type(c.keys);
        if (!c.signaled && c.code_or_signal == 0) {
            ASSERT_TRUE(answer(t, " Pilih : ", "1"));
            ASSERT_TRUE(reach_end(t, reference::dialogue(true, "3", 3, "1", true)));
            idle(t);
            t.type("\r");
        }
        break;
    case way::signal: kill(t.pid(), c.signal); break;
    case way::hang_up: t.close_terminal(); break;
    }
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->signaled, c.signaled) << describe(*e);
    EXPECT_EQ(e->signaled ? e->signal : e->code, c.code_or_signal) << describe(*e);
    EXPECT_LT(e->stats.cpu, cpu_bound);
    if (c.how != way::hang_up) {
        EXPECT_TRUE(terminal_given_back(t));
    }
    if (c.code_or_signal != 106) {
        EXPECT_EQ(t.raw().find("Runtime error"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    hardening, endings,
    ::testing::Values(ending_case{"normal_end", way::keys, "3\r", 0, false, 0},
                      ending_case{"wrong_answer", way::keys, "3x\r", 0, false, 106},
                      ending_case{"ctrl_c_at_a_prompt", way::keys, "3\x03", 0, true, SIGINT},
                      ending_case{"sigterm_while_waiting", way::signal, "", SIGTERM, true, SIGTERM},
                      ending_case{"sighup_while_waiting", way::signal, "", SIGHUP, true, SIGHUP},
                      ending_case{"terminal_closed_while_waiting", way::hang_up, "", 0, true, SIGHUP},
                      // What the program was started with ignored stays ignored;
                      // without its terminal it still ends.
                      ending_case{"ctrl_c_ignored_from_the_start", way::keys, "\x03" "3\r", 0, false, 0, SIGINT},
                      ending_case{"terminal_closed_with_hang_ups_ignored", way::hang_up, "", 0, false, 129, SIGHUP}),
    [](const auto& info) { return std::string(info.param.name); });

// Standard output leads to a pipe no one reads: the report is lost, the
// program still ends with 106 and not by SIGPIPE.
using report = session_test;

TEST_F(report, into_a_pipe_no_one_reads_is_dropped)
{
    spawn_options o;
    o.stdout_to_closed_pipe = true;
    pty_session& t = start(bubblesort_path, o);
    ASSERT_TRUE(answer(t, " Jumlah data : ", "abc"));
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled) << describe(*e);
    EXPECT_EQ(e->code, 106) << describe(*e);
    EXPECT_TRUE(terminal_given_back(t));
    EXPECT_FALSE(t.screen_contains("Runtime error"));
}

// Stopped from outside while it waits (Ctrl+Z itself is a plain key), the
// program gives the terminal back for as long as it sleeps, and takes it
// again when it goes on: the answer typed so far and the rest of the run
// are intact.
using stopped = session_test;

// The state letter of a process: R running, S sleeping, T stopped...
char process_state(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

// Modes change without output, which the session's waits look for; look
// again every few milliseconds instead.
bool eventually(pty_session& t, const std::function<bool()>& done)
{
    for (int i = 0; i < 250 && !done(); ++i) t.wait_until([] { return false; }, std::chrono::milliseconds(20));
    return done();
}

TEST_F(stopped, from_outside_the_terminal_is_the_users_until_it_goes_on)
{
    spawn_options o;
    o.args = {bubbletrace_path};
    pty_session& t = start(job_parent, o);
    ASSERT_TRUE(t.wait_until([&] { return waits_after(t, " Jumlah data : "); }));
    t.type("1");
    ASSERT_TRUE(t.wait_for_text(" Jumlah data : 1"));
    // The job that owns the terminal is the program's process group.
    pid_t job = t.foreground_group();
    ASSERT_GT(job, 0);
    ASSERT_NE(job, t.pid());
    kill(-job, SIGTSTP);
    EXPECT_TRUE(eventually(t, [&] { return bool(terminal_given_back(t)); })) << terminal_given_back(t).message();
    EXPECT_TRUE(eventually(t, [&] { return process_state(job) == 'T'; })) << "state " << process_state(job);
    kill(-job, SIGCONT);
    ASSERT_TRUE(eventually(t, [&] { return !same_modes(t.modes_now(), t.modes_before()); }));
    t.type("2\r");
    ASSERT_TRUE(answer(t, " Pilih : ", "1"));
    ASSERT_TRUE(reach_end(t, reference::dialogue(true, "12", 12, "1", true)));
    ASSERT_TRUE(finish(t));
    EXPECT_TRUE(terminal_given_back(t));
}

/*** Faults ***/

struct fault_case {
    const char* fault;
    int code;
};

void PrintTo(const fault_case& c, std::ostream* os) { *os << c.fault; }

class faults : public session_test, public ::testing::WithParamInterface<fault_case> {};

// The source file and line that addr2line gives for a place in the program.
std::string source_of(const std::string& program, const std::string& hex)
{
    std::string command = "addr2line -e '" + program + "' 0x" + hex;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return "";
    char line[512] = "";
    if (!std::fgets(line, sizeof line, p)) line[0] = 0;
    pclose(p);
    return line;
}

TEST_P(faults, end_with_the_report_and_their_number)
{
    const fault_case& c = GetParam();
    spawn_options o;
    o.args = {c.fault};
    pty_session& t = start(fault_program, o);
    ASSERT_TRUE(answer_both(t, "3", "1"));
    auto e = t.wait_exit();
    ASSERT_TRUE(e.has_value());
    EXPECT_FALSE(e->signaled) << describe(*e);
    EXPECT_EQ(e->code, c.code) << describe(*e);
    EXPECT_LT(e->stats.cpu, cpu_bound);
    EXPECT_TRUE(terminal_given_back(t));

    // Four lines: headline, the place again, the one back-trace line, and an
    // empty line, after which the cursor stands.
    int row = 1;
    while (row <= t.rows() && t.row_text(row).rfind("Runtime error", 0) != 0) ++row;
    ASSERT_LE(row + 3, t.rows());
    std::smatch m;
    std::string headline = t.row_text(row);
    ASSERT_TRUE(std::regex_match(headline, m, std::regex("Runtime error ([0-9]+) at 0x([0-9A-F]{8})"))) << headline;
    EXPECT_EQ(m[1], std::to_string(c.code));
    std::string place = m[2];
    EXPECT_EQ(t.row_text(row + 1), "  0x" + place);
    std::string back = t.row_text(row + 2);
    ASSERT_TRUE(std::regex_match(back, m, std::regex("  0x([0-9A-F]{8})"))) << back;
    std::string caller = m[1];
    EXPECT_EQ(t.row_text(row + 3), "");
    EXPECT_EQ(t.cursor(), (position{1, row + 4}));

    // The fault's place is the faulting sort step, the back-trace's the
    // main body that called the frame.
    EXPECT_NE(source_of(fault_program, place).find("fault_program.cpp"), std::string::npos)
        << source_of(fault_program, place);
    EXPECT_NE(source_of(fault_program, caller).find("fault_program.cpp"), std::string::npos)
        << source_of(fault_program, caller);
}

INSTANTIATE_TEST_SUITE_P(hardening, faults,
                         ::testing::Values(fault_case{"segmentation", 216}, fault_case{"integer-division", 200},
                                           fault_case{"illegal-instruction", 217}, fault_case{"x87-invalid", 207},
                                           fault_case{"stack-overflow", 216}),
                         [](const auto& info) {
                             std::string name = info.param.fault;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

/*** No terminal at all ***/

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the program in a session of its own with no controlling terminal,
// standard input from /dev/null, standard output to a file and standard
// error to a file or, with no file named, to a pipe no one reads.
std::optional<int> run_without_terminal(const std::string& program, const std::string& out, const std::string& err)
{
    int unread[2];
    if (pipe(unread) != 0) return std::nullopt;
    close(unread[0]);
    pid_t pid = fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        setsid();
        int in_fd = open("/dev/null", O_RDONLY);
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err_fd = err.empty() ? unread[1] : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in_fd < 0 || out_fd < 0 || err_fd < 0) _exit(127);
        dup2(in_fd, 0);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(unread[1]);
    auto deadline = clock::now() + default_deadline;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return std::nullopt;
        }
        usleep(5000);
    }
    if (!WIFEXITED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
}

TEST(no_terminal, says_so_on_standard_error_and_ends_with_1)
{
    char dir[] = "/tmp/bubble_noterm_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string out = std::string(dir) + "/out";
    std::string err = std::string(dir) + "/err";
    for (const std::string& program : {bubbletrace_path, bubblesort_path}) {
        std::optional<int> code = run_without_terminal(program, out, err);
        ASSERT_TRUE(code.has_value()) << program << " did not end";
        EXPECT_EQ(*code, 1) << program;
        EXPECT_EQ(slurp(err), "No way to get the console handle\r\n") << program;
        EXPECT_EQ(slurp(out), "") << program;

        // Not even that line can be written: run-time error 101, whose
        // report goes to standard output.
        code = run_without_terminal(program, out, "");
        ASSERT_TRUE(code.has_value()) << program << " did not end";
        EXPECT_EQ(*code, 101) << program;
        EXPECT_TRUE(std::regex_match(slurp(out), std::regex("Runtime error 101 at 0x([0-9A-F]{8})\r\n  0x\\1\r\n"
                                                            "  0x[0-9A-F]{8}\r\n\r\n")))
            << slurp(out);
    }
    std::remove(out.c_str());
    std::remove(err.c_str());
    rmdir(dir);
}

} // namespace
} // namespace e2e
