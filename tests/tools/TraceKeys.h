// The trace settings key of each module, read back as a test checks what the editor wrote.
#pragma once

#include "src/platform/ScopedHandle.h"

#include <string>
#include <utility>

// A module's key (the settings key itself for an empty name); not valid when it is missing.
inline CScopedRegKey ModuleKeyOpen(const std::string& module)
{
    CScopedRegKey key;
    std::string path = module.empty() ? "SOFTWARE\\Debug" : "SOFTWARE\\Debug\\" + module;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Receive());
    return key;
}

// A value of a module's key: its type and data as text (numbers in decimal); type 0 when missing.
inline std::pair<DWORD, std::string> ModuleValue(const std::string& module, const char* pszValue)
{
    CScopedRegKey key = ModuleKeyOpen(module);
    if (!key.IsValid())
        return {0, "no key"};
    char szData[300] = "";
    DWORD cbData = sizeof szData - 1;
    DWORD dwType = 0;
    if (RegQueryValueExA(key.Get(), pszValue, nullptr, &dwType, reinterpret_cast<LPBYTE>(szData), &cbData) !=
        ERROR_SUCCESS)
        return {0, "no value"};
    if (dwType == REG_DWORD)
        return {dwType, std::to_string(*reinterpret_cast<DWORD*>(szData))};
    return {dwType, szData};
}
