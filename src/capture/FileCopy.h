// A file as a profile keeps it: whole, or reduced where it is a large image; with its times.
#pragma once

#include "src/platform/Win32.h"

#include <vector>

enum class ECopyKind {
    Whole,
    Reduced,   // a large image, down to its headers and resources
    TooLarge,  // no image, and too large to read whole: bytes stays empty
};

struct SFileCopy {
    ECopyKind kind = ECopyKind::Whole;
    std::vector<BYTE> bytes;
    ULONGLONG cbOriginal = 0;
    FILETIME ftCreation = {};
    FILETIME ftLastWrite = {};
};

// Reads the file at pszPath as the profile is to hold it. The Windows error, or 0.
DWORD ReadFileCopy(LPCSTR pszPath, SFileCopy& copy);
