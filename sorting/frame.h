// The dialogue around the sort, the data model and the data table.
#pragma once

#include <cstdint>

constexpr std::int32_t MAX_DATA = 12;

// Positions 1..12 are used; D[0] is never touched.
extern std::int32_t D[MAX_DATA + 1];
extern std::int32_t n;
extern std::int32_t choice;

// The upper or lower border of a data table: a blank lead-in, then one
// "----+" per cell.
void draw_table_border();

// Draws D[1..n] as the four-line table: borders, values and indexes.
void draw_data_table();

// The whole program: start-up, the dialogue with sort_step between the
// direction answer and the result, and the end.
void run_program(void (*sort_step)());
