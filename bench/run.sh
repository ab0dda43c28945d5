#!/bin/sh
# Builds the programs and the measuring tool into build/bench and prints the
# figures: bytes and write calls per run, time to the first prompt, the
# trace's wall time against cat, processor time while waiting for an answer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUBBLE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bubblesort bubbletrace >/dev/null
${CXX:-c++} -std=c++20 -O2 -Wall -Wextra -Wpedantic -Werror -I"$root/tests/e2e" \
    "$root/bench/pty_bench.cpp" "$root/tests/e2e/harness.cpp" \
    -lvterm -o "$build/pty_bench"

"$build/pty_bench" "$build/programs/bubblesort" "$build/programs/bubbletrace"
