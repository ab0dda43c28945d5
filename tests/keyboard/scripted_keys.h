// A key source that plays a script of key events, for the keyboard tests.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "console/keyboard.h"

struct scripted_keys {
    std::vector<key_event> events;
    std::size_t next = 0;
    // The cursor record when each event was taken.
    std::vector<std::pair<std::int32_t, std::int32_t>> cursor_at_take;
    bool ran_dry = false;
};

// Makes the keyboard take its keys from the script; clears what a previous
// test may have left pending.
scripted_keys& play_keys(std::vector<key_event> events);

// What read_key returns for the script, until it has nothing more.
std::vector<int> key_codes(std::vector<key_event> events);
