// The program's trace (g_FileDebug) written to a file, for suites that compare trace lines to the byte.
#pragma once

#include "lab/host/Drives.h"
#include "src/platform/Win32.h"
#include "src/trace/FileDebug.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <string>

class CTraceFile {
public:
    // Turns the trace on at dwLevel in the registry of the profile loaded now.
    CTraceFile(const std::string& path, DWORD dwLevel) : m_path(path)
    {
        Configure(dwLevel, lab::host::Drives::WindowsPath(path));
    }
    ~CTraceFile() { Configure(0, ""); }
    CTraceFile(const CTraceFile&) = delete;
    CTraceFile& operator=(const CTraceFile&) = delete;

    // What was traced since the last call, with the file's "\r\n" back as "\n".
    std::string Take()
    {
        std::string text = testsupport::ReadText(m_path);
        testsupport::WriteText(m_path, "");
        std::string lines;
        for (size_t i = 0; i < text.size(); ++i) {
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                lines += text[i];
        }
        return lines;
    }

private:
    static void Configure(DWORD dwLevel, const std::string& file)
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug\\Triagist", 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, &hKey, nullptr));
        RegSetValueExA(hKey, "FileDebugLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwLevel), sizeof dwLevel);
        RegSetValueExA(hKey, "TraceFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                       static_cast<DWORD>(file.size() + 1));
        RegCloseKey(hKey);
        g_FileDebug.Init("Triagist", FALSE);
    }

    std::string m_path;
};
