// Stands in for kernel32's GetSystemFirmwareTable: the SMBIOS table as the firmware hands it to Windows.
#pragma once

#include "lab/win32/WinDef.h"

// 'RSMB' (0x52534D42) with table id 0 answers the raw SMBIOS data: 8 bytes of header (calling method,
// major and minor version, DMI revision, length), then the structure table the firmware's entry point
// names. Any other provider is ERROR_INVALID_FUNCTION; no table is ERROR_NOT_FOUND. A buffer too small
// (or none) gets nothing, and the answer is the size needed.
UINT WINAPI GetSystemFirmwareTable(DWORD FirmwareTableProviderSignature, DWORD FirmwareTableID,
                                   PVOID pFirmwareTableBuffer, DWORD BufferSize);
