// A lab host for the trace tests: a profile and its state in a fresh temporary directory.
#pragma once

#include "lab/host/Drives.h"
#include "lab/host/Host.h"
#include "src/platform/Win32.h"
#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tracetest {

// Virtual time starting on a tick count that is a multiple of 1024, so that
// the reload interval's boundaries fall on whole sleeps.
inline const char* VirtualClock()
{
    return "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\nTick=1024000\n";
}

using testsupport::Exists;
using testsupport::ReadText;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::RegString;
using testsupport::WriteText;

class TraceLab {
public:
    // labIni is the profile's lab.ini; the registry starts empty.
    explicit TraceLab(const std::string& labIni) : m_profile("", labIni), m_out(m_profile.Scratch()) {}

    // Replaces the profile's registry with these lines after the .reg header and reloads the host.
    void Registry(const std::string& lines) const
    {
        m_profile.Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + lines);
        std::error_code ec;
        std::filesystem::remove(StateDir() + "/registry.reg", ec);
        lab::host::Host::Instance().LoadProfile(ProfileDir(), StateDir());
    }

    std::string ProfileDir() const { return m_profile.Dir(); }
    std::string StateDir() const { return m_profile.StateDir(); }
    // A file of the test's output directory, as Linux and as the program name it.
    std::string Path(const std::string& name) const { return m_out + "/" + name; }
    std::string WinPath(const std::string& name) const { return lab::host::Drives::WindowsPath(Path(name)); }

    // Values below HKLM\SOFTWARE\Debug; an empty module names that key itself.
    static void SetDword(const std::string& module, const char* pszName, DWORD dwValue)
    {
        SetValue(module, pszName, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue);
    }
    static void SetString(const std::string& module, const char* pszName, const std::string& value,
                          DWORD dwType = REG_SZ)
    {
        SetValue(module, pszName, dwType, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
    }

private:
    static void SetValue(const std::string& module, const char* pszName, DWORD dwType, const BYTE* pData, DWORD cb)
    {
        std::string key = module.empty() ? "SOFTWARE\\Debug" : "SOFTWARE\\Debug\\" + module;
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                 nullptr, &hKey, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, pszName, 0, dwType, pData, cb));
        RegCloseKey(hKey);
    }

    CTempProfile m_profile;
    std::string m_out;
};

// The .reg lines of one module's key.
inline std::string ModuleKey(const std::string& module, const std::string& values)
{
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\" + module + "]\r\n" + values + "\r\n";
}

}  // namespace tracetest
