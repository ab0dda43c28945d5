// Figures of the programs in a pseudo-terminal: bytes sent against the
// plain text shown, write calls, time to the first prompt, the trace's wall
// time against cat writing the same text, and processor time while waiting.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "harness.h"

using namespace e2e;
using std::chrono::duration;

namespace {

constexpr int runs = 7;
constexpr auto deadline = std::chrono::milliseconds(30000);

double ms(clock::duration d) { return duration<double, std::milli>(d).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

[[noreturn]] void die(const char* what, const pty_session& t)
{
    std::fprintf(stderr, "bench: %s\n%s", what, t.dump().c_str());
    std::exit(1);
}

// Each row that was shown, scrollback and whole screen, as UTF-8 without
// trailing blanks, ended by one line end.
std::string plain_text(const pty_session& t)
{
    std::string out;
    for (const row_cells& row : t.scrollback()) out += text_of(row) + "\n";
    for (int r = 1; r <= t.rows(); ++r) out += t.row_text(r) + "\n";
    return out;
}

bool waits_after(const pty_session& t, const std::string& prompt)
{
    position c = t.cursor();
    std::string row = t.row_text(c.row);
    if (row.size() > prompt.size()) return false;
    return c.col == static_cast<int>(prompt.size()) + 1 && row + std::string(prompt.size() - row.size(), ' ') == prompt;
}

struct typed_run {
    std::size_t bytes = 0;
    std::size_t text_bytes = 0;
    long write_calls = 0;
    std::vector<double> first_prompt_ms;
    std::string raw;
};

// A whole run with the answers typed as a user would: count, direction,
// then Enter at the final wait.
typed_run run_typed(const std::string& program, const std::string& count, const std::string& direction)
{
    typed_run out;
    for (int i = 0; i < runs; ++i) {
        pty_session t(program);
        clock::time_point prompt_at{};
        if (!t.wait_until([&] { return waits_after(t, " Jumlah data : "); }, deadline)) die("no count prompt", t);
        prompt_at = t.last_output_at();
        out.first_prompt_ms.push_back(ms(prompt_at - t.started_at()));
        t.type(count + "\r");
        if (!t.wait_until([&] { return waits_after(t, " Pilih : "); }, deadline)) die("no direction prompt", t);
        t.type(direction + "\r");
        // The final wait: the last index row, the cursor below it.
        if (!t.wait_until([&] { return t.screen_contains(" Hasil Pengurutan") && t.cursor().col == 1 &&
                                       t.row_text(t.cursor().row - 1).starts_with(" indeks ="); },
                          deadline))
            die("no final wait", t);
        t.type("\r");
        auto e = t.wait_exit(deadline);
        if (!e || e->signaled || e->code != 0) die("bad end", t);
        out.bytes = t.raw().size();
        out.text_bytes = plain_text(t).size();
        out.write_calls = e->stats.write_calls;
        out.raw = t.raw();
    }
    return out;
}

// Wall time from start to the end with everything shown.
double run_to_end_ms(const std::string& program, const spawn_options& o, std::string* text = nullptr)
{
    pty_session t(program, o);
    auto e = t.wait_exit(deadline);
    if (!e || e->signaled || e->code != 0) die("bad end", t);
    double wall = ms(clock::now() - t.started_at());
    if (text) *text = plain_text(t);
    return wall;
}

// Where the bytes go: text, line ends, and each kind of control sequence.
void breakdown(const std::string& raw)
{
    std::map<std::string, std::pair<long, long>> kinds;  // name -> count, bytes
    std::size_t i = 0;
    while (i < raw.size()) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c == 0x1b && i + 1 < raw.size() && raw[i + 1] == '[') {
            std::size_t j = i + 2;
            while (j < raw.size() && (raw[j] < 0x40 || raw[j] > 0x7e)) ++j;
            std::string name = "ESC[..";
            name += raw[j];
            kinds[name].first++;
            kinds[name].second += static_cast<long>(j + 1 - i);
            i = j + 1;
        } else if (c == '\r' || c == '\n') {
            std::string name = c == '\r' ? "CR" : "LF";
            kinds[name].first++;
            kinds[name].second++;
            ++i;
        } else {
            kinds["text"].first++;
            kinds["text"].second++;
            ++i;
        }
    }
    for (const auto& [name, v] : kinds)
        std::printf("    %-8s %7ld times %8ld bytes (%4.1f%%)\n", name.c_str(), v.first, v.second,
                    100.0 * static_cast<double>(v.second) / static_cast<double>(raw.size()));
}

// What starting any program in the terminal costs: echo's first output.
double echo_first_output_ms()
{
    std::vector<double> v;
    for (int i = 0; i < runs; ++i) {
        spawn_options o;
        o.args = {"x"};
        pty_session t("/bin/echo", o);
        if (!t.wait_for_text("x", deadline)) die("no echo", t);
        v.push_back(ms(t.last_output_at() - t.started_at()));
        t.wait_exit(deadline);
    }
    return median(v);
}

void report_typed(const char* what, const typed_run& r)
{
    std::printf("%s, count 12, 80x25, answers typed:\n", what);
    std::printf("  bytes sent to the terminal   %zu\n", r.bytes);
    std::printf("  bytes of plain text shown    %zu\n", r.text_bytes);
    std::printf("  ratio                        %.3f (goal <= 1.2)\n",
                static_cast<double>(r.bytes) / static_cast<double>(r.text_bytes));
    std::printf("  write calls                  %ld\n", r.write_calls);
    std::printf("  start to first prompt        %.2f ms (median of %d; /bin/echo's first output: %.2f ms)\n",
                median(r.first_prompt_ms), runs, echo_first_output_ms());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUBBLESORT BUBBLETRACE\n", argv[0]);
        return 2;
    }
    const std::string bubblesort = argv[1];
    const std::string bubbletrace = argv[2];

    report_typed("bubblesort", run_typed(bubblesort, "12", "1"));

    typed_run trace = run_typed(bubbletrace, "12", "1");
    report_typed("bubbletrace", trace);
    std::printf("  where the bytes go:\n");
    breakdown(trace.raw);

    // Wall time of the whole trace against cat writing the same text to
    // the same kind of terminal; answers from a pipe so nothing waits.
    spawn_options piped;
    piped.stdin_text = "12\n1\n\n";
    std::string text;
    run_to_end_ms(bubbletrace, piped, &text);
    char path[] = "/tmp/bubble_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
    close(fd);
    spawn_options cat;
    cat.args = {path};
    std::vector<double> program_ms, cat_ms;
    for (int i = 0; i < runs; ++i) {
        program_ms.push_back(run_to_end_ms(bubbletrace, piped));
        cat_ms.push_back(run_to_end_ms("/bin/cat", cat));
    }
    unlink(path);
    double p = median(program_ms);
    double c = median(cat_ms);
    std::printf("bubbletrace, count 12, answers piped, against cat of its %zu bytes of text:\n", text.size());
    std::printf("  wall time                    %.2f ms, cat %.2f ms (medians of %d)\n", p, c, runs);
    std::printf("  ratio                        %.2f (goal <= 2)\n", p / c);

    // Processor time while the program waits at the count prompt.
    pty_session t(bubblesort);
    if (!t.wait_until([&] { return waits_after(t, " Jumlah data : "); }, deadline)) die("no count prompt", t);
    auto before = t.stats();
    t.wait_until([] { return false; }, std::chrono::milliseconds(10000));
    auto after = t.stats();
    if (!before || !after) die("no process figures", t);
    std::printf("bubblesort waiting 10 s at the count prompt:\n");
    std::printf("  processor time               %.3f ms (goal < 1 ms)\n", ms(after->cpu - before->cpu));
    t.type("\x03");
    t.wait_exit();
    return 0;
}
