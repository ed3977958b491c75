// The trace log's outputs: the trace file with its rotation, the console and the debugger.
#include "src/trace/FileDebug.h"

#include "src/platform/ScopedHandle.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD kMutexWaitMs = 20;
// The longest line the trace builds; longer ones go out in more than one write.
const size_t kMaxFileLine = 1136;
const size_t kMaxDebuggerPiece = 1122;

// Holds the file mutex for as long as it was obtained; a wait that ran out
// still lets the caller append, so tracing never stalls for long.
class CMutexClaim {
public:
    explicit CMutexClaim(HANDLE hMutex) : m_hMutex(hMutex), m_bOwned(false)
    {
        if (m_hMutex) {
            DWORD dwWait = WaitForSingleObject(m_hMutex, kMutexWaitMs);
            m_bOwned = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
        }
    }
    ~CMutexClaim()
    {
        if (m_bOwned)
            ReleaseMutex(m_hMutex);
    }
    CMutexClaim(const CMutexClaim&) = delete;
    CMutexClaim& operator=(const CMutexClaim&) = delete;

private:
    HANDLE m_hMutex;
    bool m_bOwned;
};

void WriteBytes(HANDLE hFile, const char* pData, size_t cbData)
{
    DWORD cbWritten = 0;
    WriteFile(hFile, pData, static_cast<DWORD>(cbData), &cbWritten, nullptr);
}

// Opened for appending only: every write lands at the file's end as it is at that moment, so writers of other
// processes never overwrite each other, even when one of them went ahead without the mutex. A rotation may
// rename the file while another writer has it open.
HANDLE OpenForAppending(const char* pszPath)
{
    return CreateFileA(pszPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void CFileDebug::WriteToFile(const char* pszLine, size_t cbLine)
{
    // A reload on another thread may change the path meanwhile; work on a copy.
    char szPath[MAX_PATH];
    memcpy(szPath, m_szTraceFile, sizeof(szPath));
    szPath[sizeof(szPath) - 1] = '\0';
    if (szPath[0] == '\0')
        return;

    CMutexClaim claim(m_FileMutex.Get());

    CScopedHandle file(OpenForAppending(szPath));
    if (!file.IsValid())
        return;
    DWORD dwLimit = m_dwFileLimit;
    if (dwLimit != 0) {
        DWORD dwHigh = 0;
        SetLastError(NO_ERROR);
        DWORD dwLow = GetFileSize(file.Get(), &dwHigh);
        if ((dwLow != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) && (dwHigh != 0 || dwLow >= dwLimit)) {
            file.Close();  // a file still open could not be renamed
            // One backup generation: the path with ".txt" appended.
            char szBackup[MAX_PATH + 4];
            snprintf(szBackup, sizeof(szBackup), "%s.txt", szPath);
            DeleteFileA(szBackup);
            MoveFileA(szPath, szBackup);
            file.Reset(OpenForAppending(szPath));
            if (!file.IsValid())
                return;
        }
    }

    // The whole line in one write, each line feed as carriage return and line feed, so that no other
    // writer's line can come between its pieces.
    char szOut[2 * kMaxFileLine];
    size_t cbOut = 0;
    for (const char* pRun = pszLine; pRun < pszLine + cbLine; ++pRun) {
        if (cbOut + 2 > sizeof(szOut)) {
            WriteBytes(file.Get(), szOut, cbOut);
            cbOut = 0;
        }
        if (*pRun == '\n')
            szOut[cbOut++] = '\r';
        szOut[cbOut++] = *pRun;
    }
    if (cbOut > 0)
        WriteBytes(file.Get(), szOut, cbOut);
}

void CFileDebug::WriteToConsole(const char* pszLine, size_t cbLine)
{
    if (m_hConsole == INVALID_HANDLE_VALUE)
        return;
    DWORD cchWritten = 0;
    WriteConsoleA(m_hConsole, pszLine, static_cast<DWORD>(cbLine), &cchWritten, nullptr);
}

// The debugger shows each string as it comes, so every line goes out on its
// own with the line feed at its end rather than in front.
void CFileDebug::WriteToDebugger(const char* pszLine)
{
    const char* pPiece = pszLine;
    if (*pPiece == '\n')
        ++pPiece;
    char szPiece[kMaxDebuggerPiece + 2];
    for (;;) {
        const char* pFeed = strchr(pPiece, '\n');
        size_t cbPiece = pFeed ? static_cast<size_t>(pFeed - pPiece) : strlen(pPiece);
        if (cbPiece > kMaxDebuggerPiece)
            cbPiece = kMaxDebuggerPiece;
        memcpy(szPiece, pPiece, cbPiece);
        szPiece[cbPiece] = '\n';
        szPiece[cbPiece + 1] = '\0';
        OutputDebugStringA(szPiece);
        if (!pFeed)
            break;
        pPiece = pFeed + 1;
    }
}
