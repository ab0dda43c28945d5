// Arbitrary terminal input, with the Esc wait running out between arbitrary
// bytes, through the key decoder: nothing is dropped from its queue, every
// event reads as one whole key, Enter right behind any garbage is Enter,
// and after a pause a well-formed key decodes exactly as on a fresh decoder.
//
// Input: one byte picks the key, one byte n, n bytes of pause bits (bit i
// of the cycled bytes: a pause after garbage byte i), then the garbage.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "console/key_decoder.h"
#include "console/keyboard.h"

namespace {

using namespace std::string_view_literals;

constexpr std::string_view well_formed_keys[] = {
    "a"sv, "Z"sv, "7"sv, " "sv, "\r"sv, "\x7f"sv, "\x08"sv, "\t"sv, "\x1b"sv, "\x1bx"sv,
    "\x1b[A"sv, "\x1b[B"sv, "\x1b[C"sv, "\x1b[D"sv, "\x1b[H"sv, "\x1b[F"sv, "\x1bOH"sv, "\x1bOF"sv,
    "\x1bOD"sv, "\x1b[1~"sv, "\x1b[4~"sv, "\x1b[7~"sv, "\x1b[8~"sv, "\x1b[3~"sv, "\x1b[1;5D"sv,
    "\x1b[1;2C"sv, "\x1b[15~"sv, "\x1b[24~"sv, "\x1bOP"sv, "\x1b[[A"sv, "\x1b[Z"sv, "\x1bOM"sv,
    "\x1b[7^"sv, "\x1b[2$"sv, "\x1b\x1b[D"sv, "\xc3\xa9"sv, "\xe2\x94\x80"sv,
};

void check(bool condition)
{
    if (!condition) std::abort();
}

/*** The keyboard's key codes of a list of events ***/

const std::vector<key_event>* queued = nullptr;
std::size_t next_event = 0;

bool queue_waiting() { return next_event < queued->size(); }
key_event queue_take() { return (*queued)[next_event++]; }
void queue_wait() { std::abort(); }  // only called with nothing waiting: never here

std::vector<int> codes_of(const std::vector<key_event>& events)
{
    queued = &events;
    next_event = 0;
    pending_key = 0;
    pending_extended = false;
    alt_code_active = false;
    alt_code_value = 0;
    std::vector<int> codes;
    while (key_available()) codes.push_back(read_key());
    return codes;
}

// A character code, or 0 and a non-zero extended code, or nothing for a
// key the line editor never sees; never a lone 0 that would swallow the
// next key as its extended code.
bool reads_as_one_key(const key_event& e)
{
    std::vector<int> codes = codes_of({e});
    if (codes.empty()) return true;
    if (codes[0] != 0) return codes.size() == 1;
    return codes.size() == 2 && codes[1] != 0;
}

/*** Driving the decoder ***/

bool same_event(const key_event& a, const key_event& b)
{
    return a.event_type == b.event_type && a.key_down == b.key_down && a.virtual_key == b.virtual_key &&
           a.scan_code == b.scan_code && a.ascii_char == b.ascii_char && a.control_state == b.control_state;
}

// Takes what one step made; a step never fills the queue, so nothing can
// have been dropped.
void drain(key_decoder& d, std::vector<key_event>& into)
{
    std::size_t before = into.size();
    key_event e;
    while (d.take(e)) into.push_back(e);
    check(into.size() - before < 4);
}

void pause(key_decoder& d, std::vector<key_event>& into)
{
    d.time_out();
    drain(d, into);
    check(!d.in_sequence());
}

std::vector<key_event> decode_alone(std::string_view key)
{
    key_decoder d;
    std::vector<key_event> events;
    for (char b : key) {
        d.feed(static_cast<std::uint8_t>(b));
        drain(d, events);
    }
    pause(d, events);
    return events;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    use_key_source({queue_waiting, queue_take, queue_wait});
    if (size < 2) return 0;
    std::string_view key = well_formed_keys[data[0] % std::size(well_formed_keys)];
    std::size_t pause_count = data[1];
    if (size < 2 + pause_count) return 0;
    const std::uint8_t* pauses = data + 2;
    const std::uint8_t* garbage = pauses + pause_count;
    std::size_t garbage_size = size - 2 - pause_count;

    key_decoder d;
    std::vector<key_event> events;
    for (std::size_t i = 0; i < garbage_size; ++i) {
        d.feed(garbage[i]);
        drain(d, events);
        if (pause_count > 0 && (pauses[(i / 8) % pause_count] >> (i % 8) & 1)) pause(d, events);
    }
    for (const key_event& e : events) check(reads_as_one_key(e));

    // Enter at once, with no pause: still Enter.
    key_decoder with_enter = d;
    std::vector<key_event> enter;
    with_enter.feed('\r');
    drain(with_enter, enter);
    check(!enter.empty() && enter.back().virtual_key == VK_RETURN && enter.back().ascii_char == 13);

    // A pause, then the key: exactly what a fresh decoder makes of it.
    pause(d, events);
    std::vector<key_event> got;
    for (char b : key) {
        d.feed(static_cast<std::uint8_t>(b));
        drain(d, got);
    }
    pause(d, got);
    std::vector<key_event> expected = decode_alone(key);
    check(!expected.empty() && got.size() == expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) check(same_event(got[i], expected[i]));
    return 0;
}
