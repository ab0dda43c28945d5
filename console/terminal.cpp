#include "console/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "console/code_page.h"

namespace {

/*** State ***/

constexpr std::size_t out_capacity = 16384;
// Room for the longest piece one cell can need: a cursor move, a colour
// change and a glyph.
constexpr std::size_t largest_piece = 64;

char out_buf[out_capacity];
std::size_t out_len = 0;

int out_fd = -1;
int in_fd = -1;           // standard input when it is a terminal, else -1
bool in_shares_out = false;
termios saved_out{};
termios saved_in{};
bool have_saved_out = false;
bool have_saved_in = false;
volatile sig_atomic_t opened = 0;
volatile sig_atomic_t released = 0;

int screen_cols = 80;
int screen_rows = 25;

// Where the terminal's own cursor is, -1 where we can't be sure.
int term_col = -1;
int term_row = -1;
int term_attr = -1;        // colours last sent, -1 unknown
int wanted_col = 0;        // where the visible cursor is to end up
int wanted_row = 0;

std::uint8_t in_buf[256];
std::size_t in_pos = 0;
std::size_t in_len = 0;

/*** Low-level output ***/

void write_all(const char* data, std::size_t len)
{
    while (len > 0) {
        ssize_t n = ::write(out_fd, data, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // the terminal is gone; nothing more can be shown
        }
        data += n;
        len -= static_cast<std::size_t>(n);
    }
}

void send_buffer()
{
    if (out_len > 0 && out_fd >= 0) write_all(out_buf, out_len);
    out_len = 0;
}

void reserve(std::size_t n)
{
    if (out_len + n > out_capacity) send_buffer();
}

void append(const char* s, std::size_t n)
{
    std::memcpy(out_buf + out_len, s, n);
    out_len += n;
}

void append_str(const char* s) { append(s, std::strlen(s)); }

// Decimal without allocation; returns the number of characters.
std::size_t format_uint(char* dst, unsigned value)
{
    char tmp[12];
    std::size_t n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < n; ++i) dst[i] = tmp[n - 1 - i];
    return n;
}

struct seq {
    char text[32];
    std::size_t len = 0;
    void add(const char* s) { while (*s) text[len++] = *s++; }
    void add_char(char c) { text[len++] = c; }
    void add_num(unsigned v) { len += format_uint(text + len, v); }
};

/*** Cursor movement ***/

// Horizontal part of a move within a row; from < 0 means unknown column.
void add_horizontal(seq& s, int from, int to)
{
    if (from == to) return;
    seq rel;  // relative from where we are
    seq cr;   // from column 1
    if (to == 0) {
        s.add_char('\r');
        return;
    }
    cr.add_char('\r');
    cr.add("\x1b[");
    if (to > 1) cr.add_num(static_cast<unsigned>(to));
    cr.add_char('C');
    if (from >= 0) {
        int d = to - from;
        rel.add("\x1b[");
        unsigned mag = static_cast<unsigned>(d > 0 ? d : -d);
        if (mag > 1) rel.add_num(mag);
        rel.add_char(d > 0 ? 'C' : 'D');
    }
    const seq& best = (from >= 0 && rel.len <= cr.len) ? rel : cr;
    for (std::size_t i = 0; i < best.len; ++i) s.add_char(best.text[i]);
}

// Moves the terminal's cursor with the shortest sequence we know of.
void move_to(int col, int row)
{
    if (col == term_col && row == term_row) return;
    seq best;
    best.add("\x1b[");
    best.add_num(static_cast<unsigned>(row + 1));
    if (col > 0) {
        best.add_char(';');
        best.add_num(static_cast<unsigned>(col + 1));
    }
    best.add_char('H');
    if (term_row >= 0 && row >= term_row && row - term_row <= 4) {
        seq down;
        for (int r = term_row; r < row; ++r) down.add_char('\n');  // no scroll: row is on screen
        add_horizontal(down, term_col, col);
        if (down.len < best.len) best = down;
    }
    reserve(best.len);
    append(best.text, best.len);
    term_col = col;
    term_row = row;
}

/*** Colours ***/

// The PC palette has blue in bit 0 and red in bit 2, the terminal the other
// way round.
constexpr unsigned ansi_of_pc[8] = {0, 4, 2, 6, 1, 5, 3, 7};

void set_colours(std::uint8_t attr)
{
    if (term_attr == attr) return;
    unsigned fg = attr & 15u;
    unsigned bg = (attr >> 4) & 7u;
    unsigned fg_code = ansi_of_pc[fg & 7u] + ((fg & 8u) ? 90u : 30u);
    unsigned bg_code = ansi_of_pc[bg] + ((attr & 128u) ? 100u : 40u);
    bool fg_changed = term_attr < 0 || ((term_attr ^ attr) & 15) != 0;
    bool bg_changed = term_attr < 0 || ((term_attr ^ attr) & 0xF0) != 0;
    seq s;
    s.add("\x1b[");
    if (fg_changed) s.add_num(fg_code);
    if (fg_changed && bg_changed) s.add_char(';');
    if (bg_changed) s.add_num(bg_code);
    s.add_char('m');
    reserve(s.len);
    append(s.text, s.len);
    term_attr = attr;
}

/*** The cell device ***/

struct terminal_device final : screen_device {
    void put_cell(int col, int row, std::uint8_t ch, std::uint8_t attr) override
    {
        reserve(largest_piece);
        move_to(col, row);
        set_colours(attr);
        const utf8_glyph& g = cp437_glyph(ch);
        append(g.bytes, g.length);
        // In the last column the cursor stays put with auto-wrap off, on
        // every terminal we know; not worth betting on, though.
        term_col = (col + 1 < screen_cols) ? col + 1 : -1;
    }

    void scroll_up(std::uint8_t fill_attr) override
    {
        reserve(largest_piece);
        // Terminals fill a scrolled-in row with the colours in force.
        set_colours(fill_attr);
        if (term_row != screen_rows - 1) move_to(term_col >= 0 ? term_col : 0, screen_rows - 1);
        append("\n", 1);
    }

    void clear(std::uint8_t attr) override
    {
        reserve(largest_piece);
        set_colours(attr);
        append_str("\x1b[H\x1b[2J");
        term_col = 0;
        term_row = 0;
    }

    void place_cursor(int col, int row) override
    {
        wanted_col = col;
        wanted_row = row;
    }
};

terminal_device device;

/*** Modes and the ways out ***/

// Sent last on every way out: the terminal's own colours and auto-wrap.
constexpr char restore_sequence[] = "\x1b[0m\x1b[?7h";

void restore_modes()
{
    if (have_saved_out) tcsetattr(out_fd, TCSANOW, &saved_out);
    if (have_saved_in && !in_shares_out) tcsetattr(in_fd, TCSANOW, &saved_in);
}

// Lets the signal a handler caught do what it does by default (end or stop
// the process); returns only if the process goes on, with the signal
// blocked again and handled by `handler` once more.
void take_default_action(int sig, void (*handler)(int))
{
    struct sigaction sa{};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, sig);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
    raise(sig);
    sigprocmask(SIG_BLOCK, &just_this, nullptr);
    sa.sa_handler = handler;
    sigaction(sig, &sa, nullptr);
}

void on_terminating_signal(int sig)
{
    int saved_errno = errno;
    terminal_release();
    take_default_action(sig, SIG_DFL);
    errno = saved_errno;
}

// A signal the program was started with ignored (SIGHUP under nohup,
// SIGINT for a background job of a script) stays ignored.
void catch_terminating_signals()
{
    struct sigaction sa{};
    sa.sa_handler = on_terminating_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction old{};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &sa, nullptr);
    }
}

bool read_size(int fd, terminal_size& size)
{
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0) return false;
    size.cols = ws.ws_col;
    size.rows = ws.ws_row;
    return true;
}

bool same_terminal(int a, int b)
{
    struct stat sa{}, sb{};
    if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return false;
    return sa.st_rdev == sb.st_rdev;
}

termios program_out{};
termios program_in{};

// Works out the program's modes from the terminal's own, which it keeps
// for every way out.
void save_modes()
{
    if (tcgetattr(out_fd, &saved_out) == 0) have_saved_out = true;
    if (in_fd >= 0 && !in_shares_out && tcgetattr(in_fd, &saved_in) == 0) have_saved_in = true;

    // Output: bytes go out as we send them, so the layer knows where the
    // cursor is after a line feed.
    program_out = saved_out;
    program_out.c_oflag &= ~static_cast<tcflag_t>(OPOST);

    // Input: key by key, no echo (the line editor echoes), Enter as 13,
    // Ctrl+S, Ctrl+Z, Ctrl+V and Ctrl+O as characters; Ctrl+C interrupts.
    auto make_raw = [](termios& t) {
        t.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP | INPCK | BRKINT);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
        t.c_lflag |= ISIG;
        t.c_cc[VSUSP] = _POSIX_VDISABLE;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    };
    if (in_fd >= 0 && in_shares_out) make_raw(program_out);
    program_in = saved_in;
    make_raw(program_in);
}

void enter_program_modes()
{
    if (have_saved_out) tcsetattr(out_fd, TCSANOW, &program_out);
    if (have_saved_in) tcsetattr(in_fd, TCSANOW, &program_in);
    // Our own record decides where lines break, so the terminal must not
    // wrap on its own.
    append_str("\x1b[?7l");
}

// Stopped from outside (Ctrl+Z is a plain key here, but kill can still
// send SIGTSTP): the terminal is the user's while the program sleeps, and
// ours again, cursor and colours unknown, when it goes on.
void on_stop_signal(int sig)
{
    int saved_errno = errno;
    bool holding = opened && !released;
    if (holding) {
        reserve(largest_piece);
        move_to(wanted_col, wanted_row);
        append(restore_sequence, sizeof restore_sequence - 1);
        send_buffer();
        restore_modes();
    }
    take_default_action(sig, on_stop_signal);  // stopped here until continued
    if (holding && !released) {
        enter_program_modes();
        term_col = -1;
        term_row = -1;
        term_attr = -1;
    }
    errno = saved_errno;
}

void catch_stop_signal()
{
    struct sigaction old{};
    if (sigaction(SIGTSTP, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction sa{};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTSTP, &sa, nullptr);
}

} // namespace

terminal_status terminal_open(terminal_size& size)
{
    terminal_size found{0, 0};
    out_fd = STDOUT_FILENO;
    if (!isatty(out_fd) || !read_size(out_fd, found)) {
        // Standard output leads elsewhere: draw on the controlling terminal.
        out_fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (out_fd < 0) return terminal_status::no_handle;
        if (!isatty(out_fd) || !read_size(out_fd, found)) {
            close(out_fd);
            out_fd = -1;
            return terminal_status::no_info;
        }
    }
    if (found.cols <= 0 || found.rows <= 0) found = {80, 25};
    screen_cols = found.cols;
    screen_rows = found.rows;
    size = found;

    if (isatty(STDIN_FILENO)) {
        in_fd = STDIN_FILENO;
        in_shares_out = same_terminal(in_fd, out_fd);
    }
    // Open before the modes change: a signal in between must still put the
    // terminal back.
    opened = 1;
    save_modes();
    catch_terminating_signals();
    catch_stop_signal();
    enter_program_modes();
    return terminal_status::ok;
}

screen_device& terminal_screen() { return device; }

void terminal_flush()
{
    if (!opened || released) return;
    reserve(largest_piece);
    move_to(wanted_col, wanted_row);
    send_buffer();
}

void terminal_release()
{
    if (!opened || released) return;
    released = 1;
    reserve(largest_piece);
    move_to(wanted_col, wanted_row);
    append(restore_sequence, sizeof restore_sequence - 1);
    send_buffer();
    restore_modes();
}

bool terminal_input_is_tty() { return in_fd >= 0; }

read_status terminal_read_byte(std::uint8_t& byte, int timeout_ms)
{
    if (in_pos < in_len) {
        byte = in_buf[in_pos++];
        return read_status::byte;
    }
    terminal_flush();
    for (;;) {
        pollfd p{in_fd, POLLIN, 0};
        int r = poll(&p, 1, timeout_ms);
        if (r < 0) {
            if (errno == EINTR) continue;
            return read_status::closed;
        }
        if (r == 0) return read_status::timeout;
        ssize_t n = ::read(in_fd, in_buf, sizeof in_buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return read_status::closed;
        in_len = static_cast<std::size_t>(n);
        in_pos = 1;
        byte = in_buf[0];
        return read_status::byte;
    }
}

void terminal_hang_up()
{
    terminal_release();
    // Started with hang-ups ignored: no signal, but the status a shell
    // gives a hang-up.
    struct sigaction old{};
    if (sigaction(SIGHUP, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
        signal(SIGHUP, SIG_DFL);
        raise(SIGHUP);
    }
    _exit(129);
}
