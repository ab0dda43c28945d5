// End-to-end harness: runs a program in a pseudo-terminal and shows what a
// user would see, through a real terminal emulator (libvterm), with the
// rows that scrolled off the top kept in order.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>
#include <termios.h>

#include <vterm.h>

namespace e2e {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;

constexpr auto default_deadline = std::chrono::milliseconds(5000);

// Colour index of a cell as the terminal holds it; default_colour when the
// terminal's own colour is in force.
constexpr int default_colour = -1;

struct cell {
    std::string chars;  // UTF-8; a blank for an empty cell
    int fg = default_colour;
    int bg = default_colour;
    bool reverse = false;

    bool operator==(const cell&) const = default;
};

using row_cells = std::vector<cell>;

struct spawn_options {
    int rows = 25;
    int cols = 80;
    // Standard input from a pipe holding this text (then end of input)
    // instead of the terminal.
    std::optional<std::string> stdin_text;
    // Standard output to this file instead of the terminal.
    std::optional<std::string> stdout_path;
    // Standard output to a pipe that no one reads any more.
    bool stdout_to_closed_pipe = false;
    // Arguments after the program's name (the programs take none; tools
    // run in the same way for comparison may).
    std::vector<std::string> args;
    // The terminal reports 0 columns and 0 rows, as some do when they
    // can't tell; the emulator still shows rows x cols.
    bool size_unknown = false;
};

// What the process has used so far, from /proc.
struct process_stats {
    long write_calls = -1;  // write-like system calls
    std::chrono::nanoseconds cpu{0};  // user and system time
};

struct exit_info {
    bool signaled = false;
    int code = 0;    // exit status when !signaled
    int signal = 0;  // terminating signal when signaled
    process_stats stats;  // over the whole run
};

// 1-based, as the programs count.
struct position {
    int col;
    int row;
    bool operator==(const position&) const = default;
};

class pty_session {
public:
    pty_session(const std::string& program, const spawn_options& options = {});
    ~pty_session();
    pty_session(const pty_session&) = delete;
    pty_session& operator=(const pty_session&) = delete;

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    pid_t pid() const { return pid_; }
    // The process group that owns the terminal, as job control sees it.
    pid_t foreground_group() const;

    // Feeds the terminal until done() holds or the deadline passes; checks
    // done() after every piece of output. Returns whether it held.
    bool wait_until(const std::function<bool()>& done,
                    std::chrono::milliseconds deadline = default_deadline);
    bool wait_for_text(std::string_view text,
                       std::chrono::milliseconds deadline = default_deadline);
    // Text on the screen, then the cursor at the given place: the program
    // is waiting there.
    bool wait_for_prompt(std::string_view text, position cursor_at,
                         std::chrono::milliseconds deadline = default_deadline);

    // Waits for the program's end and everything it sent before it.
    std::optional<exit_info> wait_exit(std::chrono::milliseconds deadline = default_deadline);
    bool exited() const { return exit_.has_value(); }
    // While the program runs.
    std::optional<process_stats> stats() const;

    // Bytes as keys typed on the terminal.
    void type(std::string_view keys);

    // The terminal reports a new size (and the program gets SIGWINCH);
    // the emulator's screen stays as it is.
    void resize_reported(int cols, int rows);
    // The terminal goes away under the program, as when its window is
    // closed: the master side is closed and the modes can't be read any
    // more.
    void close_terminal();

    // Screen, 1-based.
    cell cell_at(int col, int row) const;
    row_cells screen_row(int row) const;
    std::string row_text(int row) const;  // trailing blanks dropped
    bool screen_contains(std::string_view text) const;
    position cursor() const;
    // The emulator's pen carries the terminal's own colours and no reverse:
    // text written next (a shell prompt) looks as it did before the program.
    bool pen_is_default() const;

    // Rows that scrolled off the top, oldest first.
    const std::vector<row_cells>& scrollback() const { return scrollback_; }
    // Scrollback then screen rows, up to the last row that is not blank.
    std::vector<row_cells> transcript_cells() const;
    std::vector<std::string> transcript() const;

    // Every byte the program sent to the terminal.
    const std::string& raw() const { return raw_; }
    // Time from the start to when the output up to raw().size() arrived.
    clock::duration started_ago() const { return clock::now() - started_; }
    clock::time_point started_at() const { return started_; }
    clock::time_point last_output_at() const { return last_output_; }

    // The pseudo-terminal's modes before the program started, and now.
    const termios& modes_before() const { return modes_before_; }
    termios modes_now() const;

    // Every screen row and the tail of the raw bytes, for failure messages.
    std::string dump() const;

private:
    void spawn(const std::string& program, const spawn_options& options);
    // One round of waiting for output or the child's end; false when
    // neither can come any more or the deadline passed.
    bool pump_once(clock::time_point deadline);
    void feed(const char* data, std::size_t len);
    void reap(bool block);
    static int on_pushline(int cols, const VTermScreenCell* cells, void* user);

    int rows_;
    int cols_;
    int master_ = -1;
    int pidfd_ = -1;
    pid_t pid_ = -1;
    bool master_open_ = true;
    VTerm* vt_ = nullptr;
    VTermScreen* screen_ = nullptr;
    std::string raw_;
    std::vector<row_cells> scrollback_;
    std::optional<exit_info> exit_;
    termios modes_before_{};
    clock::time_point started_;
    clock::time_point last_output_;
};

// Text of a row of cells, trailing blanks dropped.
std::string text_of(const row_cells& cells);
// The modes in the form `stty -g` prints them.
std::string stty_form(const termios& t);
bool same_modes(const termios& a, const termios& b);
std::string describe(const exit_info& e);

} // namespace e2e
