#include "tests/keyboard/scripted_keys.h"

#include "console/console_screen.h"

namespace {

scripted_keys script;

bool script_waiting() { return script.next < script.events.size(); }

key_event script_take()
{
    script.cursor_at_take.emplace_back(cursor_col, cursor_row);
    return script.events[script.next++];
}

// The editor waits for a key the script doesn't have: an Enter ends the
// line, so a faulty test fails instead of hanging.
void script_wait()
{
    if (script_waiting()) return;
    script.ran_dry = true;
    script.events.push_back(char_key(13));
}

} // namespace

scripted_keys& play_keys(std::vector<key_event> events)
{
    script = scripted_keys{};
    script.events = std::move(events);
    pending_key = 0;
    pending_extended = false;
    alt_code_active = false;
    alt_code_value = 0;
    use_key_source({script_waiting, script_take, script_wait});
    return script;
}

std::vector<int> key_codes(std::vector<key_event> events)
{
    play_keys(std::move(events));
    std::vector<int> codes;
    while (key_available()) codes.push_back(read_key());
    return codes;
}
