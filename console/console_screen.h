// The console screen: cells with colours, a cursor, wrapping and scrolling.
// Everything written to std_output lands here through console_write.
#pragma once

#include <cstdint>

#include "console/screen_device.h"

struct text_stream;

// Colours given to every cell written, filled or scrolled in: bits 0-3
// foreground, 4-6 background, 7 bright background.
extern std::uint8_t text_attr;

// The window is the whole screen, 1-based and inclusive.
extern std::int32_t window_left;
extern std::int32_t window_top;
extern std::int32_t window_right;
extern std::int32_t window_bottom;

// The cursor as the module last placed it, 0-based.
extern std::int32_t cursor_col;
extern std::int32_t cursor_row;

// The working position of put_char, 1-based; console_write and the line
// editor set it from the cursor record before they write.
extern std::int32_t work_col;
extern std::int32_t work_row;

void set_text_background(std::uint8_t c);
void set_text_color(std::uint8_t c);
void clear_screen();
std::int32_t where_y();
void goto_xy(std::int32_t x, std::int32_t y);

// Takes the terminal (or ends the program with exit status 1 when there is
// none) and binds std_output to console_write.
void console_init();
// Gives the terminal back; the screen keeps its content.
void console_done();

// Draws on a given device instead of the terminal: for tests.
void console_attach(screen_device& device, std::int32_t cols, std::int32_t rows);

void console_write(text_stream& stream);
void set_cursor(std::int32_t column, std::int32_t row);
void put_char(std::uint8_t c);
void scroll_window_up();
