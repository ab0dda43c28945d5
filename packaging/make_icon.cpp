// make_icon: draws the application icon and writes it in the three forms the
// build needs, so that no binary image has to live in the source tree.
//
//   make_icon ICO PNG CPP
//
//   ICO  an icon file: one directory entry, one 32x32 image with a 256-colour
//        palette (8-bit BMP, colour bits then the 1-bit transparency mask)
//   PNG  the same picture as an 8-bit palette PNG, for desktop menus
//   CPP  a C++ source that puts the resource below into the ELF section
//        ".resource" of every program linked with it
//
// The picture: a staircase of five bars, sorted from short to tall, in a
// rounded square of deep water with bubbles rising from the short end; the
// large values have bubbled up to the right.
//
// Resource layout (all numbers little-endian), 16 bytes of header followed by
// the icon file itself:
//   offset  0  8 bytes  "ICONRSRC"
//   offset  8  2 bytes  icon group number: 500
//   offset 10  2 bytes  icon number within the group: 1
//   offset 12  4 bytes  length of the icon file that follows
//   offset 16           the icon file, byte for byte the ICO output
// The section is allocated and read-only, so it lands in a non-writable
// segment; the programs never read it, it is there for file managers and for
// anyone dumping it (objcopy -O binary --only-section=.resource).
//
// The PNG is written without a compression library: the image data go into
// stored (uncompressed) deflate blocks, with our own CRC-32 and Adler-32.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr int size = 32;
constexpr int colours = 256;
constexpr std::uint16_t icon_group = 500;
constexpr std::uint16_t icon_number = 1;

using bytes = std::vector<std::uint8_t>;

struct rgb {
    double r, g, b;
};

rgb mix(rgb a, rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

/*** Drawing ***/

// Signed distance to a rounded rectangle; negative inside.
double rounded_box(double x, double y, double x0, double y0, double x1, double y1, double radius)
{
    double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    double hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
    double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
    double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

bool inside_tile(double x, double y) { return rounded_box(x, y, 0, 0, size, size, 6) < 0; }

struct bar {
    double x0, x1, top;
    rgb colour;
};

constexpr double baseline = 28;

constexpr std::array bars = {
    bar{2, 6, baseline - 7, {250, 214, 72}},
    bar{8, 12, baseline - 11, {247, 172, 58}},
    bar{14, 18, baseline - 15, {240, 132, 52}},
    bar{20, 24, baseline - 19, {230, 92, 58}},
    bar{26, 30, baseline - 23, {208, 56, 72}},
};

struct bubble {
    double x, y, radius;
};

constexpr std::array bubbles = {
    bubble{5.0, 14.0, 3.0},
    bubble{11.0, 9.5, 2.3},
    bubble{4.5, 6.5, 1.6},
    bubble{16.5, 5.0, 1.5},
    bubble{9.5, 3.0, 1.0},
};

rgb water(double y) { return mix({64, 150, 214}, {14, 42, 104}, y / size); }

// Colour of the picture at one point of the tile.
rgb paint(double x, double y)
{
    rgb c = water(y);
    for (const bar& b : bars) {
        if (rounded_box(x, y, b.x0, b.top, b.x1, baseline + 2, 1.0) >= 0 || y > baseline) continue;
        double across = (x - b.x0) / (b.x1 - b.x0);
        c = across < 0.28 ? mix(b.colour, {255, 255, 255}, 0.35) : across > 0.72 ? mix(b.colour, {0, 0, 0}, 0.25) : b.colour;
    }
    if (y > baseline && y < baseline + 1.0 && x > 1 && x < 31) c = {224, 236, 246};
    for (const bubble& b : bubbles) {
        double d = std::hypot(x - b.x, y - b.y) - b.radius;
        if (d > 0) continue;
        c = d > -0.75 ? rgb{226, 244, 255} : mix(c, {255, 255, 255}, 0.18);
        double hx = b.x - b.radius * 0.4, hy = b.y - b.radius * 0.4;
        if (std::hypot(x - hx, y - hy) < b.radius * 0.3) c = {255, 255, 255};
    }
    return c;
}

struct picture {
    std::array<rgb, size * size> colour{};
    std::array<bool, size * size> opaque{};
};

// Four by four samples per pixel smooth the edges of bars and bubbles.
picture render()
{
    picture p;
    constexpr int samples = 4;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            rgb sum{0, 0, 0};
            int covered = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    double px = x + (sx + 0.5) / samples, py = y + (sy + 0.5) / samples;
                    if (!inside_tile(px, py)) continue;
                    rgb c = paint(px, py);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++covered;
                }
            }
            int i = y * size + x;
            p.opaque[i] = covered * 2 >= samples * samples;
            if (covered > 0) p.colour[i] = {sum.r / covered, sum.g / covered, sum.b / covered};
        }
    }
    return p;
}

/*** 256-colour palette ***/

struct colour8 {
    std::uint8_t r, g, b;
};

colour8 to8(rgb c)
{
    auto channel = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return {channel(c.r), channel(c.g), channel(c.b)};
}

int channel(colour8 c, int which) { return which == 0 ? c.r : which == 1 ? c.g : c.b; }

// Median cut over the opaque pixels into at most 255 colours. Index 0 stays
// black and is used only for transparent pixels, so the PNG can mark that one
// index transparent.
std::array<colour8, colours> make_palette(const std::vector<colour8>& pixels)
{
    std::vector<std::vector<colour8>> boxes{pixels};
    while (boxes.size() < colours - 1) {
        std::size_t widest = 0;
        int widest_channel = 0, widest_range = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            for (int ch = 0; ch < 3; ++ch) {
                auto [lo, hi] = std::minmax_element(boxes[i].begin(), boxes[i].end(),
                    [ch](colour8 a, colour8 b) { return channel(a, ch) < channel(b, ch); });
                int range = channel(*hi, ch) - channel(*lo, ch);
                if (range > widest_range) widest = i, widest_channel = ch, widest_range = range;
            }
        }
        if (widest_range == 0) break;
        auto& box = boxes[widest];
        std::stable_sort(box.begin(), box.end(),
            [ch = widest_channel](colour8 a, colour8 b) { return channel(a, ch) < channel(b, ch); });
        std::vector<colour8> upper(box.begin() + static_cast<std::ptrdiff_t>(box.size() / 2), box.end());
        box.resize(box.size() / 2);
        boxes.push_back(std::move(upper));
    }
    std::array<colour8, colours> palette{};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        double r = 0, g = 0, b = 0;
        for (colour8 c : boxes[i]) r += c.r, g += c.g, b += c.b;
        double n = static_cast<double>(boxes[i].size());
        palette[i + 1] = to8({r / n, g / n, b / n});
    }
    // Unused entries repeat the last colour rather than adding black.
    for (std::size_t i = boxes.size() + 1; i < colours; ++i) palette[i] = palette[boxes.size()];
    return palette;
}

std::uint8_t nearest(const std::array<colour8, colours>& palette, colour8 c)
{
    int best = 1;
    long best_distance = -1;
    for (int i = 1; i < colours; ++i) {
        long dr = c.r - palette[i].r, dg = c.g - palette[i].g, db = c.b - palette[i].b;
        long d = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || d < best_distance) best = i, best_distance = d;
    }
    return static_cast<std::uint8_t>(best);
}

struct indexed_image {
    std::array<colour8, colours> palette{};
    std::array<std::uint8_t, size * size> index{}; // top row first; 0 = transparent
};

indexed_image quantise(const picture& p)
{
    std::vector<colour8> opaque;
    for (int i = 0; i < size * size; ++i)
        if (p.opaque[i]) opaque.push_back(to8(p.colour[i]));
    indexed_image image;
    image.palette = make_palette(opaque);
    for (int i = 0; i < size * size; ++i)
        image.index[i] = p.opaque[i] ? nearest(image.palette, to8(p.colour[i])) : 0;
    return image;
}

/*** Byte writers ***/

void put16(bytes& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(bytes& out, std::uint32_t v)
{
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

void put32_big(bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void put_text(bytes& out, const char* text)
{
    while (*text) out.push_back(static_cast<std::uint8_t>(*text++));
}

/*** ICO ***/

// Bitmap header, palette, colour rows bottom-up, then the mask rows (1 bits
// are transparent). The height counts both halves, as icon images do.
bytes bmp_image(const indexed_image& image)
{
    constexpr int mask_row = ((size + 31) / 32) * 4;
    bytes out;
    put32(out, 40);
    put32(out, size);
    put32(out, size * 2);
    put16(out, 1);
    put16(out, 8);
    put32(out, 0);
    put32(out, size * size + mask_row * size);
    put32(out, 0);
    put32(out, 0);
    put32(out, colours);
    put32(out, 0);
    for (colour8 c : image.palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) out.push_back(image.index[y * size + x]);
    for (int y = size - 1; y >= 0; --y) {
        for (int byte = 0; byte < mask_row; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                int x = byte * 8 + bit;
                if (x < size && image.index[y * size + x] == 0) bits |= static_cast<std::uint8_t>(0x80 >> bit);
            }
            out.push_back(bits);
        }
    }
    return out;
}

bytes ico_file(const indexed_image& image)
{
    bytes bmp = bmp_image(image);
    bytes out;
    put16(out, 0);
    put16(out, 1); // an icon, not a cursor
    put16(out, 1); // one image
    out.push_back(size);
    out.push_back(size);
    out.push_back(0); // 0 stands for 256 colours
    out.push_back(0);
    put16(out, 1);
    put16(out, 8);
    put32(out, static_cast<std::uint32_t>(bmp.size()));
    put32(out, 6 + 16);
    out.insert(out.end(), bmp.begin(), bmp.end());
    return out;
}

bytes resource(const bytes& ico)
{
    bytes out;
    put_text(out, "ICONRSRC");
    put16(out, icon_group);
    put16(out, icon_number);
    put32(out, static_cast<std::uint32_t>(ico.size()));
    out.insert(out.end(), ico.begin(), ico.end());
    return out;
}

/*** PNG ***/

std::uint32_t crc32(std::span<const std::uint8_t> data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(std::span<const std::uint8_t> data)
{
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

void png_chunk(bytes& out, const char* type, const bytes& data)
{
    put32_big(out, static_cast<std::uint32_t>(data.size()));
    bytes typed;
    put_text(typed, type);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    put32_big(out, crc32(typed));
}

// A zlib stream of stored deflate blocks.
bytes zlib_stored(const bytes& raw)
{
    bytes out{0x78, 0x01};
    std::size_t at = 0;
    do {
        std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        bool last = at + n == raw.size();
        out.push_back(last ? 1 : 0);
        put16(out, static_cast<unsigned>(n));
        put16(out, static_cast<unsigned>(~n & 0xFFFFu));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    put32_big(out, adler32(raw));
    return out;
}

bytes png_file(const indexed_image& image)
{
    bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bytes header;
    put32_big(header, size);
    put32_big(header, size);
    header.insert(header.end(), {8, 3, 0, 0, 0}); // 8-bit palette indexes, no interlace
    png_chunk(out, "IHDR", header);
    bytes palette;
    for (colour8 c : image.palette) palette.insert(palette.end(), {c.r, c.g, c.b});
    png_chunk(out, "PLTE", palette);
    png_chunk(out, "tRNS", bytes{0}); // index 0 transparent, all others opaque
    bytes rows;
    for (int y = 0; y < size; ++y) {
        rows.push_back(0); // no filter
        rows.insert(rows.end(), image.index.begin() + y * size, image.index.begin() + (y + 1) * size);
    }
    png_chunk(out, "IDAT", zlib_stored(rows));
    png_chunk(out, "IEND", bytes{});
    return out;
}

/*** C++ source ***/

std::string cpp_source(const bytes& res)
{
    std::string s =
        "// Generated by make_icon; the resource layout is described there.\n"
        "#include <cstdint>\n\n"
        "namespace {\n\n"
        "// Kept by compiler and linker although nothing refers to it.\n"
        "[[gnu::used, gnu::retain, gnu::section(\".resource\")]]\n"
        "const std::uint8_t app_icon_resource[" + std::to_string(res.size()) + "] = {";
    for (std::size_t i = 0; i < res.size(); ++i) {
        s += i % 16 == 0 ? "\n   " : "";
        s += " " + std::to_string(res[i]) + ",";
    }
    s += "\n};\n\n} // namespace\n";
    return s;
}

bool write_file(const char* path, std::span<const std::uint8_t> data)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: make_icon ICO PNG CPP\n", stderr);
        return 2;
    }
    indexed_image image = quantise(render());
    bytes ico = ico_file(image);
    std::string cpp = cpp_source(resource(ico));
    bytes cpp_bytes(cpp.begin(), cpp.end());
    if (!write_file(argv[1], ico) || !write_file(argv[2], png_file(image)) || !write_file(argv[3], cpp_bytes)) {
        std::perror("make_icon");
        return 1;
    }
    return 0;
}
