// The stand-in's own heap calls: every block the task allocator, BSTRs,
// SAFEARRAYs and message buffers hand out comes from here, so that the
// allocation hook (windows_standin.h) sees each one.
#pragma once

#include <cstddef>

namespace standin {

void* Allocate(std::size_t n, bool zeroed = false);  // null when memory runs out
void* Reallocate(void* p, std::size_t n);            // null (p kept) when memory runs out
void Free(void* p);

}  // namespace standin
