// How the hardware classes' traces show what they found.
#pragma once

#include "src/trace/FileDebug.h"

#include <cstdint>

// A pointer as the 32-bit number the traces show.
#define HW_ADDR(p) static_cast<unsigned>(reinterpret_cast<uintptr_t>(p))
