// bubblesort: the same dialogue, sorted silently.
#include "sorting/frame.h"
#include "sorting/plain_sort.h"

int main() { run_program(plain_bubble_sort); }
