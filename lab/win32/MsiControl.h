// Stands in for Windows Installer's own naming of its registration keys (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/WinDef.h"

#include <string>

namespace lab::win32 {

// The installer names products, features' owners, upgrade codes and components in the registry by a
// packed form of their GUID: the first three groups of hexadecimal digits reversed, the last two with
// the digits of each byte swapped, no braces or hyphens (32 upper-case digits).
// "{12345678-ABCD-EF01-2345-6789ABCDEF01}" packs to "87654321DCBA10FE32547698BADCFE10".
// False for text that is not a GUID in braces.
bool PackGuid(const std::string& guid, std::string& packed);
// The way back; false for anything but 32 hexadecimal digits.
bool UnpackGuid(const std::string& packed, std::string& guid);

// Field 1 of the first row a query gives on the database at a POSIX path; empty when the file is
// no database, the query fails or finds nothing.
std::string ReadMsiField(const std::string& hostPath, const std::string& query);
// Copies a text out by Windows' convention for sized buffers (length back, 234 when short).
UINT CopyMsiText(const std::string& value, LPSTR pszBuffer, LPDWORD pcchBuffer);

}  // namespace lab::win32
