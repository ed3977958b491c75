// Stands in for the buffer protocol that kernel32's path functions share (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/WinDef.h"

#include <cstring>
#include <string>

namespace lab::win32 {

// The length without the terminator when the text fits; the size it needs, terminator included,
// when the buffer is missing or short (and then the buffer is left as it was).
inline DWORD CopyPathOut(const std::string& text, DWORD nBufferLength, LPSTR lpBuffer)
{
    if (!lpBuffer || nBufferLength < text.size() + 1)
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

}  // namespace lab::win32
