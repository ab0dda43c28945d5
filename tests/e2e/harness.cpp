#include "harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vterm.h>

extern char** environ;

namespace e2e {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void append_utf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int colour_index(const VTermColor& c, bool is_default)
{
    if (is_default) return default_colour;
    if (VTERM_COLOR_IS_INDEXED(&c)) return c.indexed.idx;
    return -2;  // a colour given as RGB: the programs never send one
}

cell to_cell(const VTermScreenCell& c)
{
    cell out;
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i] != 0; ++i) append_utf8(out.chars, c.chars[i]);
    if (out.chars.empty()) out.chars = " ";
    out.fg = colour_index(c.fg, VTERM_COLOR_IS_DEFAULT_FG(&c.fg));
    out.bg = colour_index(c.bg, VTERM_COLOR_IS_DEFAULT_BG(&c.bg));
    out.reverse = c.attrs.reverse != 0;
    return out;
}

int open_pidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

std::optional<process_stats> read_stats(pid_t pid)
{
    process_stats out;
    std::string dir = "/proc/" + std::to_string(pid) + "/";
    FILE* io = std::fopen((dir + "io").c_str(), "r");
    if (!io) return std::nullopt;
    char line[128];
    while (std::fgets(line, sizeof line, io)) std::sscanf(line, "syscw: %ld", &out.write_calls);
    std::fclose(io);
    FILE* sched = std::fopen((dir + "schedstat").c_str(), "r");
    if (!sched) return std::nullopt;
    long long ns = 0;
    if (std::fscanf(sched, "%lld", &ns) == 1) out.cpu = std::chrono::nanoseconds(ns);
    std::fclose(sched);
    return out;
}

// Control bytes and bytes above 126 as escapes, so a dump stays readable.
std::string escaped(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == 0x1b) {
            out += "\\e";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n\n";
        } else if (c < 32 || c > 126) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

pty_session::pty_session(const std::string& program, const spawn_options& options)
    : rows_(options.rows), cols_(options.cols)
{
    vt_ = vterm_new(rows_, cols_);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    static VTermScreenCallbacks callbacks{};
    callbacks.sb_pushline = &pty_session::on_pushline;
    vterm_screen_set_callbacks(screen_, &callbacks, this);
    vterm_screen_reset(screen_, 1);
    spawn(program, options);
}

pty_session::~pty_session()
{
    if (!exit_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        reap(true);
    }
    if (pidfd_ >= 0) close(pidfd_);
    if (master_ >= 0) close(master_);
    vterm_free(vt_);
}

void pty_session::spawn(const std::string& program, const spawn_options& options)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) fail("grantpt/unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) fail("ptsname_r");
    int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) fail("open slave");

    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(options.size_unknown ? 0 : rows_);
    ws.ws_col = static_cast<unsigned short>(options.size_unknown ? 0 : cols_);
    if (ioctl(slave, TIOCSWINSZ, &ws) != 0) fail("TIOCSWINSZ");
    termios modes{};
    if (tcgetattr(slave, &modes) != 0) fail("tcgetattr");
    modes.c_iflag |= IUTF8;  // as a terminal emulator sets it up
    if (tcsetattr(slave, TCSANOW, &modes) != 0) fail("tcsetattr");
    if (tcgetattr(slave, &modes_before_) != 0) fail("tcgetattr");

    int in_pipe[2] = {-1, -1};
    if (options.stdin_text) {
        if (pipe2(in_pipe, O_CLOEXEC) != 0) fail("pipe");
        // Answers are short: they fit the pipe without a reader.
        const std::string& text = *options.stdin_text;
        if (write(in_pipe[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) fail("write pipe");
        close(in_pipe[1]);
    }
    int out_file = -1;
    if (options.stdout_path) {
        out_file = open(options.stdout_path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out_file < 0) fail("open " + *options.stdout_path);
    }
    if (options.stdout_to_closed_pipe) {
        int out_pipe[2];
        if (pipe2(out_pipe, O_CLOEXEC) != 0) fail("pipe");
        close(out_pipe[0]);
        out_file = out_pipe[1];
    }

    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : options.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    started_ = clock::now();
    last_output_ = started_;
    pid_ = fork();
    if (pid_ < 0) fail("fork");
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        dup2(in_pipe[0] >= 0 ? in_pipe[0] : slave, 0);
        dup2(out_file >= 0 ? out_file : slave, 1);
        dup2(slave, 2);
        // Every other descriptor is close-on-exec.
        execve(program.c_str(), argv.data(), environ);
        _exit(127);
    }
    close(slave);
    if (in_pipe[0] >= 0) close(in_pipe[0]);
    if (out_file >= 0) close(out_file);
    pidfd_ = open_pidfd(pid_);
}

int pty_session::on_pushline(int cols, const VTermScreenCell* cells, void* user)
{
    auto* self = static_cast<pty_session*>(user);
    row_cells row;
    row.reserve(static_cast<std::size_t>(cols));
    for (int i = 0; i < cols; ++i) row.push_back(to_cell(cells[i]));
    self->scrollback_.push_back(std::move(row));
    return 1;
}

void pty_session::feed(const char* data, std::size_t len)
{
    raw_.append(data, len);
    last_output_ = clock::now();
    vterm_input_write(vt_, data, len);
    // The terminal's answers to queries go back as the user's side.
    char reply[256];
    for (;;) {
        std::size_t n = vterm_output_read(vt_, reply, sizeof reply);
        if (n == 0) break;
        if (write(master_, reply, n) < 0) break;
    }
}

void pty_session::reap(bool block)
{
    // Seen ended but not yet reaped: its figures are still readable.
    siginfo_t info{};
    int r;
    do {
        r = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT | (block ? 0 : WNOHANG));
    } while (r < 0 && errno == EINTR);
    if (r != 0 || info.si_pid != pid_) return;
    std::optional<process_stats> stats = read_stats(pid_);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exit_info e;
    if (stats) e.stats = *stats;
    e.signaled = WIFSIGNALED(status);
    e.code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    e.signal = e.signaled ? WTERMSIG(status) : 0;
    exit_ = e;
}

bool pty_session::pump_once(clock::time_point deadline)
{
    if (!master_open_ && exit_) return false;
    auto now = clock::now();
    if (now >= deadline) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;

    pollfd fds[2];
    nfds_t count = 0;
    int master_slot = -1;
    int pid_slot = -1;
    if (master_open_) {
        master_slot = static_cast<int>(count);
        fds[count++] = {master_, POLLIN, 0};
    }
    if (!exit_ && pidfd_ >= 0) {
        pid_slot = static_cast<int>(count);
        fds[count++] = {pidfd_, POLLIN, 0};
    }
    // Without a process descriptor the end is looked for between polls.
    int timeout = static_cast<int>(pidfd_ >= 0 || exit_ ? left : std::min<long long>(left, 10));
    int r = poll(fds, count, timeout);
    if (r < 0 && errno != EINTR) fail("poll");
    if (master_slot >= 0 && (fds[master_slot].revents & (POLLIN | POLLHUP | POLLERR))) {
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) {
            feed(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            master_open_ = false;  // EIO: no one holds the terminal any more
        }
    }
    if (!exit_ && (pid_slot < 0 || (fds[pid_slot].revents & POLLIN))) reap(false);
    return true;
}

pid_t pty_session::foreground_group() const { return master_open_ ? tcgetpgrp(master_) : -1; }

bool pty_session::wait_until(const std::function<bool()>& done, std::chrono::milliseconds deadline)
{
    auto end = clock::now() + deadline;
    while (!done()) {
        if (!pump_once(end)) return done();
    }
    return true;
}

bool pty_session::wait_for_text(std::string_view text, std::chrono::milliseconds deadline)
{
    return wait_until([&] { return screen_contains(text); }, deadline);
}

bool pty_session::wait_for_prompt(std::string_view text, position cursor_at, std::chrono::milliseconds deadline)
{
    return wait_until([&] { return screen_contains(text) && cursor() == cursor_at; }, deadline);
}

std::optional<exit_info> pty_session::wait_exit(std::chrono::milliseconds deadline)
{
    auto end = clock::now() + deadline;
    while (!(exit_ && !master_open_)) {
        if (!pump_once(end)) break;
    }
    return exit_;
}

std::optional<process_stats> pty_session::stats() const
{
    if (exit_) return std::nullopt;
    return read_stats(pid_);
}

void pty_session::type(std::string_view keys)
{
    const char* p = keys.data();
    std::size_t left = keys.size();
    while (left > 0) {
        ssize_t n = write(master_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("type");
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void pty_session::resize_reported(int cols, int rows)
{
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    if (ioctl(master_, TIOCSWINSZ, &ws) != 0) fail("TIOCSWINSZ");
}

void pty_session::close_terminal()
{
    if (master_ >= 0) close(master_);
    master_ = -1;
    master_open_ = false;
}

cell pty_session::cell_at(int col, int row) const
{
    VTermScreenCell c{};
    VTermPos pos{row - 1, col - 1};
    vterm_screen_get_cell(screen_, pos, &c);
    return to_cell(c);
}

row_cells pty_session::screen_row(int row) const
{
    row_cells out;
    for (int col = 1; col <= cols_; ++col) out.push_back(cell_at(col, row));
    return out;
}

std::string pty_session::row_text(int row) const { return text_of(screen_row(row)); }

bool pty_session::screen_contains(std::string_view text) const
{
    for (int row = 1; row <= rows_; ++row) {
        if (row_text(row).find(text) != std::string::npos) return true;
    }
    return false;
}

position pty_session::cursor() const
{
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return {pos.col + 1, pos.row + 1};
}

bool pty_session::pen_is_default() const
{
    const VTermState* state = vterm_obtain_state(vt_);
    VTermValue fg{}, bg{}, reverse{};
    vterm_state_get_penattr(state, VTERM_ATTR_FOREGROUND, &fg);
    vterm_state_get_penattr(state, VTERM_ATTR_BACKGROUND, &bg);
    vterm_state_get_penattr(state, VTERM_ATTR_REVERSE, &reverse);
    return VTERM_COLOR_IS_DEFAULT_FG(&fg.color) && VTERM_COLOR_IS_DEFAULT_BG(&bg.color) && !reverse.boolean;
}

std::vector<row_cells> pty_session::transcript_cells() const
{
    std::vector<row_cells> out = scrollback_;
    for (int row = 1; row <= rows_; ++row) out.push_back(screen_row(row));
    while (!out.empty() && text_of(out.back()).empty()) out.pop_back();
    return out;
}

std::vector<std::string> pty_session::transcript() const
{
    std::vector<std::string> out;
    for (const row_cells& row : transcript_cells()) out.push_back(text_of(row));
    return out;
}

termios pty_session::modes_now() const
{
    // On the master side these calls reach the slave's modes.
    termios t{};
    if (tcgetattr(master_, &t) != 0) fail("tcgetattr");
    return t;
}

std::string pty_session::dump() const
{
    std::string out = "--- screen " + std::to_string(cols_) + "x" + std::to_string(rows_) + ", " +
                      std::to_string(scrollback_.size()) + " rows scrolled off ---\n";
    for (int row = 1; row <= rows_; ++row) {
        char label[16];
        std::snprintf(label, sizeof label, "%3d|", row);
        out += label + row_text(row) + "\n";
    }
    position c = cursor();
    out += "cursor at column " + std::to_string(c.col) + ", row " + std::to_string(c.row) + "\n";
    if (exit_) out += "program ended: " + describe(*exit_) + "\n";
    constexpr std::size_t tail = 600;
    std::size_t from = raw_.size() > tail ? raw_.size() - tail : 0;
    out += "--- last " + std::to_string(raw_.size() - from) + " of " + std::to_string(raw_.size()) +
           " bytes sent ---\n" + escaped(std::string_view(raw_).substr(from)) + "\n";
    return out;
}

std::string text_of(const row_cells& cells)
{
    std::string out;
    for (const cell& c : cells) out += c.chars;
    std::size_t end = out.find_last_not_of(' ');
    out.erase(end == std::string::npos ? 0 : end + 1);
    return out;
}

std::string stty_form(const termios& t)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%x:%x:%x:%x", t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag);
    std::string out = buf;
    for (cc_t c : t.c_cc) {
        std::snprintf(buf, sizeof buf, ":%x", c);
        out += buf;
    }
    return out;
}

bool same_modes(const termios& a, const termios& b) { return stty_form(a) == stty_form(b); }

std::string describe(const exit_info& e)
{
    if (e.signaled) return std::string("killed by signal ") + std::to_string(e.signal) + " (" + strsignal(e.signal) + ")";
    return "exit status " + std::to_string(e.code);
}

} // namespace e2e
