// The folder a capture writes: the lab profile's files, text kept until the end so that redaction sees all of it.
#pragma once

#include "src/capture/Redactor.h"
#include "src/platform/Win32.h"

#include <map>
#include <string>
#include <vector>

class CProfileFolder {
public:
    explicit CProfileFolder(const std::string& strRoot) : m_strRoot(strRoot) {}

    // Creates the folder (and its parents); the Windows error, 0 when it exists afterwards.
    DWORD Create();
    // A text file of the profile, relative path with backslashes; written by Flush.
    std::string& Text(const std::string& strRelative) { return m_Texts[strRelative]; }
    // A binary file, written at once, with the times given (null: the moment of writing). The Windows error or 0.
    DWORD WriteBytes(const std::string& strRelative, const std::vector<BYTE>& bytes,
                     const FILETIME* pftCreation = nullptr, const FILETIME* pftLastWrite = nullptr);
    // Writes every text file through the redactor (null: as it stands). The first error or 0.
    DWORD Flush(const CRedactor* pRedactor);

    const std::string& Root() const { return m_strRoot; }

private:
    std::string Spelling(const std::string& strRelative);
    DWORD MakeParents(const std::string& strPath);
    static DWORD WriteFileBytes(const std::string& strPath, const void* pData, size_t cbData,
                                const FILETIME* pftCreation = nullptr, const FILETIME* pftLastWrite = nullptr);

    std::string m_strRoot;
    std::map<std::string, std::string> m_Texts;
    std::map<std::string, std::string> m_Spellings;  // lower-case relative path: the first spelling
};
