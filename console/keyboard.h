// Keyboard line input: the device behind std_input.
#pragma once

struct text_stream;

// Binds std_input to the line editor (a terminal) or to plain reads.
void keyboard_init();
void keyboard_done();

void console_read_line(text_stream& stream);
