// Allocation of the large word arrays behind record buffers and undo lists.
//
// These arrays grow by fixed steps of words (not by a factor), so growing one
// by copying would cost quadratic time on large layouts.  Arrays from 256 KiB
// up are therefore mapped pages that the kernel can extend or move without
// copying; small arrays come from the ordinary heap.  The caller keeps the
// exact word count of each array and passes it back.
#pragma once

#include <cstddef>

#include "model/Types.h"

namespace zandor {

// Returns nullptr when the memory cannot be had.
Word* AllocateWords(std::size_t count);
// Resizes an array of oldCount words to newCount words, keeping the first
// min(oldCount, newCount) words.  Returns nullptr (and leaves the array
// untouched) when the memory cannot be had.
Word* ReallocateWords(Word* words, std::size_t oldCount, std::size_t newCount);
void FreeWords(Word* words, std::size_t count);

// Makes every allocation or reallocation above limit words fail, so that the
// out-of-memory paths can be exercised; 0 removes the limit.
void SetWordAllocationLimit(std::size_t limit);

}  // namespace zandor
