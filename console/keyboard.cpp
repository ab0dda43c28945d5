#include "console/keyboard.h"

#include <algorithm>

#include <unistd.h>

#include "console/console_screen.h"
#include "console/run_time.h"
#include "console/terminal.h"

std::uint8_t pending_key = 0;
bool pending_extended = false;
bool alt_code_active = false;
std::uint8_t alt_code_value = 0;

namespace {

int console_in = -1;

/*** The terminal as key source ***/

// How long a lone Esc waits for the rest of a sequence: long enough for a
// sequence to arrive whole, short enough that Esc feels immediate.
constexpr int esc_wait_ms = 50;

key_decoder decoder;

bool terminal_event_waiting() { return decoder.has_event(); }

key_event terminal_take_event()
{
    key_event event;
    decoder.take(event);
    return event;
}

// Blocks in the terminal's read: waiting costs nothing.
void terminal_wait_for_event()
{
    while (!decoder.has_event()) {
        std::uint8_t byte = 0;
        switch (terminal_read_byte(byte, decoder.in_sequence() ? esc_wait_ms : -1)) {
        case read_status::byte:
            decoder.feed(byte);
            break;
        case read_status::timeout:
            decoder.time_out();
            break;
        case read_status::closed:
            terminal_hang_up();
        }
    }
}

constexpr key_source terminal_keys{terminal_event_waiting, terminal_take_event, terminal_wait_for_event};

key_source keys = terminal_keys;

/*** Extended codes ***/

struct extended_code {
    std::uint8_t scan;
    std::uint8_t plain;
    std::uint8_t shift;
    std::uint8_t ctrl;
    std::uint8_t alt;
};

// The PC's codes of the keys that a modifier changes; every other key
// gives its scan code.
constexpr extended_code extended_codes[] = {
    {59, 59, 84, 94, 104},   {60, 60, 85, 95, 105},   {61, 61, 86, 96, 106},   {62, 62, 87, 97, 107},
    {63, 63, 88, 98, 108},   {64, 64, 89, 99, 109},   {65, 65, 90, 100, 110},  {66, 66, 91, 101, 111},
    {67, 67, 92, 102, 112},  {68, 68, 93, 103, 113},  {87, 133, 135, 137, 139}, {88, 134, 136, 138, 140},
    {71, 71, 71, 119, 151},  {72, 72, 72, 141, 152},  {73, 73, 73, 132, 153},  {75, 75, 75, 115, 155},
    {76, 76, 76, 143, 76},   {77, 77, 77, 116, 157},  {79, 79, 79, 117, 159},  {80, 80, 80, 145, 160},
    {81, 81, 81, 118, 161},  {82, 82, 82, 146, 162},  {83, 83, 83, 147, 163},  {15, 15, 15, 148, 165},
};

enum class modifier { none, shift, ctrl, alt };

modifier modifier_of(std::uint32_t state)
{
    if (state & (RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED)) return modifier::alt;
    if (state & (RIGHT_CTRL_PRESSED | LEFT_CTRL_PRESSED)) return modifier::ctrl;
    if (state & SHIFT_PRESSED) return modifier::shift;
    return modifier::none;
}

constexpr bool is_keypad_digit(std::uint16_t vk) { return vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9; }

constexpr bool is_modifier_key(std::uint16_t vk)
{
    return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || vk == VK_CAPITAL || vk == VK_NUMLOCK ||
           vk == VK_SCROLL;
}

bool alt_held(std::uint32_t state) { return (state & (RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED)) != 0; }

// Releasing Alt after keypad digits delivers the code they formed.
bool ends_alt_code(const key_event& e)
{
    return e.virtual_key == VK_MENU && alt_code_active && alt_code_value != 0;
}

void take_pending(const key_event& e)
{
    if (e.ascii_char != 0 && !(e.control_state & (LEFT_ALT_PRESSED | ENHANCED_KEY))) {
        pending_key = e.ascii_char;
        pending_extended = false;
    } else if (e.ascii_char == 13 && e.virtual_key == VK_RETURN) {
        pending_key = 13;  // the keypad's Enter too
        pending_extended = false;
    } else {
        pending_key = translate_key(e.scan_code, e.control_state, e.virtual_key);
        pending_extended = true;
    }
}

/*** The line editor ***/

// Two bytes of the buffer stay for the line end.
constexpr std::int32_t max_line = stream_buffer_size - 2;

struct line_edit {
    std::uint8_t* line;
    std::int32_t pos;
    std::int32_t end;
};

void erase_last(line_edit& e)
{
    if (e.pos != e.end || e.pos == 0) return;
    put_char(8);
    put_char(32);
    put_char(8);
    --e.pos;
    --e.end;
}


void move_left(line_edit& e)
{
    if (e.pos == 0) return;
    --e.pos;
    put_char(8);
}

void move_right(line_edit& e)
{
    if (e.pos >= e.end) return;
    put_char(e.line[e.pos]);
    ++e.pos;
}

void move_home(line_edit& e)
{
    while (e.pos > 0) move_left(e);
}

void move_end(line_edit& e)
{
    while (e.pos < e.end) move_right(e);
}

// The echo walks to the line's end first: erasing from where it stands
// would wipe the prompt in front of the answer.
void erase_line(line_edit& e)
{
    move_end(e);
    while (e.end > 0) erase_last(e);
}

void type_char(line_edit& e, std::uint8_t c)
{
    if (e.pos >= max_line) return;  // neither stored nor echoed
    e.line[e.pos] = c;
    ++e.pos;
    put_char(c);
}

void act_on_extended(line_edit& e, std::uint8_t code)
{
    switch (code) {
    case 71: move_home(e); break;
    case 75: move_left(e); break;
    case 77: move_right(e); break;
    case 79: move_end(e); break;
    default: break;
    }
}

/*** Plain lines ***/

// Standard input is no terminal: lines as they come, no echo, no editing.
// The screen is brought up to date before the program blocks on them.
void plain_read(text_stream& stream)
{
    terminal_flush();
    file_read(stream);
}

} // namespace

void use_key_source(const key_source& source) { keys = source; }

std::uint8_t translate_key(std::uint16_t scan, std::uint32_t state, std::uint16_t vk)
{
    modifier m = modifier_of(state);
    if (m == modifier::alt && is_keypad_digit(vk)) {
        alt_code_active = true;
        alt_code_value = static_cast<std::uint8_t>(alt_code_value * 10 + (vk - VK_NUMPAD0));
    }
    auto low = static_cast<std::uint8_t>(scan & 0xFF);
    for (const extended_code& x : extended_codes) {
        if (x.scan != low) continue;
        switch (m) {
        case modifier::none: return x.plain;
        case modifier::shift: return x.shift;
        case modifier::ctrl: return x.ctrl;
        case modifier::alt: return x.alt;
        }
    }
    return low;
}

bool key_available()
{
    if (pending_key != 0) return true;
    while (keys.event_waiting()) {
        key_event e = keys.take_event();
        if (e.event_type != KEY_EVENT) continue;
        if (!e.key_down) {
            if (!ends_alt_code(e)) continue;
            pending_key = alt_code_value;
            pending_extended = false;
            alt_code_active = false;
            alt_code_value = 0;
            return true;
        }
        if (is_modifier_key(e.virtual_key)) continue;
        take_pending(e);
        if (is_keypad_digit(e.virtual_key) && alt_held(e.control_state)) {
            pending_key = 0;
            pending_extended = false;
            continue;
        }
        return true;
    }
    return false;
}

std::uint8_t read_key()
{
    while (!key_available()) keys.wait_for_event();
    if (pending_extended) {
        pending_extended = false;
        return 0;
    }
    std::uint8_t c = pending_key;
    pending_key = 0;
    return c;
}

void console_read_line(text_stream& stream)
{
    work_col = cursor_col + 1;
    work_row = cursor_row + 1;
    line_edit e{stream.buffer, 0, 0};
    for (;;) {
        e.end = std::max(e.end, e.pos);
        set_cursor(work_col, work_row);
        std::uint8_t c = read_key();
        switch (c) {
        case 0: act_on_extended(e, read_key()); break;
        case 8:
        case 19: erase_last(e); break;
        case 25:
        case 27: erase_line(e); break;
        case 26: break;
        case 13:
            put_char(13);
            put_char(10);
            e.line[e.end] = 13;
            e.line[e.end + 1] = 10;
            stream.end = e.end + 2;
            stream.position = 0;
            set_cursor(work_col, work_row);
            return;
        default: type_char(e, c); break;
        }
    }
}

void keyboard_init()
{
    console_in = STDIN_FILENO;
    alt_code_active = false;
    alt_code_value = 0;
    reset_stream(std_input);
    std_input.in_out = terminal_input_is_tty() ? console_read_line : plain_read;
    std_input.mode = stream_mode::input;
    io_check();
    std_input.handle = console_in;
}

void keyboard_done() {}
