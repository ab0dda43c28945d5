// bubbletrace: the bubble sort, narrated pass by pass and step by step.
#include "sorting/frame.h"
#include "sorting/traced_sort.h"

int main() { run_program(traced_bubble_sort); }
