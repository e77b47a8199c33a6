// Gap filling of a series of 16-bit values held in 32-bit slots; an entry of -1 is a gap.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Fills the gaps of `values` in place: gaps at either end take the rounded average of
// the valid entries, inner gaps the straight line between their neighbours. Filled
// entries hold their low 16 bits. 0 when count is 0 (nothing touched), else 1.
__attribute__((visibility("default"))) int SmoothGraphArray(unsigned int count, int* values);

#ifdef __cplusplus
}
#endif
