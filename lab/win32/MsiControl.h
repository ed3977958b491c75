// Stands in for Windows Installer's own naming of its registration keys (lab-internal, not part of the Win32 surface).
#pragma once

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

}  // namespace lab::win32
