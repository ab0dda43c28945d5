// Keyboard line input: the device behind std_input. On a terminal it is a
// small line editor with echo; otherwise plain lines of standard input.
#pragma once

#include <cstdint>

#include "console/key_decoder.h"

struct text_stream;

// Binds std_input to the line editor (a terminal) or to plain reads.
void keyboard_init();
void keyboard_done();

// Edits one line at the keyboard, echoing it on the console screen, and
// leaves it in the stream's buffer followed by 13 and 10.
void console_read_line(text_stream& stream);

// Where key events come from: the terminal's decoded input in the programs,
// a script in the tests.
struct key_source {
    bool (*event_waiting)();
    key_event (*take_event)();
    // Blocks until an event is waiting; never returns without one.
    void (*wait_for_event)();
};

void use_key_source(const key_source& source);

// The key source as the line editor sees it: a character's code, or 0 and
// then the extended code of a key without one.
bool key_available();
std::uint8_t read_key();
std::uint8_t translate_key(std::uint16_t scan, std::uint32_t state, std::uint16_t vk);

// A key taken from the source and not yet returned by read_key.
extern std::uint8_t pending_key;
extern bool pending_extended;
// A character code typed as keypad digits with Alt held.
extern bool alt_code_active;
extern std::uint8_t alt_code_value;
