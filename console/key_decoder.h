// Key decoding: the bytes a terminal sends for keys become key events of
// the PC kind (virtual key, scan code, character, modifier state). Part of
// the terminal layer; the decoder itself is pure and knows no device.
#pragma once

#include <cstdint>

// Bits of key_event::control_state.
constexpr std::uint32_t RIGHT_ALT_PRESSED = 0x0001;
constexpr std::uint32_t LEFT_ALT_PRESSED = 0x0002;
constexpr std::uint32_t RIGHT_CTRL_PRESSED = 0x0004;
constexpr std::uint32_t LEFT_CTRL_PRESSED = 0x0008;
constexpr std::uint32_t SHIFT_PRESSED = 0x0010;
constexpr std::uint32_t ENHANCED_KEY = 0x0100;

// Virtual key codes the keyboard module looks at.
constexpr std::uint16_t VK_BACK = 0x08;
constexpr std::uint16_t VK_TAB = 0x09;
constexpr std::uint16_t VK_CLEAR = 0x0C;
constexpr std::uint16_t VK_RETURN = 0x0D;
constexpr std::uint16_t VK_SHIFT = 0x10;
constexpr std::uint16_t VK_CONTROL = 0x11;
constexpr std::uint16_t VK_MENU = 0x12;
constexpr std::uint16_t VK_CAPITAL = 0x14;
constexpr std::uint16_t VK_ESCAPE = 0x1B;
constexpr std::uint16_t VK_PRIOR = 0x21;
constexpr std::uint16_t VK_NEXT = 0x22;
constexpr std::uint16_t VK_END = 0x23;
constexpr std::uint16_t VK_HOME = 0x24;
constexpr std::uint16_t VK_LEFT = 0x25;
constexpr std::uint16_t VK_UP = 0x26;
constexpr std::uint16_t VK_RIGHT = 0x27;
constexpr std::uint16_t VK_DOWN = 0x28;
constexpr std::uint16_t VK_INSERT = 0x2D;
constexpr std::uint16_t VK_DELETE = 0x2E;
constexpr std::uint16_t VK_NUMPAD0 = 0x60;
constexpr std::uint16_t VK_NUMPAD9 = 0x69;
constexpr std::uint16_t VK_F1 = 0x70;
constexpr std::uint16_t VK_NUMLOCK = 0x90;
constexpr std::uint16_t VK_SCROLL = 0x91;

constexpr std::uint16_t KEY_EVENT = 0x0001;

struct key_event {
    std::uint16_t event_type = KEY_EVENT;
    bool key_down = true;
    std::uint16_t virtual_key = 0;
    std::uint16_t scan_code = 0;
    std::uint8_t ascii_char = 0;
    std::uint32_t control_state = 0;
};

// Keys that send no character of their own.
enum class named_key : std::uint8_t {
    home, up, page_up, left, centre, right, end, down, page_down, insert, del,
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
};

// The event of a key that sends a character byte (code page 437; control
// codes included), with the given modifier state.
key_event char_key(std::uint8_t c, std::uint32_t state = 0);
// The event of a key that sends no character.
key_event special_key(named_key key, std::uint32_t state = 0);

// Fed the terminal's input one byte at a time, and told when no byte came
// within the Esc wait, it queues the key events those bytes stand for.
// Whatever arrives, a byte that cannot belong to the sequence under way
// ends it, so the next well-formed key always comes through.
class key_decoder {
public:
    void feed(std::uint8_t byte);
    // No byte came within the Esc wait: a lone Esc is the Esc key, and an
    // unfinished sequence is dropped.
    void time_out();
    // True while a sequence is under way, so the caller waits only the Esc
    // wait for its next byte.
    bool in_sequence() const { return state_ != state::ground; }

    bool has_event() const { return count_ > 0; }
    bool take(key_event& event);

private:
    enum class state : std::uint8_t { ground, escape, escape_escape, csi, ss3, linux_fkey, utf8 };

    static constexpr int max_params = 4;
    static constexpr int queue_size = 4;

    void start(state s, bool alt);
    void emit(const key_event& event);
    void emit_alt(key_event event);
    void feed_ground(std::uint8_t byte);
    void feed_escape(std::uint8_t byte);
    void feed_escape_escape(std::uint8_t byte);
    void feed_csi(std::uint8_t byte);
    void feed_ss3(std::uint8_t byte);
    void feed_linux_fkey(std::uint8_t byte);
    void feed_utf8(std::uint8_t byte);
    void start_utf8(std::uint8_t lead, bool alt);
    void add_param_byte(std::uint8_t byte);
    void finish_csi(std::uint8_t final_byte);
    void finish_ss3(std::uint8_t final_byte);
    std::uint32_t modifier_state(int index) const;

    state state_ = state::ground;
    bool alt_ = false;  // the sequence came after an extra Esc: Alt held

    // Sequence parameters: up to max_params numbers, -1 where absent.
    int params_[max_params] = {-1, -1, -1, -1};
    int param_count_ = 0;
    bool private_ = false;       // a parameter byte other than digits and ';'
    bool intermediate_ = false;  // an intermediate byte came

    std::uint32_t code_point_ = 0;
    int utf8_left_ = 0;
    std::uint8_t utf8_low_ = 0x80;  // range of the next continuation byte
    std::uint8_t utf8_high_ = 0xBF;

    key_event queue_[queue_size];
    int first_ = 0;
    int count_ = 0;
};
