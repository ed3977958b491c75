// Stands in for the loader's mapping of image files as data (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/host/PeImage.h"
#include "lab/win32/WinDef.h"

#include <memory>

namespace lab::win32 {

// Reads a file of the lab's drives (a Windows or a POSIX path) into image. False, with the last
// error CreateFileA or ReadFile leave (2, 3, 5, ...), when it cannot be read; otherwise
// image.IsImage() says whether it is a PE file at all.
bool ReadImageFile(LPCSTR path, lab::host::PeImage& image);

// The error Windows' resource functions give for a failed lookup.
DWORD ResourceError(lab::host::PeImage::Lookup lookup);

// LoadLibraryExA's data-file modes: a new handle for each call, with the low bits Windows uses
// for such handles (1 for a data file, 2 for an image resource). A name without a directory is
// looked for in the system directory, the Windows directory and the current directory, with
// ".dll" added when it has no extension. NULL with the last error: 126 when no file is found,
// 193 when the file is not a PE image, else what reading it gave.
HMODULE LoadDataModule(LPCSTR name, DWORD flags);
// True when h named a data module, which is now gone.
bool FreeDataModule(HMODULE h);
// The image behind a data module; nullptr for every other handle.
std::shared_ptr<const lab::host::PeImage> DataModuleImage(HMODULE h);
// How many data modules are loaded, so that tests can see a caller's FreeLibrary.
size_t DataModuleCount();

}  // namespace lab::win32
