// The hardware classes trace a great deal; each line still costs nothing while tracing is off.
#pragma once

#include "src/trace/FileDebug.h"

#define HW_TRACE(level, ...)                              \
    do {                                                  \
        if (g_FileDebug.m_bActive)                        \
            g_FileDebug.Trace((level), __VA_ARGS__);      \
    } while (0)

// A pointer as the 32-bit number the traces show.
#define HW_ADDR(p) static_cast<unsigned>(reinterpret_cast<uintptr_t>(p))
