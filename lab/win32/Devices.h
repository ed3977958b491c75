// Stands in for device I/O control of kernel32 and the board driver's control devices behind it.
#pragma once

#include "lab/win32/WinDef.h"

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped);

namespace lab::win32 {

// True for a "\\.\" name, which CreateFileA hands to OpenDevice instead of the drives.
bool IsDevicePath(LPCSTR pszPath);
// A handle to the named control device, or INVALID_HANDLE_VALUE with the last error set.
HANDLE OpenDevice(LPCSTR pszPath);

}  // namespace lab::win32
