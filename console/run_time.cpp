#include "console/run_time.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>

#include <ucontext.h>
#include <unistd.h>

#include "console/console_screen.h"
#include "console/keyboard.h"

text_stream std_input;
text_stream std_output;
text_stream report_output;
text_stream error_output;

std::uint16_t io_result = 0;
std::uint16_t exit_status = 0;
std::uint16_t error_code = 0;
std::optional<std::uint32_t> error_location;

std::uint32_t rand_seed = 0;
std::uint32_t last_seed = 0;
bool seeds_unset = true;
std::uint32_t seed2 = 0;
std::uint32_t seed3 = 0;

// Start of the program's image, placed by the linker.
extern "C" const char __executable_start;

namespace {

const void* main_body_return_address = nullptr;

/*** Streams ***/

bool ready_for_output(text_stream& s)
{
    if (io_result != 0) return false;
    if (s.mode == stream_mode::output) return true;
    io_result = s.mode == stream_mode::input ? 105 : 103;
    return false;
}

bool ready_for_input(text_stream& s)
{
    if (io_result != 0) return false;
    if (s.mode == stream_mode::input) return true;
    io_result = s.mode == stream_mode::output ? 104 : 103;
    return false;
}

void put_bytes(text_stream& s, const char* data, std::size_t len)
{
    while (len > 0) {
        std::size_t room = static_cast<std::size_t>(s.buffer_size - s.position);
        std::size_t n = len < room ? len : room;
        std::memcpy(s.buffer + s.position, data, n);
        s.position += static_cast<std::int32_t>(n);
        data += n;
        len -= n;
        if (len > 0) s.in_out(s);
    }
}

void put_blanks(text_stream& s, std::int32_t count)
{
    static constexpr char blanks[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (count > 0) {
        std::int32_t n = count < 16 ? count : 16;
        put_bytes(s, blanks, static_cast<std::size_t>(n));
        count -= n;
    }
}

void bind_plain(text_stream& s, int handle, stream_mode mode)
{
    reset_stream(s);
    s.handle = handle;
    s.mode = mode;
    if (mode == stream_mode::output) {
        s.in_out = file_write;
        s.flush = file_write;
    } else {
        s.in_out = file_read;
    }
}

// The next input byte; refills when the buffer is used up. False at the end
// of input.
bool have_byte(text_stream& s) { return s.position < s.end; }

void advance(text_stream& s)
{
    ++s.position;
    if (s.position >= s.end) s.in_out(s);
}

constexpr bool is_separator(std::uint8_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

int digit_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 99;
}

/*** Report and end ***/

void write_hex8(text_stream& s, std::uint32_t value)
{
    char text[8];
    for (int i = 7; i >= 0; --i) {
        text[i] = "0123456789ABCDEF"[value & 15u];
        value >>= 4;
    }
    write_str(0, s, std::string_view(text, 8));
}

void write_report()
{
    write_str(0, report_output, "Runtime error ");
    write_int(0, report_output, error_code);
    write_str(0, report_output, " at 0x");
    write_hex8(report_output, *error_location);
    write_line(report_output);
    write_str(0, report_output, "  0x");
    write_hex8(report_output, *error_location);
    write_line(report_output);
    write_str(0, report_output, "  0x");
    write_hex8(report_output, code_location(main_body_return_address));
    write_line(report_output);
    write_line(report_output);
}

/*** Faults ***/

// Run-time error numbers of the faults:
//   200 division by zero (integer or floating point)
//   205 floating-point overflow      206 floating-point underflow
//   207 invalid floating-point operation and other floating-point faults
//   215 integer overflow trap
//   216 bad memory access (segmentation fault, bus error)
//   217 illegal or privileged instruction
std::uint16_t fault_number(int sig, int code)
{
    switch (sig) {
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
        case FPE_FLTDIV: return 200;
        case FPE_FLTOVF: return 205;
        case FPE_FLTUND: return 206;
        case FPE_INTOVF: return 215;
        default: return 207;
        }
    case SIGSEGV:
    case SIGBUS: return 216;
    default: return 217;
    }
}

const void* fault_address(void* context)
{
    auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
    return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<const void*>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return nullptr;
#endif
}

void fault_handler(int sig, siginfo_t* info, void* context)
{
    run_error(fault_number(sig, info->si_code), code_location(fault_address(context)));
}

constexpr int fault_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
// A stack of its own, so that even a stack overflow gets its report.
alignas(16) char fault_stack[65536];

void install_fault_handler()
{
    stack_t st{};
    st.ss_sp = fault_stack;
    st.ss_size = sizeof fault_stack;
    sigaltstack(&st, nullptr);
    struct sigaction sa{};
    sa.sa_sigaction = fault_handler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : fault_signals) sigaction(sig, &sa, nullptr);
}

void remove_fault_handler()
{
    struct sigaction sa{};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : fault_signals) sigaction(sig, &sa, nullptr);
}

// A standard handle that leads to a pipe no one reads any more fails like
// any other write (101 at start-up, ignored for the report) instead of
// ending the program by a signal.
void ignore_broken_pipes()
{
    struct sigaction sa{};
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGPIPE, &sa, nullptr);
}

// 64-bit significand, round to nearest; invalid operation, division by zero
// and overflow raise faults. The generator's arithmetic is exact in it.
void set_numeric_mode()
{
#if defined(__x86_64__) || defined(__i386__)
    const unsigned short control_word = 0x1332;
    __asm__ volatile("fldcw %0" : : "m"(control_word));
#endif
}

/*** Generator ***/

bool seeds_need_init()
{
    if (!seeds_unset && rand_seed == last_seed) return false;
    seeds_unset = false;
    last_seed = rand_seed;
    return true;
}

void seed_init();

std::uint32_t seed_step(std::uint32_t l)
{
    if (seeds_need_init()) seed_init();
    rand_seed = ((rand_seed + 1) * 998u) % 1000003u;
    last_seed = rand_seed;
    return l == 0 ? 0 : rand_seed % l;
}

void seed_init()
{
    rand_seed = rand_seed % 1000003u;
    std::uint32_t a = seed_step(65000);
    std::uint32_t b = seed_step(65000);
    seed2 = (a * b) % 600011u;
    a = seed_step(65000);
    b = seed_step(65000);
    seed3 = (a * b) % 765241u;
}

} // namespace

/*** Public operations ***/

void reset_stream(text_stream& stream)
{
    int handle = stream.handle;
    stream = text_stream{};
    stream.handle = handle;
}

void file_write(text_stream& s)
{
    std::size_t len = static_cast<std::size_t>(s.position);
    ssize_t n;
    do {
        n = ::write(s.handle, s.buffer, len);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(len) && io_result == 0) io_result = 101;
    s.position = 0;
}

void file_read(text_stream& s)
{
    ssize_t n;
    do {
        n = ::read(s.handle, s.buffer, static_cast<std::size_t>(s.buffer_size));
    } while (n < 0 && errno == EINTR);
    s.end = n > 0 ? static_cast<std::int32_t>(n) : 0;
    s.position = 0;
}

std::uint32_t code_location(const void* address)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                      reinterpret_cast<std::uintptr_t>(&__executable_start));
}

void program_start(const void* main_body_return)
{
    main_body_return_address = main_body_return;
    install_fault_handler();
    ignore_broken_pipes();
    set_numeric_mode();
    bind_plain(std_input, STDIN_FILENO, stream_mode::input);
    bind_plain(std_output, STDOUT_FILENO, stream_mode::output);
    bind_plain(report_output, STDOUT_FILENO, stream_mode::output);
    bind_plain(error_output, STDERR_FILENO, stream_mode::output);
    io_result = 0;
    console_init();
    keyboard_init();
}

void program_end()
{
    keyboard_done();
    console_done();
    if (error_location) write_report();
    remove_fault_handler();
    _exit(exit_status);
}

void halt_program(std::uint8_t code)
{
    exit_status = code;
    program_end();
}

void run_error(std::uint16_t code, std::uint32_t location)
{
    error_code = code;
    exit_status = code;
    error_location = location;
    program_end();
}

void write_str(std::int32_t width, text_stream& stream, std::string_view text)
{
    if (!ready_for_output(stream)) return;
    std::int32_t len = static_cast<std::int32_t>(text.size());
    if (width > len) put_blanks(stream, width - len);
    put_bytes(stream, text.data(), text.size());
}

void write_char(std::int32_t width, text_stream& stream, char c)
{
    if (!ready_for_output(stream)) return;
    if (width > 1) put_blanks(stream, width - 1);
    if (stream.position >= stream.buffer_size - 1) stream.in_out(stream);
    stream.buffer[stream.position++] = static_cast<std::uint8_t>(c);
}

std::size_t format_int(std::int32_t value, char* out)
{
    if (value == INT32_MIN) {
        std::memcpy(out, "-2147483648", 11);
        return 11;
    }
    char digits[10];
    std::size_t n = 0;
    std::uint32_t magnitude = static_cast<std::uint32_t>(value < 0 ? -value : value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::size_t len = 0;
    if (value < 0) out[len++] = '-';
    while (n > 0) out[len++] = digits[--n];
    return len;
}

void write_int(std::int32_t width, text_stream& stream, std::int32_t value)
{
    char text[12];
    std::size_t len = format_int(value, text);
    write_str(width, stream, std::string_view(text, len));
}

void write_end(text_stream& stream)
{
    if (stream.flush) stream.flush(stream);
}

void write_line(text_stream& stream)
{
    if (!ready_for_output(stream)) return;
    put_bytes(stream, "\r\n", 2);
    if (stream.flush) stream.flush(stream);
}

bool parse_number(std::string_view text, std::int32_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == '%') {
        base = 2;
        ++i;
    }
    if (i == text.size()) return false;
    const std::uint32_t bound = base != 10 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint32_t magnitude = 0;
    for (; i < text.size(); ++i) {
        std::uint32_t digit = static_cast<std::uint32_t>(digit_value(text[i]));
        if (digit >= base) return false;
        if (magnitude > (bound - digit) / base) return false;
        magnitude = magnitude * base + digit;
    }
    std::uint32_t bits = negative ? 0u - magnitude : magnitude;
    value = static_cast<std::int32_t>(bits);
    return true;
}

std::int32_t read_int(text_stream& s)
{
    if (!ready_for_input(s)) return 0;
    if (s.position >= s.end) s.in_out(s);
    while (have_byte(s) && is_separator(s.buffer[s.position])) advance(s);
    char text[255];
    std::size_t len = 0;
    while (have_byte(s) && !is_separator(s.buffer[s.position]) && len < sizeof text) {
        text[len++] = static_cast<char>(s.buffer[s.position]);
        advance(s);
    }
    std::int32_t value = 0;
    if (!parse_number(std::string_view(text, len), value)) {
        io_result = 106;
        return 0;
    }
    return value;
}

void read_line_end(text_stream& s)
{
    if (!ready_for_input(s)) return;
    if (s.position >= s.end) {
        s.in_out(s);
        if (s.end == 0) return;
    }
    for (;;) {
        std::uint8_t c = s.buffer[s.position++];
        if (c == 10) return;
        if (s.position >= s.end) {
            s.in_out(s);
            if (s.end == 0) return;
        }
        if (c == 13) {
            if (s.buffer[s.position] == 10) ++s.position;
            return;
        }
    }
}

[[gnu::noinline]] void io_check()
{
    if (io_result == 0) return;
    std::uint16_t code = io_result;
    io_result = 0;
    // One byte back: inside the call of the failing statement, so that a
    // line lookup names that statement and not the next.
    const char* ret = static_cast<const char*>(__builtin_return_address(0));
    run_error(code, code_location(ret - 1));
}

long double random_fraction()
{
    if (seeds_need_init()) seed_init();
    rand_seed = ((rand_seed + 1) * 706u) % 500009u;
    last_seed = rand_seed;
    seed2 = ((seed2 + 1) * 774u) % 600011u;
    seed3 = ((seed3 + 1) * 871u) % 765241u;
    long double x = static_cast<long double>(rand_seed) / 500009.0L + static_cast<long double>(seed2) / 600011.0L;
    x = x + static_cast<long double>(seed3) / 765241.0L;
    return x - static_cast<long double>(static_cast<int>(x));
}

std::int32_t random_below(std::int32_t l)
{
    long double p = random_fraction() * static_cast<long double>(l);
    return static_cast<std::int32_t>(p);
}
