// Terminal platform layer: the only code that knows about escape sequences,
// termios and the terminal device. Above it there are cells, attributes and
// bytes of key input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/screen_device.h"

enum class terminal_status { ok, no_handle, no_info };

struct terminal_size {
    int cols;
    int rows;
};

// Picks the terminal to draw on (standard output, else the controlling
// terminal), reads its size, puts it into the program's modes and arranges
// for them to be restored on every way out.
terminal_status terminal_open(terminal_size& size);

// The opened terminal as a cell device; valid after terminal_open() == ok.
screen_device& terminal_screen();

// Sends everything collected so far, the visible cursor's place included.
// Called before the program waits for input.
void terminal_flush();

// Flushes, gives the terminal back its own colours and modes. Safe to call
// more than once and from a signal handler.
void terminal_release();

// Keyboard side. The input terminal is standard input when it is a terminal.
bool terminal_input_is_tty();

enum class read_status { byte, timeout, closed };

// Waits for one byte of key input; timeout_ms < 0 waits without end.
// Flushes pending output first, so the user sees everything before typing.
read_status terminal_read_byte(std::uint8_t& byte, int timeout_ms);

// The terminal went away under the program: release and end at once, as a
// hang-up ends a terminal program.
[[noreturn]] void terminal_hang_up();
