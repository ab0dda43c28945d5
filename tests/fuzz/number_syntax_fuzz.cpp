// Arbitrary stream contents, cut into arbitrary refills, through read_int
// and read_line_end; the result, the error code and where reading stopped
// must agree with a plain reference over the whole text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "console/run_time.h"

namespace {

const std::uint8_t* feed = nullptr;
std::size_t feed_size = 0;
std::size_t fed = 0;
const std::uint8_t* cuts = nullptr;  // refill sizes, cycled
std::size_t cut_count = 0;
std::size_t refills = 0;

void cut_read(text_stream& s)
{
    std::size_t want = cut_count ? cuts[refills % cut_count] % 256 + 1 : 256;
    ++refills;
    std::size_t n = feed_size - fed < want ? feed_size - fed : want;
    std::memcpy(s.buffer, feed + fed, n);
    fed += n;
    s.position = 0;
    s.end = static_cast<std::int32_t>(n);
}

bool is_separator(std::uint8_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

// Independent of the code under test: wide arithmetic, bounds at the end.
bool reference_number(std::string_view t, std::int32_t& value)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int base = 10;
    if (i < t.size() && (t[i] == '$' || t[i] == '%')) base = t[i++] == '$' ? 16 : 2;
    if (i == t.size()) return false;
    unsigned __int128 magnitude = 0;
    for (; i < t.size(); ++i) {
        char c = t[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        if (d >= base) return false;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (base == 10) {
        if (magnitude > (negative ? 2147483648ull : 2147483647ull)) return false;
        long long v = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
        value = static_cast<std::int32_t>(v);
        return true;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
}

void check(bool condition)
{
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    cut_count = data[0] % 8;
    if (size < 1 + cut_count) return 0;
    cuts = data + 1;
    feed = data + 1 + cut_count;
    feed_size = size - 1 - cut_count;
    fed = 0;
    refills = 0;

    text_stream s;
    s.mode = stream_mode::input;
    s.in_out = cut_read;
    io_result = 0;

    std::int32_t got = read_int(s);
    std::uint16_t code = io_result;
    check(s.position >= 0 && s.position <= s.end && s.end <= stream_buffer_size);
    std::size_t consumed_by_read = fed - static_cast<std::size_t>(s.end - s.position);

    // Reference over the whole text.
    std::size_t i = 0;
    while (i < feed_size && is_separator(feed[i])) ++i;
    std::size_t start = i;
    while (i < feed_size && !is_separator(feed[i]) && i - start < 255) ++i;
    std::int32_t expected = 0;
    bool valid = reference_number(std::string_view(reinterpret_cast<const char*>(feed + start), i - start), expected);
    check(code == (valid ? 0 : 106));
    check(got == (valid ? expected : 0));
    check(consumed_by_read == i);

    read_line_end(s);
    check(s.position >= 0 && s.position <= s.end && s.end <= stream_buffer_size);
    if (valid) {
        // The rest of the line goes, up to and with LF, CR LF or a lone CR.
        std::size_t j = i;
        while (j < feed_size && feed[j] != 10 && feed[j] != 13) ++j;
        if (j < feed_size) {
            if (feed[j] == 13 && j + 1 < feed_size && feed[j + 1] == 10) ++j;
            ++j;
        }
        check(fed - static_cast<std::size_t>(s.end - s.position) == j);
    }
    io_result = 0;
    return 0;
}
