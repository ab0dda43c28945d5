// Run-time services: text streams and the write and read statements, the
// number syntax, the test after every statement, run-time errors and their
// report, start-up and end, and the pseudo-random generator.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class stream_mode : std::uint8_t { closed, input, output };

constexpr std::int32_t stream_buffer_size = 256;

struct text_stream;
using stream_function = void (*)(text_stream&);

struct text_stream {
    int handle = -1;
    stream_mode mode = stream_mode::closed;
    std::int32_t buffer_size = stream_buffer_size;
    std::int32_t position = 0;  // output: bytes waiting; input: next byte
    std::int32_t end = 0;       // input: valid bytes
    std::uint8_t buffer[stream_buffer_size]{};
    stream_function in_out = nullptr;
    stream_function flush = nullptr;
    stream_function close = nullptr;
};

extern text_stream std_input;
extern text_stream std_output;
extern text_stream report_output;
extern text_stream error_output;

extern std::uint16_t io_result;
extern std::uint16_t exit_status;
extern std::uint16_t error_code;
// Offset of the failing place from the program's load address.
extern std::optional<std::uint32_t> error_location;

extern std::uint32_t rand_seed;
extern std::uint32_t last_seed;
extern bool seeds_unset;
extern std::uint32_t seed2;
extern std::uint32_t seed3;

// A stream back to its closed, empty state (handle kept).
void reset_stream(text_stream& stream);

// Start-up: the fault handler, the numeric mode, the standard streams, the
// console screen and the keyboard. main_body_return is where the program's
// main body returns to, the one line of the error report's back-trace.
void program_start(const void* main_body_return);
[[noreturn]] void program_end();
[[noreturn]] void halt_program(std::uint8_t code);
[[noreturn]] void run_error(std::uint16_t code, std::uint32_t location);

void write_str(std::int32_t width, text_stream& stream, std::string_view text);
void write_char(std::int32_t width, text_stream& stream, char c);
void write_int(std::int32_t width, text_stream& stream, std::int32_t value);
void write_end(text_stream& stream);
void write_line(text_stream& stream);
std::int32_t read_int(text_stream& stream);
void read_line_end(text_stream& stream);

// Tests io_result after a statement; the statement's place is where this
// call returns to.
void io_check();

// The number syntax of the answers: optional blanks and tabs, optional
// sign, optional "$" (base 16) or "%" (base 2), one or more digits.
bool parse_number(std::string_view text, std::int32_t& value);

// Decimal text of a value into out (at least 11 bytes); returns its length.
std::size_t format_int(std::int32_t value, char* out);

long double random_fraction();
std::int32_t random_below(std::int32_t l);

// Offset of a code address from the program's load address.
std::uint32_t code_location(const void* address);

// Plain file functions of the standard streams.
void file_write(text_stream& stream);
void file_read(text_stream& stream);
