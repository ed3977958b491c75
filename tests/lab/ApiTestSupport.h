// What the tests of the plain Win32 contract share in both builds. Natively the machine is a small plain lab
// profile; on Windows (and Wine) it is the machine itself. Either way a test gets a scratch folder and a scratch
// registry key, made and removed through the API, and sets up everything else through the API too.
#pragma once

#include "src/platform/Win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include "tests/support/TempProfile.h"
#endif

namespace apitest {

// Object names no other test, run or parallel test process uses.
inline std::string UniqueName(const std::string& stem)
{
    static std::atomic<int> counter{0};
    return "TriagistApiTest_" + stem + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

// The error a failed call left (a false, zero or null result), 0 when it succeeded.
template <class T>
DWORD ErrorOf(T result)
{
    return result ? 0 : GetLastError();
}

// Deletes a key with everything below it, in the given registry view; false when some part stayed.
inline bool DeleteKeyTree(HKEY hParent, const std::string& subKey, REGSAM view = 0)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hParent, subKey.c_str(), 0, KEY_ALL_ACCESS | view, &hKey) != ERROR_SUCCESS)
        return false;
    char name[256];
    DWORD cch = sizeof name;
    // Always the first subkey: the indexes move as subkeys go.
    while (RegEnumKeyExA(hKey, 0, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        if (!DeleteKeyTree(hKey, name, view))
            break;
        cch = sizeof name;
    }
    RegCloseKey(hKey);
    return RegDeleteKeyExA(hParent, subKey.c_str(), view, 0) == ERROR_SUCCESS;
}

inline void WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadFileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Registry keys a test opens or makes, closed when it is done with them.
class OpenKeys {
public:
    OpenKeys() = default;
    ~OpenKeys() { CloseAll(); }
    OpenKeys(const OpenKeys&) = delete;
    OpenKeys& operator=(const OpenKeys&) = delete;

    HKEY Open(HKEY hParent, const char* pszSubKey, REGSAM sam = KEY_READ)
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(RegOpenKeyExA(hParent, pszSubKey, 0, sam, &hKey), ERROR_SUCCESS) << pszSubKey;
        return Keep(hKey);
    }
    HKEY Create(HKEY hParent, const char* pszSubKey, REGSAM sam = KEY_ALL_ACCESS)
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(RegCreateKeyExA(hParent, pszSubKey, 0, nullptr, 0, sam, nullptr, &hKey, nullptr), ERROR_SUCCESS)
            << pszSubKey;
        return Keep(hKey);
    }
    HKEY Keep(HKEY hKey)
    {
        if (hKey)
            m_keys.push_back(hKey);
        return hKey;
    }
    void CloseAll()
    {
        for (HKEY hKey : m_keys)
            RegCloseKey(hKey);
        m_keys.clear();
    }

private:
    std::vector<HKEY> m_keys;
};

// A key's subkey or value names in the order they enumerate.
enum class Listing { Subkeys, Values };

inline std::vector<std::string> NamesIn(HKEY hKey, Listing listing)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = sizeof name;
        LONG result = listing == Listing::Subkeys
                          ? RegEnumKeyExA(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr)
                          : RegEnumValueA(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            return names;
        names.push_back(name);
    }
}

inline std::vector<std::string> SubkeyNames(HKEY hKey)
{
    return NamesIn(hKey, Listing::Subkeys);
}

inline std::vector<std::string> ValueNames(HKEY hKey)
{
    return NamesIn(hKey, Listing::Values);
}

// A product's property as the installer gives it, or "error <code>".
inline std::string ProductInfo(const char* product, const char* property)
{
    char value[260] = "untouched";
    DWORD cch = sizeof value;
    UINT result = MsiGetProductInfoA(product, property, value, &cch);
    return result == ERROR_SUCCESS ? std::string(value, cch) : "error " + std::to_string(result);
}

// File times as one number of 100-nanosecond units, and calendar moments written out.
inline uint64_t Units(const FILETIME& ft)
{
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline FILETIME FromUnits(uint64_t units)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(units);
    ft.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return ft;
}

inline SYSTEMTIME Calendar(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(ms);
    return st;
}

// Whether the tests run under Wine rather than Windows or the lab: Wine's ntdll exports its version.
inline bool UnderWine()
{
#ifdef _WIN32
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    return hNtdll && GetProcAddress(hNtdll, "wine_get_version");
#else
    return false;
#endif
}

#ifndef _WIN32
// The plain machine of the native build: the few keys every Windows has and the service the tests query.
const char kPlainRegistry[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
    "\"ComputerName\"=\"PLAINHOST\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software]\r\n";
const char kPlainServices[] =
    "[RpcSs]\n"
    "DisplayName=Remote Procedure Call (RPC)\n"
    "Type=0x20\n"
    "Start=auto\n"
    "BinaryPath=C:\\Windows\\system32\\svchost.exe -k rpcss\n"
    "ObjectName=NT AUTHORITY\\NetworkService\n"
    "State=running\n"
    "\n"
    "[Spooler]\n"
    "DisplayName=Print Spooler\n"
    "Type=0x110\n"
    "Start=auto\n"
    "BinaryPath=C:\\Windows\\System32\\spoolsv.exe\n"
    "DependOnService=RpcSs\n"
    "State=stopped\n";
#endif

// The fixture of these tests: the machine, a scratch folder and a scratch key below HKEY_CURRENT_USER\Software.
class PlainMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        m_profile = std::make_unique<CTempProfile>(kPlainRegistry);
        m_profile->Write("services.ini", kPlainServices);
        lab::host::Host::Instance().LoadProfile(m_profile->Dir(), m_profile->StateDir());
        lab::host::Host::Instance().TheClock().SetReal();
#endif
        std::string name = UniqueName("Scratch");
        std::error_code ec;
        m_folder = (std::filesystem::temp_directory_path(ec) / name).string();
        ASSERT_TRUE(std::filesystem::create_directories(m_folder, ec)) << m_folder;
        m_keyPath = "Software\\TriagistApiTest\\" + name;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
        DeleteKeyTree(HKEY_CURRENT_USER, m_keyPath);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TriagistApiTest");  // only when no other run is using it
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
#ifndef _WIN32
        m_profile.reset();
        if (std::filesystem::is_directory(m_savedProfile, ec))  // an earlier test's profile may be gone already
            lab::host::Host::Instance().LoadProfile(m_savedProfile, m_savedState);
#endif
    }

    const std::string& Folder() const { return m_folder; }
    std::string File(const std::string& name) const { return (std::filesystem::path(m_folder) / name).string(); }
    // The scratch key, open with all rights, and its path below HKEY_CURRENT_USER.
    HKEY Key() const { return m_hKey; }
    const std::string& KeyPath() const { return m_keyPath; }

private:
#ifndef _WIN32
    std::string m_savedProfile = lab::host::Host::Instance().ProfileDir();
    std::string m_savedState = lab::host::Host::Instance().StateDir();
    std::unique_ptr<CTempProfile> m_profile;
#endif
    std::string m_folder;
    std::string m_keyPath;
    HKEY m_hKey = nullptr;
};

}  // namespace apitest
