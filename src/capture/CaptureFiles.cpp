// drive_c/ and [FileTimes]: the products' folders and every file the other steps found the diagnosis reading.
#include "src/capture/Capture.h"

#include "src/capture/FileCopy.h"
#include "src/capture/ReducedImage.h"
#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/ExtensionAgents.h"
#include "src/sysaccess/InstallInfo.h"
#include "src/sysaccess/RegistryKey.h"

#include <cctype>
#include <vector>

namespace {

// Deep enough for any product's folders, and an end to links that lead back up.
const int MAX_DEPTH = 8;

void AddFolder(SCapture& capture, const std::string& strFolder, int nDepth)
{
    if (strFolder.empty() || nDepth > MAX_DEPTH)
        return;
    WIN32_FIND_DATAA data;
    CScopedFindHandle find(FindFirstFileA((strFolder + "\\*").c_str(), &data));
    if (!find.IsValid()) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
            capture.log.Missed("folder " + strFolder, GetLastError());
        return;
    }
    do {
        std::string strName = data.cFileName;
        if (strName == "." || strName == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            AddFolder(capture, strFolder + "\\" + strName, nDepth + 1);
        else
            capture.AddFile(strFolder + "\\" + strName);
    } while (FindNextFileA(find.Get(), &data));
}

// "C:\Windows\x.exe" is drive_c\Windows\x.exe; a file elsewhere has no place in a profile.
bool ProfilePath(const std::string& strPath, std::string& strRelative)
{
    if (strPath.size() < 4 || std::toupper(static_cast<unsigned char>(strPath[0])) != 'C' || strPath[1] != ':' ||
        (strPath[2] != '\\' && strPath[2] != '/'))
        return false;
    strRelative = "drive_c\\" + strPath.substr(3);
    return true;
}

// The creation time the diagnosis shows, in local time: the profile's readers take local time as well.
bool LocalTimeText(const FILETIME& ft, std::string& strTime)
{
    FILETIME ftLocal;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ft, &ftLocal) || !FileTimeToSystemTime(&ftLocal, &st))
        return false;
    strTime = FormatText("%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                         st.wSecond);
    return true;
}

// A file's size as the summary names it.
std::string MiB(ULONGLONG cb)
{
    return FormatText("%.1f MiB", static_cast<double>(cb) / (1024.0 * 1024.0));
}

// The libraries the SNMP service loads, each named by the key its ExtensionAgents value points to.
void AddExtensionAgents(SCapture& capture)
{
    CRegistryKey list;
    if (list.Open(EXTENSION_AGENTS_KEY, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) != ERROR_SUCCESS)
        return;
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[MAX_PATH];
        DWORD cchName = sizeof szName;
        char szKey[MAX_PATH * 2];
        DWORD cbKey = sizeof szKey - 1;
        DWORD dwType = 0;
        DWORD dwError = list.EnumValue(dwIndex, szName, &cchName, &dwType, reinterpret_cast<LPBYTE>(szKey), &cbKey);
        if (dwError == ERROR_NO_MORE_ITEMS)
            break;
        if (dwError != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
            continue;
        szKey[cbKey] = '\0';
        // A 32-bit agent is registered in the 32-bit view only, where the diagnosis looks next.
        CRegistryKey agent;
        if (agent.Open(szKey, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) != ERROR_SUCCESS &&
            agent.Open(szKey, HKEY_LOCAL_MACHINE, KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS)
            continue;
        LPSTR pszPathname = agent.QueryStringAlloc("Pathname");
        if (pszPathname) {
            std::string strFile = ImageFilePath(ExpandAgentPathname(pszPathname));
            if (!strFile.empty())
                capture.AddFile(strFile);
        }
    }
}

}  // namespace

void CaptureFiles(SCapture& capture)
{
    RavelinInstallInfo ravelin;
    AddFolder(capture, ravelin.GetFileRoot(), 0);
    AgentInstallInfo agents;
    AddFolder(capture, agents.m_szFileRoot, 0);
    AddExtensionAgents(capture);

    std::string strTimes = "\r\n; When the captured files were created (local time).\r\n[FileTimes]\r\n";
    int nCopied = 0;
    int nAbsent = 0;
    int nReduced = 0;
    for (const auto& file : capture.files) {
        // The first spelling that reads: a file system that keeps case finds the file only as it is written.
        std::string strPath = file.second.front();
        SFileCopy copy;
        DWORD dwError = ERROR_FILE_NOT_FOUND;
        for (const std::string& strSpelling : file.second) {
            dwError = ReadFileCopy(strSpelling.c_str(), copy);
            strPath = strSpelling;
            if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND)
                break;
        }
        std::string strRelative;
        if (!ProfilePath(strPath, strRelative)) {
            capture.log.Missed("file " + strPath, "not on drive C:");
            continue;
        }
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) {
            ++nAbsent;  // named by the system, but not there: the replay finds it missing as well
            continue;
        }
        if (dwError == ERROR_SUCCESS && copy.kind == ECopyKind::TooLarge) {
            capture.log.Missed("file " + strPath, "too large to copy (" + MiB(copy.cbOriginal) +
                                                      ") and no image whose headers and resources would do");
            continue;
        }
        if (dwError == ERROR_SUCCESS)
            dwError = capture.folder.WriteBytes(strRelative, copy.bytes, &copy.ftCreation, &copy.ftLastWrite);
        if (dwError != ERROR_SUCCESS) {
            capture.log.Missed("file " + strPath, dwError);
            continue;
        }
        ++nCopied;
        if (copy.kind == ECopyKind::Reduced)
            ++nReduced;
        else if (copy.cbOriginal > REDUCE_IMAGES_ABOVE)
            capture.log.Captured("drive_c: " + strPath + " copied whole (" + MiB(copy.cbOriginal) +
                                 "): no image with resources");
        std::string strTime;
        if (LocalTimeText(copy.ftCreation, strTime))
            strTimes += strPath + "=" + strTime + "\r\n";
    }
    capture.folder.Text("lab.ini") += strTimes;
    std::string strSummary = FormatText("drive_c: %d files (%d more named but absent)", nCopied, nAbsent);
    if (nReduced > 0)
        strSummary += nReduced == 1 ? ", 1 large image reduced to its headers and resources"
                                    : FormatText(", %d large images reduced to their headers and resources", nReduced);
    capture.log.Captured(strSummary);
}
