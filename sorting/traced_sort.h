// The narrated sort step of bubbletrace.
#pragma once

// Sorts D[1..n] like plain_bubble_sort and narrates every pass and step.
void traced_bubble_sort();
