// A large image file as a profile keeps it: its headers and its resource section, where the version,
// the message tables and the other resources the diagnosis reads are; code and data, most of such a
// file, are left out.
#pragma once

#include "src/platform/Win32.h"

#include <vector>

// Images above this size are kept reduced; smaller files are copied whole, as reducing them saves little.
const ULONGLONG REDUCE_IMAGES_ABOVE = 1024 * 1024;

enum class EImageReduction {
    Reduced,
    NotImage,     // no MZ and PE signatures, or headers cut short
    NoResources,  // no resource directory, or no section that holds it wholly in the file
};

// Reads the headers and the resource section of the open file of cbFile bytes, and makes of them a
// PE file in which the resource section keeps its address in memory and every other section has no
// data in the file. The Windows error of a failed read, or 0 with outcome set; reduced holds the new
// file when the outcome is Reduced.
DWORD ReduceImageFile(HANDLE hFile, ULONGLONG cbFile, std::vector<BYTE>& reduced, EImageReduction& outcome);
