#include "console/keyboard.h"

#include "console/run_time.h"
#include "console/terminal.h"

namespace {

// Plain lines of standard input; the screen is brought up to date before
// the program blocks on them.
void plain_read(text_stream& stream)
{
    terminal_flush();
    file_read(stream);
}

} // namespace

void keyboard_init()
{
    reset_stream(std_input);
    std_input.in_out = plain_read;
    std_input.mode = stream_mode::input;
    io_check();
}

void keyboard_done() {}

void console_read_line(text_stream& stream) { plain_read(stream); }
