#include "sorting/frame.h"

#include "console/console_screen.h"
#include "console/run_time.h"

std::int32_t D[MAX_DATA + 1];
std::int32_t n;
std::int32_t choice;

namespace {

void write_padding_blank()
{
    write_str(0, std_output, " ");
    write_end(std_output);
    io_check();
}

void empty_line()
{
    write_line(std_output);
    io_check();
}

} // namespace

void draw_table_border()
{
    write_str(0, std_output, "          +");
    write_end(std_output);
    io_check();
    for (std::int32_t i = 1; i <= n; ++i) {
        write_str(0, std_output, "----+");
        write_end(std_output);
        io_check();
    }
    write_line(std_output);
    io_check();
}

void draw_data_table()
{
    draw_table_border();

    write_str(0, std_output, "      D = |");
    write_end(std_output);
    io_check();
    for (std::int32_t i = 1; i <= n; ++i) {
        if (D[i] < 10) write_padding_blank();
        write_str(0, std_output, " ");
        write_int(0, std_output, D[i]);
        write_str(0, std_output, " |");
        write_end(std_output);
        io_check();
    }
    write_line(std_output);
    io_check();

    draw_table_border();

    write_str(0, std_output, " indeks =");
    write_end(std_output);
    io_check();
    for (std::int32_t i = 1; i <= n; ++i) {
        if (i < 10) write_padding_blank();
        write_str(0, std_output, "   ");
        write_int(0, std_output, i);
        write_end(std_output);
        io_check();
    }
    write_line(std_output);
    io_check();
}

[[gnu::noinline]] void run_program(void (*sort_step)())
{
    program_start(__builtin_return_address(0));

    set_text_background(7);
    set_text_color(0);
    clear_screen();
    for (int row = 0; row < 3; ++row) empty_line();

    write_str(0, std_output, " Jumlah data : ");
    write_end(std_output);
    io_check();
    n = read_int(std_input);
    read_line_end(std_input);
    io_check();
    if (n > MAX_DATA) n = MAX_DATA;
    for (std::int32_t i = 1; i <= n; ++i) D[i] = random_below(99);

    empty_line();
    draw_data_table();
    empty_line();

    write_str(0, std_output, " Data akan disusun secara : ");
    write_line(std_output);
    io_check();
    write_str(0, std_output, "   1. Ascending (Tersusun Menaik)");
    write_line(std_output);
    io_check();
    write_str(0, std_output, "   2. Descending (Tersusun Menurun)");
    write_line(std_output);
    io_check();
    write_str(0, std_output, " Pilih : ");
    write_end(std_output);
    io_check();
    choice = read_int(std_input);
    read_line_end(std_input);
    io_check();
    empty_line();

    sort_step();

    empty_line();
    write_str(0, std_output, " Hasil Pengurutan dengan BUBBLE SORT (");
    write_end(std_output);
    io_check();
    write_str(0, std_output, choice == 1 ? "Ascending" : "Descending");
    write_end(std_output);
    io_check();
    write_str(0, std_output, "):");
    write_line(std_output);
    io_check();
    empty_line();
    draw_data_table();

    read_line_end(std_input);
    io_check();

    program_end();
}
