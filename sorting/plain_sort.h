// The silent sort step of bubblesort.
#pragma once

// Sorts D[1..n] in place, ascending when choice is 1, else descending.
void plain_bubble_sort();
