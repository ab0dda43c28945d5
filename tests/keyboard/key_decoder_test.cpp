#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "console/key_decoder.h"
#include "tests/keyboard/scripted_keys.h"

namespace {

using namespace std::string_literals;

// Bytes as they come, in chunks with a pause longer than the Esc wait after
// each: the events the decoder makes of them.
std::vector<key_event> decode(const std::vector<std::string>& chunks)
{
    key_decoder decoder;
    std::vector<key_event> events;
    auto drain = [&] {
        key_event e;
        while (decoder.take(e)) events.push_back(e);
    };
    for (const std::string& chunk : chunks) {
        for (char b : chunk) {
            decoder.feed(static_cast<std::uint8_t>(b));
            drain();
        }
        decoder.time_out();
        drain();
        EXPECT_FALSE(decoder.in_sequence());
    }
    return events;
}

std::string printable(const std::vector<std::string>& chunks)
{
    std::string out;
    for (const std::string& chunk : chunks) {
        if (!out.empty()) out += " <pause> ";
        for (char c : chunk) {
            auto b = static_cast<unsigned char>(c);
            if (b == 0x1B) out += "ESC";
            else if (b < 0x20 || b >= 0x7F) out += "\\x" + std::to_string(b);
            else out += c;
        }
    }
    return out;
}

struct decode_case {
    std::vector<std::string> chunks;
    std::vector<int> codes;  // what read_key returns, one after the other
};

void expect_codes(const std::vector<decode_case>& cases)
{
    for (const decode_case& c : cases) {
        EXPECT_EQ(key_codes(decode(c.chunks)), c.codes) << printable(c.chunks);
    }
}

TEST(KeyDecoder, CharactersAndControlKeys)
{
    expect_codes({
        {{"a1 Z~"}, {'a', '1', ' ', 'Z', '~'}},
        {{"\r"}, {13}},
        {{"\n"}, {10}},                     // Ctrl+J moves the echo down a row
        {{"\x7f"}, {8}},                    // Backspace as most terminals send it
        {{"\b"}, {8}},
        {{"\t"}, {9}},
        {{"\x13\x19\x1a\x01"}, {19, 25, 26, 1}},
        {{"\0"s}, {0, 3}},                  // Ctrl+@ has no character
        {{"\x1b"}, {27}},                   // a lone Esc after the wait
        {{"\x1b\x1b"}, {27, 27}},
        {{"\x1b", "[A"}, {27, '[', 'A'}},   // Esc, a pause, then typing
    });
}

TEST(KeyDecoder, CursorKeysOfEveryTerminal)
{
    expect_codes({
        // xterm, VTE and the Linux console; application cursor mode
        {{"\x1b[A\x1b[B\x1b[C\x1b[D"}, {0, 72, 0, 80, 0, 77, 0, 75}},
        {{"\x1bOA\x1bOB\x1bOC\x1bOD"}, {0, 72, 0, 80, 0, 77, 0, 75}},
        {{"\x1b[H\x1b[F\x1bOH\x1bOF"}, {0, 71, 0, 79, 0, 71, 0, 79}},
        // tmux, screen and the Linux console; rxvt
        {{"\x1b[1~\x1b[4~\x1b[7~\x1b[8~"}, {0, 71, 0, 79, 0, 71, 0, 79}},
        {{"\x1b[2~\x1b[3~\x1b[5~\x1b[6~"}, {0, 82, 0, 83, 0, 73, 0, 81}},
        {{"\x1b[E\x1bOE"}, {0, 76, 0, 76}},
        {{"\x1b[Z"}, {9}},  // Shift+Tab
    });
}

TEST(KeyDecoder, FunctionKeys)
{
    expect_codes({
        {{"\x1bOP\x1bOQ\x1bOR\x1bOS"}, {0, 59, 0, 60, 0, 61, 0, 62}},
        {{"\x1b[11~\x1b[12~\x1b[13~\x1b[14~\x1b[15~"}, {0, 59, 0, 60, 0, 61, 0, 62, 0, 63}},
        {{"\x1b[17~\x1b[18~\x1b[19~\x1b[20~\x1b[21~"}, {0, 64, 0, 65, 0, 66, 0, 67, 0, 68}},
        {{"\x1b[23~\x1b[24~"}, {0, 133, 0, 134}},
        {{"\x1b[[A\x1b[[B\x1b[[C\x1b[[D\x1b[[E"}, {0, 59, 0, 60, 0, 61, 0, 62, 0, 63}},  // Linux console
    });
}

TEST(KeyDecoder, ModifiedKeysGiveOtherCodes)
{
    expect_codes({
        // xterm's parameter: 2 Shift, 3 Alt, 5 Ctrl, 6 Ctrl+Shift, 9 Meta
        {{"\x1b[1;2D\x1b[1;2H\x1b[1;2F"}, {0, 75, 0, 71, 0, 79}},  // Shift leaves them as they are
        {{"\x1b[1;5D\x1b[1;5C\x1b[1;5H\x1b[1;5F"}, {0, 115, 0, 116, 0, 119, 0, 117}},
        {{"\x1b[1;3H\x1b[1;3D\x1b[1;9D\x1b[1;6A"}, {0, 151, 0, 155, 0, 155, 0, 141}},
        {{"\x1b[1;2P\x1b[15;5~\x1b[24;2~\x1b[3;5~\x1b[5;3~"}, {0, 84, 0, 98, 0, 136, 0, 147, 0, 153}},
        {{"\x1bO5D\x1bO2P"}, {0, 115, 0, 84}},
        // rxvt: lower-case arrows, "^" Ctrl, "$" Shift, "@" both
        {{"\x1b[a\x1b[d\x1bOd\x1bOc"}, {0, 72, 0, 75, 0, 115, 0, 116}},
        {{"\x1b[7^\x1b[8^\x1b[7$\x1b[8$"}, {0, 119, 0, 117, 0, 71, 0, 79}},
        {{"\x1b[11^\x1b[23$\x1b[25~\x1b[2@"}, {0, 94, 0, 135, 0, 86, 0, 146}},
        // Alt as an Esc before the key
        {{"\x1bx\x1b\x7f\x1b\r"}, {0, 45, 0, 14, 13}},
        {{"\x1b\x1b[H\x1b\x1bOD"}, {0, 151, 0, 155}},
        {{"\x1b["}, {0, 26}},
        {{"\x1bO"}, {0, 24}},
        {{"\x1b\x1bx"}, {27, 0, 45}},
        {{"\x1b\xc3\xa9" "7"}, {'7'}},  // Alt with a key the PC has no place for
    });
}

TEST(KeyDecoder, KeypadInApplicationMode)
{
    expect_codes({
        {{"\x1bOM"}, {13}},
        {{"\x1bOp\x1bOy\x1bOk\x1bOn"}, {'0', '9', '+', '.'}},
    });
}

TEST(KeyDecoder, UnknownSequencesAreSwallowedWhole)
{
    expect_codes({
        {{"\x1b[200~x\x1b[201~"}, {'x'}},       // bracketed paste marks
        {{"\x1b[?1;2cq"}, {'q'}},               // a device reply
        {{"\x1b[<0;12;7Mz"}, {'z'}},            // a mouse report
        {{"\x1b[I\x1b[O"}, {}},                 // focus in and out
        {{"\x1b[1;5;7;9;11;13;15X1"}, {'1'}},   // more parameters than kept
        {{"\x1b[99~\x1b[1 q\x1b[99999999999~"}, {}},
        {{"\x1bOz\x1bO?A"}, {}},
        {{"\x1b[[Z"}, {}},
        // A byte that cannot be in a sequence ends it and counts as itself.
        {{"\x1b[1\r"}, {13}},
        {{"\x1b[1;5\x1b[D"}, {0, 75}},
        {{"\x1b[\r"}, {0, 26, 13}},
        {{"\x1b[[\x7f"}, {8}},
        // A pause in the middle of a sequence drops what came of it.
        {{"\x1b[1;5", "D"}, {'D'}},
        {{"\x1b[[", "A"}, {'A'}},
    });
}

TEST(KeyDecoder, Utf8CharactersOfTheCodePage)
{
    expect_codes({
        {{"\xc3\xa9\xc3\xa4\xc3\xb1"}, {130, 132, 164}},  // é ä ñ
        {{"\xe2\x94\x82\xc2\xa3"}, {179, 156}},          // │ £
        {{"\xe2\x82\xac\xf0\x9f\x98\x80" "a"}, {'a'}},   // € and an emoji are not in it
        {{"\xc3" "a"}, {'a'}},                            // cut short
        {{"\xa9\xff\xfe\xc0\xaf\xc1\x81" "b"}, {'b'}},     // stray, invalid, overlong
        {{"\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80" "c"}, {'c'}},
        {{"\xe2\x94", "\x82"}, {}},                       // a pause drops the half
        {{"\xc3\x1b[D"}, {0, 75}},
    });
}

TEST(KeyDecoder, WaitsForTheRestOfASequence)
{
    key_decoder decoder;
    for (char b : "\x1b[1;5"s) decoder.feed(static_cast<std::uint8_t>(b));
    EXPECT_TRUE(decoder.in_sequence());
    EXPECT_FALSE(decoder.has_event());
    decoder.feed('D');
    EXPECT_FALSE(decoder.in_sequence());
    EXPECT_EQ(key_codes({[&] { key_event e; decoder.take(e); return e; }()}), (std::vector<int>{0, 115}));
    decoder.time_out();  // nothing under way: nothing happens
    EXPECT_FALSE(decoder.has_event());
}

// Whatever bytes came before, a pause and then a key, or Enter at once,
// come through as that key.
TEST(KeyDecoder, NeverLosesTheNextKey)
{
    const std::string alphabet = "\x1b\x1b\x1b[[O~;1259^$@ADHaPZ\r\x7f\xc3\xe2\xa9\x94\xf0\x80\xff?<"s;
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    for (int round = 0; round < 5000; ++round) {
        std::string noise;
        for (int i = length(random); i > 0; --i) noise.push_back(alphabet[pick(random)]);

        std::vector<key_event> after_pause = decode({noise, "\x1b[D"});
        ASSERT_FALSE(after_pause.empty()) << printable({noise});
        EXPECT_EQ(after_pause.back().virtual_key, VK_LEFT) << printable({noise});
        EXPECT_EQ(after_pause.back().control_state, ENHANCED_KEY) << printable({noise});

        std::vector<int> codes = key_codes(decode({noise + "\r"}));
        ASSERT_FALSE(codes.empty()) << printable({noise});
        EXPECT_EQ(codes.back(), 13) << printable({noise});
    }
}

TEST(KeyCodes, AltWithKeypadDigitsTypesACharacter)
{
    auto keypad = [](int digit) {
        key_event e;
        e.virtual_key = static_cast<std::uint16_t>(VK_NUMPAD0 + digit);
        e.scan_code = 0;
        e.control_state = LEFT_ALT_PRESSED;
        return e;
    };
    key_event alt_down;
    alt_down.virtual_key = VK_MENU;
    alt_down.control_state = LEFT_ALT_PRESSED;
    key_event alt_up = alt_down;
    alt_up.key_down = false;
    key_event mouse;
    mouse.event_type = 2;
    EXPECT_EQ(key_codes({alt_down, keypad(6), mouse, keypad(5), alt_up, char_key('b')}), (std::vector<int>{65, 'b'}));
    // Codes go on modulo 256; a release without digits gives nothing.
    EXPECT_EQ(key_codes({keypad(3), keypad(0), keypad(0), alt_up, alt_up}), (std::vector<int>{44}));
}

} // namespace
