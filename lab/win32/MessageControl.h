// Stands in for what a debugger shows of the local heap (lab-internal, not part of the Win32 surface).
#pragma once

#include <cstddef>

namespace lab::win32 {

// Blocks from LocalAlloc (and so from FormatMessageA) not yet given back with LocalFree.
size_t LocalAllocationCount();

}  // namespace lab::win32
