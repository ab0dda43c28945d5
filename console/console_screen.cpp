#include "console/console_screen.h"

#include "console/run_time.h"
#include "console/terminal.h"

std::uint8_t text_attr = 7;
std::int32_t window_left = 1;
std::int32_t window_top = 1;
std::int32_t window_right = 80;
std::int32_t window_bottom = 25;
std::int32_t cursor_col = 0;
std::int32_t cursor_row = 0;
std::int32_t work_col = 1;
std::int32_t work_row = 1;

namespace {

screen_device* console_out = nullptr;

void bind_std_output()
{
    reset_stream(std_output);
    std_output.in_out = console_write;
    std_output.flush = console_write;
    std_output.mode = stream_mode::output;
    io_check();
}

} // namespace

void set_text_background(std::uint8_t c)
{
    text_attr = static_cast<std::uint8_t>((text_attr & 0x8F) | ((c * 16) & 0x70));
}

void set_text_color(std::uint8_t c)
{
    text_attr = static_cast<std::uint8_t>((c & 0x8F) | (text_attr & 0x70));
}

void clear_screen()
{
    console_out->clear(text_attr);
    goto_xy(1, 1);
}

std::int32_t where_y() { return (cursor_row + 1) - window_top + 1; }

void goto_xy(std::int32_t x, std::int32_t y)
{
    if (x < 1 || x > window_right - window_left + 1 || y < 1 || y > window_bottom - window_top + 1)
        return;
    set_cursor(window_left + x - 1, window_top + y - 1);
}

void console_attach(screen_device& device, std::int32_t cols, std::int32_t rows)
{
    console_out = &device;
    window_left = 1;
    window_top = 1;
    window_right = cols;
    window_bottom = rows;
    cursor_col = 0;
    cursor_row = 0;
    bind_std_output();
}

void console_init()
{
    terminal_size size{};
    switch (terminal_open(size)) {
    case terminal_status::ok:
        break;
    case terminal_status::no_handle:
        write_str(0, error_output, "No way to get the console handle");
        write_line(error_output);
        io_check();
        halt_program(1);
    case terminal_status::no_info:
        write_str(0, error_output, "No way to get console screen buffer info");
        write_line(error_output);
        io_check();
        halt_program(1);
    }
    // The terminal's cursor and colours can't be read without a query that
    // would eat type-ahead; the programs clear and set colours first anyway.
    text_attr = 7;
    console_attach(terminal_screen(), size.cols, size.rows);
}

void console_done() { terminal_release(); }

void set_cursor(std::int32_t column, std::int32_t row)
{
    console_out->place_cursor(column - 1, row - 1);
    cursor_col = column - 1;
    cursor_row = row - 1;
}

void scroll_window_up() { console_out->scroll_up(text_attr); }

void put_char(std::uint8_t c)
{
    switch (c) {
    case 7:
        break;
    case 8:
        if (work_col > window_left) --work_col;
        break;
    case 10:
        ++work_row;
        break;
    case 13:
        work_col = window_left;
        break;
    default:
        console_out->put_cell(work_col - 1, work_row - 1, c, text_attr);
        ++work_col;
        break;
    }
    if (work_col > window_right) {
        work_col = window_left;
        ++work_row;
    }
    while (work_row > window_bottom) {
        scroll_window_up();
        --work_row;
    }
}

void console_write(text_stream& stream)
{
    work_col = cursor_col + 1;
    work_row = cursor_row + 1;
    for (std::int32_t i = 0; i < stream.position; ++i) put_char(stream.buffer[static_cast<std::size_t>(i)]);
    set_cursor(work_col, work_row);
    stream.position = 0;
}
