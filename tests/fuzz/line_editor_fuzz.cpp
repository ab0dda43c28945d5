// Arbitrary keys through the line editor on an in-memory screen of any size
// and any starting place of the cursor. Whatever comes, each line ends in
// 13 10 with the buffer's end at its length + 2 (at most 254 characters),
// the cursor stands in column 1 and the echo never leaves the screen. With
// plain keys the line must also be what a small model of the editing rules
// makes of them, and an echo that stays on its row shows the line.
//
// Input: columns, rows, cursor column, cursor row, kind of keys, then the
// keys: for plain keys a byte is that character, or 0 and a byte naming a
// key without one; otherwise six bytes make any key event at all.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "console/console_screen.h"
#include "console/keyboard.h"
#include "console/run_time.h"
#include "tests/support/memory_screen.h"

namespace {

constexpr int max_line = 254;

void check(bool condition)
{
    if (!condition) std::abort();
}

/*** The key source ***/

std::vector<key_event> script;
std::size_t next_event = 0;

bool script_waiting() { return next_event < script.size(); }
key_event script_take() { return script[next_event++]; }
// Keys ran out: Enter, as a user would end the line.
void script_wait() { script.push_back(char_key(13)); }

/*** The model of the editing rules, for plain keys ***/

enum class move { none, home, left, right, end };

struct typed {
    int code;  // character code, or -1 for a key without one
    move how;
};

struct model_line {
    std::uint8_t line[max_line];
    int pos = 0;
    int end = 0;
    int furthest = 0;          // highest position the echo reached
    bool echo_leaves_row = false;  // a character that moves the echo off its row
};

void erase_last(model_line& m)
{
    if (m.pos != m.end || m.pos == 0) return;
    --m.pos;
    --m.end;
}

// False once the key was Enter.
bool model_key(model_line& m, const typed& k)
{
    m.end = std::max(m.end, m.pos);
    switch (k.code) {
    case -1:
        if (k.how == move::home) m.pos = 0;
        if (k.how == move::left && m.pos > 0) --m.pos;
        if (k.how == move::right && m.pos < m.end) ++m.pos;
        if (k.how == move::end) m.pos = m.end;
        break;
    case 8:
    case 19: erase_last(m); break;
    case 25:
    case 27:
        m.pos = m.end;
        while (m.end > 0) erase_last(m);
        break;
    case 26: break;
    case 13: return false;
    default:
        if (m.pos < max_line) {
            m.line[m.pos++] = static_cast<std::uint8_t>(k.code);
            if (k.code == 7 || k.code == 10) m.echo_leaves_row = true;
        }
        break;
    }
    m.furthest = std::max(m.furthest, m.pos);
    return true;
}

constexpr move move_of(named_key k)
{
    switch (k) {
    case named_key::home: return move::home;
    case named_key::left: return move::left;
    case named_key::right: return move::right;
    case named_key::end: return move::end;
    default: return move::none;
    }
}

// Plain keys: the events and what each of them is.
void plain_keys(const std::uint8_t* data, std::size_t size, std::vector<typed>& keys)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            script.push_back(char_key(data[i]));
            keys.push_back({data[i] == 127 ? 8 : data[i], move::none});
        } else if (++i < size) {
            auto k = static_cast<named_key>(data[i] % (static_cast<int>(named_key::f12) + 1));
            script.push_back(special_key(k));
            keys.push_back({-1, move_of(k)});
        }
    }
}

void any_keys(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 6 <= size; i += 6) {
        const std::uint8_t* b = data + i;
        key_event e;
        e.event_type = (b[0] & 7) == 0 ? 2 : KEY_EVENT;
        e.key_down = (b[0] & 8) == 0;
        e.virtual_key = b[1];
        e.scan_code = b[2];
        e.ascii_char = b[3];
        e.control_state = static_cast<std::uint32_t>(b[4] | ((b[5] & 1) << 8));
        script.push_back(e);
    }
}

/*** Checks of one finished line ***/

void check_line_end(const memory_screen& screen)
{
    check(std_input.position == 0);
    check(std_input.end >= 2 && std_input.end <= max_line + 2);
    check(std_input.buffer[std_input.end - 2] == 13 && std_input.buffer[std_input.end - 1] == 10);
    check(cursor_col == 0 && cursor_row >= 0 && cursor_row < screen.rows);
    check(screen.outside == 0);
}

void check_against_model(const memory_screen& screen, const model_line& m, int start_col, int start_row)
{
    check(std_input.end == m.end + 2);
    check(std::equal(m.line, m.line + m.end, std_input.buffer));
    // Echo that stayed on its row, on a row Enter did not scroll away.
    bool stayed = !m.echo_leaves_row && start_col + m.furthest < screen.cols && start_row + 1 < screen.rows;
    if (!stayed) return;
    for (int i = 0; i < m.end; ++i) check(screen.at(start_col + i, start_row).ch == m.line[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    int cols = 1 + data[0] % 100;
    int rows = 1 + data[1] % 30;
    memory_screen& screen = attach_memory_console(cols, rows);
    set_cursor(1 + data[2] % cols, 1 + data[3] % rows);
    bool plain = (data[4] & 1) == 0;

    script.clear();
    next_event = 0;
    pending_key = 0;
    pending_extended = false;
    alt_code_active = false;
    alt_code_value = 0;
    use_key_source({script_waiting, script_take, script_wait});
    reset_stream(std_input);
    std_input.mode = stream_mode::input;

    std::vector<typed> keys;
    if (plain) {
        plain_keys(data + 5, size - 5, keys);
    } else {
        any_keys(data + 5, size - 5);
    }

    std::size_t next_key = 0;
    do {
        int start_col = cursor_col;
        int start_row = cursor_row;
        console_read_line(std_input);
        check_line_end(screen);
        if (!plain) continue;
        model_line m;
        while (next_key < keys.size() && model_key(m, keys[next_key])) ++next_key;
        ++next_key;  // the Enter, typed or added when the keys ran out
        m.end = std::max(m.end, m.pos);
        check_against_model(screen, m, start_col, start_row);
    } while (next_event < script.size());
    return 0;
}
