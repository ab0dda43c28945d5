// What start-up alone allocates: the programs' code linked in the same way,
// never run. The heap test counts the programs' allocations against it.
#include "sorting/frame.h"

int main(int argc, char**)
{
    if (argc < 0) run_program(nullptr);
}
