#include "sorting/traced_sort.h"

#include <cstdint>
#include <string_view>

#include "console/console_screen.h"
#include "console/run_time.h"
#include "sorting/frame.h"

namespace {

constexpr std::uint8_t normal_fg = 0;
constexpr std::uint8_t normal_bg = 7;
constexpr std::uint8_t highlight_fg = 7;
constexpr std::uint8_t highlight_bg = 0;

void piece(std::string_view text)
{
    write_str(0, std_output, text);
    write_end(std_output);
    io_check();
}

void end_line()
{
    write_line(std_output);
    io_check();
}

void text_line(std::string_view text)
{
    write_str(0, std_output, text);
    write_line(std_output);
    io_check();
}

void numbered_line(std::string_view text, std::int32_t number)
{
    write_str(0, std_output, text);
    write_int(0, std_output, number);
    write_line(std_output);
    io_check();
}

void write_separator()
{
    piece(" ");
    for (int i = 0; i < 78; ++i) piece("=");
    end_line();
}

void write_preamble()
{
    write_separator();
    end_line();
    text_line(" Tracing : ");
    end_line();
    write_str(0, std_output, " Perulangan : \"for i:=1 to n-1\" ==> Untuk setiap i = 1 sampai i = ");
    // n-1 of the smallest count does not fit in 32 bits; show the true value.
    if (n == INT32_MIN)
        write_str(0, std_output, "-2147483649");
    else
        write_int(0, std_output, n - 1);
    write_line(std_output);
    io_check();
    end_line();
}

// The data without the index row, cells k-1 and k in reverse colours.
void draw_step_table(std::int32_t k)
{
    draw_table_border();
    piece("      D = |");
    for (std::int32_t j = 1; j <= n; ++j) {
        if (j == k || j == k - 1) {
            set_text_color(highlight_fg);
            set_text_background(highlight_bg);
        }
        if (D[j] < 10) piece(" ");
        write_str(0, std_output, " ");
        write_int(0, std_output, D[j]);
        write_str(0, std_output, " ");
        write_end(std_output);
        io_check();
        set_text_color(normal_fg);
        set_text_background(normal_bg);
        piece("|");
    }
    end_line();
    draw_table_border();
}

// Under the two compared cells: an X between them for an exchange, two
// pairs of bars for a keep.
void draw_marker(std::int32_t k, bool swap_flag)
{
    static constexpr char swap_marker[] = {'\xC3', '\xC4', '\xC4', 'X', '\xC4', '\xC4', '\xB4'};
    static constexpr char keep_marker[] = {'\xB3', '\xB3', ' ', ' ', ' ', '\xB3', '\xB3'};
    goto_xy(5 * k + 3, where_y());
    write_str(0, std_output, std::string_view(swap_flag ? swap_marker : keep_marker, 7));
    write_line(std_output);
    io_check();
}

void write_comparison_line(std::int32_t k, char op_char)
{
    write_str(0, std_output, "    :: Periksa : D[k] ");
    write_char(0, std_output, op_char);
    write_str(0, std_output, " D[k-1] ? ==> D[");
    write_int(0, std_output, k);
    write_str(0, std_output, "] < D[");
    write_int(0, std_output, k - 1);
    write_str(0, std_output, "] ? ==> ");
    write_int(0, std_output, D[k]);
    write_str(0, std_output, " < ");
    write_int(0, std_output, D[k - 1]);
    write_str(0, std_output, " ?");
    write_line(std_output);
    io_check();
}

void write_verdict_line(std::int32_t k, bool swap_flag)
{
    if (swap_flag) {
        write_str(0, std_output, "       ==> TRUE  : { Tukar } D[");
        write_int(0, std_output, k);
        write_str(0, std_output, "] <==> D[");
        write_int(0, std_output, k - 1);
        write_str(0, std_output, "]");
        write_line(std_output);
        io_check();
    } else {
        text_line("       ==> FALSE : { Tetap }");
    }
}

void trace_step(std::int32_t k)
{
    numbered_line("    == Perulangan ke k = ", k);
    bool swap_flag = choice == 1 ? D[k] < D[k - 1] : D[k] > D[k - 1];
    char op_char = choice == 1 ? '<' : '>';
    write_comparison_line(k, op_char);
    write_verdict_line(k, swap_flag);
    end_line();
    draw_step_table(k);
    draw_marker(k, swap_flag);
    if (swap_flag) {
        std::int32_t temp = D[k];
        D[k] = D[k - 1];
        D[k - 1] = temp;
    }
    draw_step_table(k);
    end_line();
    numbered_line("    == Akhir Perulangan ke k = ", k);
    end_line();
}

} // namespace

void traced_bubble_sort()
{
    write_preamble();
    // i < n rather than i <= n-1: the smallest count has no n-1.
    for (std::int32_t i = 1; i < n; ++i) {
        numbered_line(" == Perulangan ke i = ", i);
        end_line();
        write_str(0, std_output, " :: Perulangan : \"for k:=n downto i+1\" ==> Untuk setiap k = ");
        write_int(0, std_output, n);
        write_str(0, std_output, " sampai k = ");
        write_int(0, std_output, i + 1);
        write_line(std_output);
        io_check();
        end_line();
        for (std::int32_t k = n; k >= i + 1; --k) trace_step(k);
        numbered_line(" == Akhir Perulangan ke i = ", i);
        end_line();
    }
}
