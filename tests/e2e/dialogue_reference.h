// What a run must show, line by line, written down from the dialogue's and
// the trace's rules on their own: an independent reference, so the tests
// don't compare the programs with themselves.
#pragma once

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace e2e::reference {

// The generator's first values from its start state: every run shows these.
constexpr int generated[12] = {70, 50, 6, 77, 37, 12, 94, 75, 81, 58, 75, 47};

using lines = std::vector<std::string>;

// The box pieces as the terminal shows them.
inline const std::string swap_marker = "\u251C\u2500\u2500X\u2500\u2500\u2524";  // ├──X──┤
inline const std::string keep_marker = "\u2502\u2502   \u2502\u2502";            // ││   ││

inline std::string rtrim(std::string s)
{
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

inline void append(lines& to, const lines& more) { to.insert(to.end(), more.begin(), more.end()); }

inline std::string border(int n)
{
    std::string s = "          +";
    for (int j = 1; j <= n; ++j) s += "----+";
    return s;
}

inline std::string values_row(std::span<const int> d)
{
    std::string s = "      D = |";
    for (int v : d) s += (v < 10 ? "  " : " ") + std::to_string(v) + " |";
    return s;
}

inline std::string index_row(int n)
{
    std::string s = " indeks =";
    for (int j = 1; j <= n; ++j) s += (j < 10 ? "    " : "   ") + std::to_string(j);
    return s;
}

inline lines data_table(std::span<const int> d)
{
    int n = static_cast<int>(d.size());
    return {border(n), values_row(d), border(n), index_row(n)};
}

inline lines step_table(std::span<const int> d)
{
    int n = static_cast<int>(d.size());
    return {border(n), values_row(d), border(n)};
}

inline std::vector<int> first_values(int n)
{
    return {generated, generated + std::clamp(n, 0, 12)};
}

// Bubble sort as the trace tells it, pass i carrying the smallest (or
// largest) of D[i..n] to the front, narrated line by line. A marker whose
// column lies beyond the screen's width starts at column 1.
inline lines trace(std::vector<int>& d, int n, bool ascending, int cols)
{
    const std::string op = ascending ? "<" : ">";
    lines out = {" " + std::string(78, '='), "", " Tracing : ", "",
                 " Perulangan : \"for i:=1 to n-1\" ==> Untuk setiap i = 1 sampai i = " + std::to_string(n - 1), ""};
    for (int i = 1; i <= n - 1; ++i) {
        append(out, {" == Perulangan ke i = " + std::to_string(i), "",
                     " :: Perulangan : \"for k:=n downto i+1\" ==> Untuk setiap k = " + std::to_string(n) +
                         " sampai k = " + std::to_string(i + 1),
                     ""});
        for (int k = n; k >= i + 1; --k) {
            int& here = d[static_cast<std::size_t>(k - 1)];
            int& before = d[static_cast<std::size_t>(k - 2)];
            bool swap = ascending ? here < before : here > before;
            std::string ks = std::to_string(k);
            std::string k1 = std::to_string(k - 1);
            append(out, {"    == Perulangan ke k = " + ks,
                         "    :: Periksa : D[k] " + op + " D[k-1] ? ==> D[" + ks + "] < D[" + k1 + "] ? ==> " +
                             std::to_string(here) + " < " + std::to_string(before) + " ?",
                         swap ? "       ==> TRUE  : { Tukar } D[" + ks + "] <==> D[" + k1 + "]"
                              : "       ==> FALSE : { Tetap }",
                         ""});
            append(out, step_table(d));
            std::size_t indent = 5 * k + 3 <= cols ? static_cast<std::size_t>(5 * k + 2) : 0;
            out.push_back(std::string(indent, ' ') + (swap ? swap_marker : keep_marker));
            if (swap) std::swap(here, before);
            append(out, step_table(d));
            append(out, {"", "    == Akhir Perulangan ke k = " + ks, ""});
        }
        append(out, {" == Akhir Perulangan ke i = " + std::to_string(i), ""});
    }
    return out;
}

// The rows from the top of the cleared screen to the count answer.
inline lines count_part(const std::string& count_answer) { return {"", "", "", " Jumlah data : " + count_answer}; }

// From the empty line after the count answer to the direction answer.
inline lines direction_part(std::span<const int> d, const std::string& direction_answer)
{
    lines out = {""};
    append(out, data_table(d));
    append(out, {"", " Data akan disusun secara : ", "   1. Ascending (Tersusun Menaik)",
                 "   2. Descending (Tersusun Menurun)", " Pilih : " + direction_answer});
    return out;
}

// Characters of a line as the screen holds them (box pieces are one each).
inline std::size_t width_of(const std::string& line)
{
    std::size_t w = 0;
    for (unsigned char c : line) w += (c & 0xC0) != 0x80;
    return w;
}

// Screen rows of lines written on a screen `cols` wide: a line wraps right
// after the last column, so one that fills whole rows leaves an empty row
// behind it. Trailing blanks are dropped from each row.
inline lines wrapped(const lines& text, int cols)
{
    lines rows;
    for (const std::string& line : text) {
        std::string row;
        std::size_t w = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            row += line[i];
            bool glyph_done = i + 1 == line.size() || (static_cast<unsigned char>(line[i + 1]) & 0xC0) != 0x80;
            if (glyph_done && ++w == static_cast<std::size_t>(cols)) {
                rows.push_back(rtrim(row));
                row.clear();
                w = 0;
            }
        }
        if (w > 0 || width_of(line) == 0 || width_of(line) % static_cast<std::size_t>(cols) == 0)
            rows.push_back(rtrim(row));
    }
    return rows;
}

// The screen rows of a whole run up to the final table; the cursor then
// waits below it. n is the count as the program takes it (negative stays,
// above 12 is 12).
inline lines dialogue(bool traced, const std::string& count_answer, int n, const std::string& direction_answer,
                      bool ascending, int cols = 80)
{
    std::vector<int> d = first_values(n);
    lines out = count_part(count_answer);
    append(out, direction_part(d, direction_answer));
    out.push_back("");
    if (traced) {
        append(out, trace(d, n, ascending, cols));
    } else if (ascending) {
        std::sort(d.begin(), d.end());
    } else {
        std::sort(d.begin(), d.end(), std::greater<>());
    }
    out.push_back("");
    out.push_back(std::string(" Hasil Pengurutan dengan BUBBLE SORT (") + (ascending ? "Ascending" : "Descending") + "):");
    out.push_back("");
    append(out, data_table(d));
    return wrapped(out, cols);
}

} // namespace e2e::reference
