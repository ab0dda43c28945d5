#include "console/key_decoder.h"

#include <string_view>

#include "console/code_page.h"

namespace {

/*** What each key is on a PC keyboard ***/

struct key_identity {
    std::uint16_t virtual_key;
    std::uint8_t scan_code;
};

// In named_key order.
constexpr key_identity named_keys[] = {
    {VK_HOME, 71},      {VK_UP, 72},    {VK_PRIOR, 73},  {VK_LEFT, 75},     {VK_CLEAR, 76},
    {VK_RIGHT, 77},     {VK_END, 79},   {VK_DOWN, 80},   {VK_NEXT, 81},     {VK_INSERT, 82},
    {VK_DELETE, 83},    {VK_F1, 59},    {VK_F1 + 1, 60}, {VK_F1 + 2, 61},   {VK_F1 + 3, 62},
    {VK_F1 + 4, 63},    {VK_F1 + 5, 64}, {VK_F1 + 6, 65}, {VK_F1 + 7, 66},  {VK_F1 + 8, 67},
    {VK_F1 + 9, 68},    {VK_F1 + 10, 87}, {VK_F1 + 11, 88},
};

// The US layout by scan code, from scan code 2 on, plain and with Shift;
// '\0' where the key gives no character.
constexpr std::string_view plain_layout{"1234567890-=\b\tqwertyuiop[]\r\0asdfghjkl;'`\0\\zxcvbnm,./", 52};
constexpr std::string_view shift_layout{"!@#$%^&*()_+\b\tQWERTYUIOP{}\r\0ASDFGHJKL:\"~\0|ZXCVBNM<>?", 52};
constexpr std::uint8_t first_layout_scan = 2;
constexpr std::uint8_t space_scan = 57;

constexpr std::uint8_t scan_of_char(std::uint8_t c)
{
    if (c == ' ') return space_scan;
    if (c == 0) return 0;
    for (auto layout : {plain_layout, shift_layout}) {
        std::size_t at = layout.find(static_cast<char>(c));
        if (at != std::string_view::npos) return static_cast<std::uint8_t>(first_layout_scan + at);
    }
    return 0;
}

constexpr std::uint16_t virtual_key_of_char(std::uint8_t c)
{
    if (c >= 'a' && c <= 'z') return static_cast<std::uint16_t>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') return c;
    if (c == 8 || c == 9 || c == 13 || c == 27) return c;
    return 0;
}

/*** Sequences by their final byte ***/

constexpr int no_key = -1;

// "ESC [ n ~" and rxvt's "ESC [ n ^", "ESC [ n $", "ESC [ n @": the key
// by its number; rxvt's shifted function keys have numbers of their own.
struct numbered_key {
    int number;
    named_key key;
    bool shifted;
};

constexpr numbered_key numbered_keys[] = {
    {1, named_key::home, false},  {2, named_key::insert, false},   {3, named_key::del, false},
    {4, named_key::end, false},   {5, named_key::page_up, false},  {6, named_key::page_down, false},
    {7, named_key::home, false},  {8, named_key::end, false},      {11, named_key::f1, false},
    {12, named_key::f2, false},   {13, named_key::f3, false},      {14, named_key::f4, false},
    {15, named_key::f5, false},   {17, named_key::f6, false},      {18, named_key::f7, false},
    {19, named_key::f8, false},   {20, named_key::f9, false},      {21, named_key::f10, false},
    {23, named_key::f11, false},  {24, named_key::f12, false},     {25, named_key::f3, true},
    {26, named_key::f4, true},    {28, named_key::f5, true},       {29, named_key::f6, true},
    {31, named_key::f7, true},    {32, named_key::f8, true},       {33, named_key::f9, true},
    {34, named_key::f10, true},
};

// "ESC [ x", "ESC O x" and their modified forms, by the final byte x.
struct lettered_key {
    char final_byte;
    named_key key;
};

constexpr lettered_key lettered_keys[] = {
    {'A', named_key::up},   {'B', named_key::down}, {'C', named_key::right}, {'D', named_key::left},
    {'E', named_key::centre}, {'F', named_key::end}, {'H', named_key::home}, {'P', named_key::f1},
    {'Q', named_key::f2},   {'R', named_key::f3},   {'S', named_key::f4},
};

int find_numbered(int number)
{
    for (std::size_t i = 0; i < std::size(numbered_keys); ++i)
        if (numbered_keys[i].number == number) return static_cast<int>(i);
    return no_key;
}

int find_lettered(std::uint8_t final_byte)
{
    for (std::size_t i = 0; i < std::size(lettered_keys); ++i)
        if (lettered_keys[i].final_byte == final_byte) return static_cast<int>(i);
    return no_key;
}

// The keypad in application mode: "ESC O x" for the keys that type.
struct keypad_key {
    char final_byte;
    std::uint8_t character;
    std::uint16_t virtual_key;
    std::uint8_t scan_code;
};

constexpr keypad_key keypad_keys[] = {
    {'j', '*', 0x6A, 55}, {'k', '+', 0x6B, 78}, {'l', ',', 0x6C, 83}, {'m', '-', 0x6D, 74},
    {'n', '.', 0x6E, 83}, {'o', '/', 0x6F, 53}, {'p', '0', 0x60, 82}, {'q', '1', 0x61, 79},
    {'r', '2', 0x62, 80}, {'s', '3', 0x63, 81}, {'t', '4', 0x64, 75}, {'u', '5', 0x65, 76},
    {'v', '6', 0x66, 77}, {'w', '7', 0x67, 71}, {'x', '8', 0x68, 72}, {'y', '9', 0x69, 73},
    {'X', '=', 0, 13},
};

// Modifier parameter m of xterm's forms: m - 1 has Shift in bit 0, Alt in
// bit 1, Ctrl in bit 2 and Meta (taken as Alt) in bit 3.
std::uint32_t state_of_modifier(int m)
{
    if (m < 2) return 0;
    unsigned bits = static_cast<unsigned>(m - 1);
    std::uint32_t state = 0;
    if (bits & 1u) state |= SHIFT_PRESSED;
    if (bits & 10u) state |= LEFT_ALT_PRESSED;
    if (bits & 4u) state |= LEFT_CTRL_PRESSED;
    return state;
}

constexpr bool is_parameter_byte(std::uint8_t b) { return b >= 0x30 && b <= 0x3F; }
constexpr bool is_intermediate_byte(std::uint8_t b) { return b >= 0x20 && b <= 0x2F; }
constexpr bool is_final_byte(std::uint8_t b) { return b >= 0x40 && b <= 0x7E; }
constexpr bool is_continuation(std::uint8_t b) { return b >= 0x80 && b <= 0xBF; }

constexpr std::uint8_t esc = 0x1B;
constexpr int largest_param = 9999;

} // namespace

/*** Events ***/

key_event char_key(std::uint8_t c, std::uint32_t state)
{
    key_event e;
    e.ascii_char = c;
    e.control_state = state;
    if (c == 127) {
        e.ascii_char = 8;  // the Backspace of most terminals
        c = 8;
    }
    if (c == 10) {
        // Ctrl+J, as Ctrl with Enter types it.
        e.virtual_key = VK_RETURN;
        e.scan_code = scan_of_char(13);
        e.control_state |= LEFT_CTRL_PRESSED;
        return e;
    }
    std::uint8_t base = c;
    if (c < 32 && c != 8 && c != 9 && c != 13 && c != 27) {
        // Ctrl with a letter or one of @ [ \ ] ^ _ (Ctrl+@ types 0).
        base = static_cast<std::uint8_t>(c == 30 ? '6' : c == 31 ? '-' : c == 0 ? '2' : c + 64);
        e.control_state |= LEFT_CTRL_PRESSED;
    }
    e.virtual_key = virtual_key_of_char(base);
    e.scan_code = c == 27 ? 1 : scan_of_char(base);
    return e;
}

key_event special_key(named_key key, std::uint32_t state)
{
    const key_identity& id = named_keys[static_cast<std::size_t>(key)];
    key_event e;
    e.virtual_key = id.virtual_key;
    e.scan_code = id.scan_code;
    e.control_state = state;
    // The cursor block is apart from the keypad on a PC keyboard.
    if (key <= named_key::del && key != named_key::centre) e.control_state |= ENHANCED_KEY;
    return e;
}

/*** The queue ***/

void key_decoder::emit(const key_event& event)
{
    if (count_ == queue_size) return;  // cannot happen: the reader empties it between bytes
    queue_[(first_ + count_) % queue_size] = event;
    ++count_;
}

void key_decoder::emit_alt(key_event event)
{
    if (alt_) {
        // Alt with a key the PC keyboard has no place for would read as
        // extended code 0, which would swallow the next key.
        if (event.scan_code == 0) return;
        event.control_state |= LEFT_ALT_PRESSED;
    }
    emit(event);
}

bool key_decoder::take(key_event& event)
{
    if (count_ == 0) return false;
    event = queue_[first_];
    first_ = (first_ + 1) % queue_size;
    --count_;
    return true;
}

/*** Feeding ***/

void key_decoder::start(state s, bool alt)
{
    state_ = s;
    alt_ = alt;
    for (int& p : params_) p = -1;
    param_count_ = 0;
    private_ = false;
    intermediate_ = false;
}

void key_decoder::feed(std::uint8_t byte)
{
    switch (state_) {
    case state::ground: feed_ground(byte); break;
    case state::escape: feed_escape(byte); break;
    case state::escape_escape: feed_escape_escape(byte); break;
    case state::csi: feed_csi(byte); break;
    case state::ss3: feed_ss3(byte); break;
    case state::linux_fkey: feed_linux_fkey(byte); break;
    case state::utf8: feed_utf8(byte); break;
    }
}

void key_decoder::time_out()
{
    switch (state_) {
    case state::ground:
        return;
    case state::escape:
        emit(char_key(esc));
        break;
    case state::escape_escape:
        emit(char_key(esc));
        emit(char_key(esc));
        break;
    case state::csi:
    case state::ss3:
        // Nothing after "ESC [" or "ESC O": it was Alt with that key.
        if (param_count_ == 0 && !private_ && !intermediate_) {
            emit(char_key(state_ == state::csi ? '[' : 'O', LEFT_ALT_PRESSED));
        }
        break;
    case state::linux_fkey:
    case state::utf8:
        break;  // half a key: dropped
    }
    start(state::ground, false);
}

void key_decoder::feed_ground(std::uint8_t byte)
{
    if (byte == esc) {
        start(state::escape, false);
    } else if (byte < 0x80) {
        emit_alt(char_key(byte));
    } else if (byte >= 0xC2 && byte <= 0xF4) {
        start_utf8(byte, false);
    }
    // Other bytes from 128 up cannot start a character: ignored.
    if (state_ == state::ground) alt_ = false;
}

void key_decoder::feed_escape(std::uint8_t byte)
{
    if (byte == '[') {
        start(state::csi, false);
    } else if (byte == 'O') {
        start(state::ss3, false);
    } else if (byte == esc) {
        start(state::escape_escape, false);
    } else if (byte >= 0xC2 && byte <= 0xF4) {
        start_utf8(byte, true);
    } else {
        // Alt with a key: the key's byte after an Esc.
        start(state::ground, true);
        feed_ground(byte);
    }
}

void key_decoder::feed_escape_escape(std::uint8_t byte)
{
    if (byte == '[') {
        start(state::csi, true);
    } else if (byte == 'O') {
        start(state::ss3, true);
    } else {
        // The first Esc stood alone; the second begins what follows.
        emit(char_key(esc));
        start(state::escape, false);
        feed_escape(byte);
    }
}

void key_decoder::add_param_byte(std::uint8_t byte)
{
    if (byte >= '0' && byte <= '9') {
        if (param_count_ == 0) param_count_ = 1;
        if (param_count_ > max_params) return;  // past the ones we keep
        int& p = params_[param_count_ - 1];
        p = (p < 0 ? 0 : p) * 10 + (byte - '0');
        if (p > largest_param) p = largest_param;
    } else if (byte == ';') {
        if (param_count_ == 0) param_count_ = 1;
        if (param_count_ <= max_params) ++param_count_;
    } else {
        private_ = true;  // "?", "<", ... or a sub-parameter: not a key
    }
}

void key_decoder::feed_csi(std::uint8_t byte)
{
    if (is_parameter_byte(byte)) {
        // Parameters after an intermediate break the grammar: still swallowed.
        if (intermediate_) private_ = true;
        add_param_byte(byte);
    } else if (byte == '$' && !private_ && !intermediate_ && param_count_ == 1 && params_[0] >= 0) {
        finish_csi(byte);  // rxvt's Shift form ends in "$"
    } else if (is_intermediate_byte(byte)) {
        intermediate_ = true;
    } else if (is_final_byte(byte)) {
        finish_csi(byte);
    } else {
        // A byte that cannot be in a sequence ends it unfinished, and counts
        // as itself.
        bool bare = param_count_ == 0 && !private_ && !intermediate_;
        start(state::ground, false);
        if (bare) emit(char_key('[', LEFT_ALT_PRESSED));
        feed_ground(byte);
    }
}

std::uint32_t key_decoder::modifier_state(int index) const
{
    bool present = index >= 0 && index < param_count_ && index < max_params;
    std::uint32_t state = present ? state_of_modifier(params_[index]) : 0;
    if (alt_) state |= LEFT_ALT_PRESSED;
    return state;
}

void key_decoder::finish_csi(std::uint8_t final_byte)
{
    state done_state = state::ground;
    if (!private_ && !intermediate_) {
        if (final_byte == '[' && param_count_ == 0) {
            done_state = state::linux_fkey;
        } else if (final_byte == '~' || final_byte == '^' || final_byte == '$' || final_byte == '@') {
            int k = find_numbered(params_[0]);
            if (k != no_key) {
                std::uint32_t state = modifier_state(1);
                if (numbered_keys[k].shifted || final_byte == '$' || final_byte == '@') state |= SHIFT_PRESSED;
                if (final_byte == '^' || final_byte == '@') state |= LEFT_CTRL_PRESSED;
                emit(special_key(numbered_keys[k].key, state));
            }
        } else if (final_byte >= 'a' && final_byte <= 'd') {
            // rxvt: Shift with an arrow.
            int k = find_lettered(static_cast<std::uint8_t>(final_byte - 'a' + 'A'));
            emit(special_key(lettered_keys[k].key, modifier_state(1) | SHIFT_PRESSED));
        } else if (final_byte == 'Z') {
            emit(char_key(9, modifier_state(1) | SHIFT_PRESSED));  // Shift+Tab
        } else if (int k = find_lettered(final_byte); k != no_key) {
            emit(special_key(lettered_keys[k].key, modifier_state(1)));
        }
    }
    start(done_state, done_state == state::linux_fkey && alt_);
}

void key_decoder::feed_linux_fkey(std::uint8_t byte)
{
    bool alt = alt_;
    start(state::ground, false);
    if (byte >= 'A' && byte <= 'E') {
        auto key = static_cast<named_key>(static_cast<int>(named_key::f1) + (byte - 'A'));
        emit(special_key(key, alt ? LEFT_ALT_PRESSED : 0));
    } else if (!is_final_byte(byte) && !is_parameter_byte(byte) && !is_intermediate_byte(byte)) {
        feed_ground(byte);  // not part of any sequence: counts as itself
    }
}

void key_decoder::feed_ss3(std::uint8_t byte)
{
    if (is_parameter_byte(byte)) {
        add_param_byte(byte);
    } else if (is_final_byte(byte)) {
        finish_ss3(byte);
    } else {
        bool bare = param_count_ == 0 && !private_;
        start(state::ground, false);
        if (bare) emit(char_key('O', LEFT_ALT_PRESSED));
        feed_ground(byte);
    }
}

void key_decoder::finish_ss3(std::uint8_t final_byte)
{
    if (private_) {
        start(state::ground, false);
        return;
    }
    // A modifier, where a terminal sends one, is the last parameter.
    std::uint32_t state = modifier_state(param_count_ - 1);
    if (final_byte >= 'a' && final_byte <= 'd') {
        // rxvt: Ctrl with an arrow.
        int k = find_lettered(static_cast<std::uint8_t>(final_byte - 'a' + 'A'));
        emit(special_key(lettered_keys[k].key, state | LEFT_CTRL_PRESSED));
    } else if (final_byte == 'M') {
        emit(char_key(13, state | ENHANCED_KEY));  // the keypad's Enter
    } else if (int k = find_lettered(final_byte); k != no_key) {
        emit(special_key(lettered_keys[k].key, state));
    } else {
        for (const keypad_key& pad : keypad_keys) {
            if (pad.final_byte != final_byte) continue;
            key_event e;
            e.virtual_key = pad.virtual_key;
            e.scan_code = pad.scan_code;
            e.ascii_char = pad.character;
            e.control_state = state;
            emit(e);
        }
    }
    start(state::ground, false);
}

/*** UTF-8 ***/

void key_decoder::start_utf8(std::uint8_t lead, bool alt)
{
    start(state::utf8, alt);
    utf8_low_ = 0x80;
    utf8_high_ = 0xBF;
    if (lead < 0xE0) {
        utf8_left_ = 1;
        code_point_ = lead & 0x1Fu;
    } else if (lead < 0xF0) {
        utf8_left_ = 2;
        code_point_ = lead & 0x0Fu;
        if (lead == 0xE0) utf8_low_ = 0xA0;   // no overlong forms
        if (lead == 0xED) utf8_high_ = 0x9F;  // no surrogates
    } else {
        utf8_left_ = 3;
        code_point_ = lead & 0x07u;
        if (lead == 0xF0) utf8_low_ = 0x90;
        if (lead == 0xF4) utf8_high_ = 0x8F;  // nothing past U+10FFFF
    }
}

void key_decoder::feed_utf8(std::uint8_t byte)
{
    if (byte < utf8_low_ || byte > utf8_high_) {
        // Malformed: the character is dropped and the byte starts afresh.
        start(state::ground, false);
        if (!is_continuation(byte)) feed_ground(byte);
        return;
    }
    code_point_ = (code_point_ << 6) | (byte & 0x3Fu);
    utf8_low_ = 0x80;
    utf8_high_ = 0xBF;
    if (--utf8_left_ > 0) return;
    // Characters code page 437 lacks cannot be typed into the line.
    std::uint8_t c = cp437_from_code_point(code_point_);
    if (c != 0) emit_alt(char_key(c));
    start(state::ground, false);
}
