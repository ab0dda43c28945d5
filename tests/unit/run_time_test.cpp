#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "console/run_time.h"

namespace {

TEST(NumberSyntax, AcceptedTexts)
{
    const std::pair<const char*, std::int32_t> cases[] = {
        {"7", 7},
        {"   7", 7},
        {"\t7", 7},
        {"+5", 5},
        {"-3", -3},
        {"0", 0},
        {"-0", 0},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"$1F", 31},
        {"$1f", 31},
        {"%101", 5},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"-$10", -16},
        {"+$7FFFFFFF", INT32_MAX},
        {"%11111111111111111111111111111111", -1},
        {"-%1", -1},
    };
    for (auto [text, expected] : cases) {
        std::int32_t value = 12345;
        EXPECT_TRUE(parse_number(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
}

TEST(NumberSyntax, RejectedTexts)
{
    const char* cases[] = {
        "", "12abc", "abc", "1.5", "0x10", "-", "+", "$", "%", "%2", "$G", "+-1", "--1",
        "2147483648", "-2147483649", "99999999999", "$100000000", "%111111111111111111111111111111111",
        "1 2", "5 ", "$-1", "- 1",
    };
    for (const char* text : cases) {
        std::int32_t value = 0;
        EXPECT_FALSE(parse_number(text, value)) << '"' << text << '"';
    }
}

TEST(WriteInt, EdgeValues)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"}, {-7, "-7"}, {98, "98"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}, {-10, "-10"},
    };
    for (auto [value, text] : cases) {
        char out[12];
        std::size_t len = format_int(value, out);
        EXPECT_EQ(std::string(out, len), text);
    }
}

TEST(Generator, FirstTwelveValuesFromTheStartState)
{
    rand_seed = 0;
    last_seed = 0;
    seeds_unset = true;
    const std::int32_t expected[] = {70, 50, 6, 77, 37, 12, 94, 75, 81, 58, 75, 47};
    for (std::int32_t value : expected) EXPECT_EQ(random_below(99), value);
}

TEST(Generator, SeedsAfterTheFirstDrawAndFraction)
{
    rand_seed = 0;
    last_seed = 0;
    seeds_unset = true;
    long double x = random_fraction();
    EXPECT_EQ(rand_seed, 51315u);
    EXPECT_EQ(seed2, 178103u);
    EXPECT_EQ(seed3, 240118u);
    EXPECT_NEAR(static_cast<double>(x), 0.71324193, 1e-8);
}

TEST(Generator, ZeroAndNegativeBounds)
{
    EXPECT_EQ(random_below(0), 0);
    for (int i = 0; i < 50; ++i) {
        std::int32_t v = random_below(-10);
        EXPECT_LE(v, 0);
        EXPECT_GT(v, -10);
    }
}

// A stream fed from a fixed list of chunks, as a file or the line editor
// would fill it; an empty chunk list is the end of input.
std::vector<std::string> chunks;
std::size_t next_chunk = 0;

void chunk_read(text_stream& s)
{
    s.position = 0;
    s.end = 0;
    if (next_chunk >= chunks.size()) return;
    const std::string& c = chunks[next_chunk++];
    std::memcpy(s.buffer, c.data(), c.size());
    s.end = static_cast<std::int32_t>(c.size());
}

text_stream chunk_stream(std::vector<std::string> parts)
{
    chunks = std::move(parts);
    next_chunk = 0;
    text_stream s;
    s.mode = stream_mode::input;
    s.in_out = chunk_read;
    io_result = 0;
    return s;
}

struct read_case {
    std::vector<std::string> input;
    std::int32_t value;
    std::uint16_t code;
    std::size_t chunks_used;  // the read stops where it should
};

TEST(ReadInt, LinesAndSeparators)
{
    const read_case cases[] = {
        {{"7\r\n"}, 7, 0, 1},
        {{"5 7\r\n"}, 5, 0, 1},
        {{"5\t7\r\n"}, 5, 0, 1},
        {{"\r\n", "   \r\n", "\t12\r\n"}, 12, 0, 3},  // empty lines are skipped
        {{"12abc\r\n"}, 0, 106, 1},
        {{"-\r\n"}, 0, 106, 1},
        {{}, 0, 106, 0},                              // end of input
        {{"  \r\n"}, 0, 106, 1},                      // blanks, then end of input
        {{"12", "34\n"}, 1234, 0, 2},                 // a number across a refill
    };
    for (const auto& c : cases) {
        text_stream s = chunk_stream(c.input);
        EXPECT_EQ(read_int(s), c.value) << c.input.size();
        EXPECT_EQ(io_result, c.code);
        EXPECT_EQ(next_chunk, c.chunks_used);
        io_result = 0;
    }
}

TEST(ReadInt, NumberTextStopsAt255Bytes)
{
    text_stream s = chunk_stream({std::string(200, '0'), std::string(100, '0') + "7\n"});
    EXPECT_EQ(read_int(s), 0);  // 255 zeros are a number; the rest stays unread
    EXPECT_EQ(io_result, 0);
    EXPECT_EQ(read_int(s), 7);  // the remaining 45 zeros and the 7
    EXPECT_EQ(io_result, 0);
    EXPECT_EQ(s.buffer[s.position], '\n');
}

TEST(ReadLineEnd, DiscardsTheRestOfTheLine)
{
    text_stream s = chunk_stream({"5 rest of line\r\n", "9\r\n"});
    EXPECT_EQ(read_int(s), 5);
    read_line_end(s);
    EXPECT_EQ(s.position, s.end);
    EXPECT_EQ(next_chunk, 1u);  // did not wait for another line
    EXPECT_EQ(read_int(s), 9);

    // With nothing unread it takes a whole new line and drops it.
    text_stream t = chunk_stream({"ignored\r\n", "4\r\n"});
    read_line_end(t);
    EXPECT_EQ(read_int(t), 4);

    text_stream e = chunk_stream({});
    read_line_end(e);  // end of input: simply returns
    EXPECT_EQ(io_result, 0);
}

TEST(ReadLineEnd, PendingErrorSkipsTheRead)
{
    text_stream s = chunk_stream({"abc def\r\n"});
    EXPECT_EQ(read_int(s), 0);
    EXPECT_EQ(io_result, 106);
    std::int32_t before = s.position;
    read_line_end(s);
    EXPECT_EQ(s.position, before);
    io_result = 0;
}

TEST(Streams, WrongModeCodes)
{
    text_stream closed;
    text_stream out;
    out.mode = stream_mode::output;
    text_stream in;
    in.mode = stream_mode::input;
    struct mode_case {
        void (*op)(text_stream&);
        text_stream* stream;
        std::uint16_t code;
    };
    const mode_case cases[] = {
        {[](text_stream& s) { write_str(0, s, "x"); }, &in, 105},
        {[](text_stream& s) { write_line(s); }, &closed, 103},
        {[](text_stream& s) { (void)read_int(s); }, &out, 104},
        {[](text_stream& s) { read_line_end(s); }, &closed, 103},
    };
    for (const auto& c : cases) {
        io_result = 0;
        c.op(*c.stream);
        EXPECT_EQ(io_result, c.code);
    }
    io_result = 0;
}

std::string handed_over;
void collect(text_stream& s)
{
    handed_over.append(reinterpret_cast<const char*>(s.buffer), static_cast<std::size_t>(s.position));
    s.position = 0;
}

TEST(Streams, LongItemsSpillInWholeBuffersAndWidthPads)
{
    text_stream s;
    s.mode = stream_mode::output;
    s.in_out = collect;
    s.flush = collect;
    handed_over.clear();
    std::string long_text(300, 'a');
    write_str(0, s, long_text);
    EXPECT_EQ(handed_over.size(), 256u);
    write_int(5, s, -7);
    write_char(3, s, 'x');
    write_line(s);
    EXPECT_EQ(handed_over, long_text + "   -7  x\r\n");
}

} // namespace
