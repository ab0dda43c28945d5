#include "sorting/plain_sort.h"

#include "sorting/frame.h"

void plain_bubble_sort()
{
    // Every pass runs to its end, even when it exchanged nothing: the two
    // programs make the same comparisons in the same order.
    for (std::int32_t i = 1; i < n; ++i) {
        for (std::int32_t k = n; k >= i + 1; --k) {
            bool swap = choice == 1 ? D[k] < D[k - 1] : D[k] > D[k - 1];
            if (swap) {
                std::int32_t temp = D[k];
                D[k] = D[k - 1];
                D[k - 1] = temp;
            }
        }
    }
}
