// A test-only program: the real frame and dialogue, with a sort step that
// raises the fault named by its one argument. Built for the tests alone,
// never into the programs.
#include <cstring>

#include "sorting/frame.h"

namespace {

enum class fault { none, segmentation, integer_division, illegal_instruction, x87_invalid, stack_overflow };

struct fault_name {
    const char* name;
    fault kind;
};

constexpr fault_name fault_names[] = {
    {"segmentation", fault::segmentation},
    {"integer-division", fault::integer_division},
    {"illegal-instruction", fault::illegal_instruction},
    {"x87-invalid", fault::x87_invalid},
    {"stack-overflow", fault::stack_overflow},
};

fault chosen = fault::none;
volatile int depth_limit = 1 << 30;

// Each fault is raised by the machine itself, in code no compiler or
// sanitizer turns into a check of its own.
[[gnu::noinline]] int overflow_stack(int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth >= depth_limit) return frame[0];
    return overflow_stack(depth + 1) + frame[0];
}

[[gnu::noinline]] void faulting_sort_step()
{
    switch (chosen) {
    case fault::none:
        break;
    case fault::segmentation:
        __asm__ volatile("movl $0, 0x10" ::: "memory");
        break;
    case fault::integer_division:
        __asm__ volatile("xorl %%ecx, %%ecx\n\tmovl $1, %%eax\n\tcltd\n\tidivl %%ecx" ::: "eax", "ecx", "edx");
        break;
    case fault::illegal_instruction:
        __asm__ volatile("ud2");
        break;
    case fault::x87_invalid:
        // The square root of -1; the fault comes at the next wait.
        __asm__ volatile("fld1\n\tfchs\n\tfsqrt\n\tfwait\n\tfstp %%st(0)" ::: "st");
        break;
    case fault::stack_overflow:
        overflow_stack(0);
        break;
    }
}

} // namespace

#if !defined(__x86_64__)
#error "the faults are raised with x86-64 instructions"
#endif

int main(int argc, char** argv)
{
    if (argc == 2) {
        for (const fault_name& f : fault_names)
            if (std::strcmp(argv[1], f.name) == 0) chosen = f.kind;
    }
    run_program(faulting_sort_step);
}
