// The folder a capture writes: the lab profile's files, text kept until the end so that redaction sees all of it.
#include "src/capture/ProfileFolder.h"

#include "src/platform/ScopedHandle.h"

#include <cctype>

namespace {

const DWORD kWriteFault = 29;  // ERROR_WRITE_FAULT

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

}  // namespace

DWORD CProfileFolder::Create()
{
    DWORD dwError = MakeParents(m_strRoot + "\\x");
    if (dwError != ERROR_SUCCESS)
        return dwError;
    DWORD dwAttributes = GetFileAttributesA(m_strRoot.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

DWORD CProfileFolder::MakeParents(const std::string& strPath)
{
    // Each parent in turn, from the first component after a drive or a root.
    for (size_t i = 1; i < strPath.size(); ++i) {
        if (!IsSeparator(strPath[i]) || strPath[i - 1] == ':' || IsSeparator(strPath[i - 1]))
            continue;
        std::string strParent = strPath.substr(0, i);
        if (!CreateDirectoryA(strParent.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return GetLastError();
    }
    return ERROR_SUCCESS;
}

DWORD CProfileFolder::WriteFileBytes(const std::string& strPath, const void* pData, size_t cbData,
                                     const FILETIME* pftCreation, const FILETIME* pftLastWrite)
{
    CScopedHandle file(
        CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return GetLastError();
    DWORD cbWritten = 0;
    if (cbData > 0 && (!WriteFile(file.Get(), pData, static_cast<DWORD>(cbData), &cbWritten, nullptr) ||
                       cbWritten != cbData))
        return GetLastError() ? GetLastError() : kWriteFault;
    if ((pftCreation || pftLastWrite) && !SetFileTime(file.Get(), pftCreation, nullptr, pftLastWrite))
        return GetLastError();
    return ERROR_SUCCESS;
}

std::string CProfileFolder::Spelling(const std::string& strRelative)
{
    // Windows names a folder or file in any case; the profile is read where case counts, so each name
    // keeps the spelling it was first written with.
    std::string strResult;
    std::string strKey;
    size_t start = 0;
    while (start <= strRelative.size()) {
        size_t end = start;
        while (end < strRelative.size() && !IsSeparator(strRelative[end]))
            ++end;
        std::string strName = strRelative.substr(start, end - start);
        if (!strKey.empty())
            strKey += '\\';
        for (char c : strName)
            strKey += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        auto inserted = m_Spellings.emplace(strKey, strName);
        if (!strResult.empty())
            strResult += '\\';
        strResult += inserted.first->second;
        start = end + 1;
    }
    return strResult;
}

DWORD CProfileFolder::WriteBytes(const std::string& strRelative, const std::vector<BYTE>& bytes,
                                 const FILETIME* pftCreation, const FILETIME* pftLastWrite)
{
    std::string strPath = m_strRoot + "\\" + Spelling(strRelative);
    DWORD dwError = MakeParents(strPath);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    return WriteFileBytes(strPath, bytes.data(), bytes.size(), pftCreation, pftLastWrite);
}

DWORD CProfileFolder::Flush(const CRedactor* pRedactor)
{
    DWORD dwFirstError = ERROR_SUCCESS;
    for (const auto& file : m_Texts) {
        std::string strPath = m_strRoot + "\\" + file.first;
        std::string strText = pRedactor ? pRedactor->Apply(file.second) : file.second;
        DWORD dwError = MakeParents(strPath);
        if (dwError == ERROR_SUCCESS)
            dwError = WriteFileBytes(strPath, strText.data(), strText.size());
        if (dwFirstError == ERROR_SUCCESS)
            dwFirstError = dwError;
    }
    return dwFirstError;
}
