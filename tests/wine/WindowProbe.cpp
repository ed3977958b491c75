// Finds and drives a top-level window of another program in the same Wine prefix, for the window test only.
//
//   WindowProbe.exe wait "<title>" <seconds>       exit 0 once a visible window with exactly that title exists
//   WindowProbe.exe wait-gone "<title>" <seconds>  exit 0 once no visible window with that title is left
//   WindowProbe.exe texts "<title>" [id ...]       the title, "id=text enabled=0|1" for the buttons Start, Exit,
//                                                  Save and each id given, then "log:" and the log box's lines
//   WindowProbe.exe click "<title>" <id>           presses a visible, enabled button of the window
//   WindowProbe.exe columns "<title>" <id>         "columns=N": the column count of the window's list view <id>
//   WindowProbe.exe hwnd "<title>"                 the handle and the window's screen rectangle as an X
//                                                  geometry (WxH+X+Y), for cropping a screenshot
//   WindowProbe.exe settext "<title>" <id> "<text>" sets a control's text as typing would (the edit control
//                                                  tells its dialog of the change)
//   WindowProbe.exe select "<title>" <id> <name>...  selects exactly the rows of list view <id> whose first
//                                                  column reads one of the names, as clicks would
//   WindowProbe.exe syscommand "<title>" <number>  posts WM_SYSCOMMAND (61488 maximise, 61728 restore)
//
// Texts are printed in UTF-8, one item a line. Exit codes: 0 done, 1 not found, timed out or disabled, 2 usage.
#include "src/ui/ControlIds.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD POLL_MS = 100;
// A hung window must not hang the test: each message to the other program gets this long.
const UINT SEND_TIMEOUT_MS = 5000;

struct WindowSearch {
    const char* pszTitle;
    HWND hWnd;
};

BOOL CALLBACK MatchTitle(HWND hWnd, LPARAM lParam)
{
    WindowSearch* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    if (!IsWindowVisible(hWnd))
        return TRUE;
    char szTitle[512];
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    if (strcmp(szTitle, pSearch->pszTitle) != 0)
        return TRUE;
    pSearch->hWnd = hWnd;
    return FALSE;
}

HWND FindVisibleWindow(const char* pszTitle)
{
    WindowSearch search = {pszTitle, nullptr};
    EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
    return search.hWnd;
}

// Polls until the window's presence is as wanted or the time is up.
bool WaitFor(const char* pszTitle, bool bPresent, DWORD dwSeconds)
{
    const ULONGLONG ullDeadline = GetTickCount64() + ULONGLONG(dwSeconds) * 1000;
    for (;;) {
        if ((FindVisibleWindow(pszTitle) != nullptr) == bPresent)
            return true;
        if (GetTickCount64() >= ullDeadline)
            return false;
        Sleep(POLL_MS);
    }
}

std::string ToUtf8(const std::string& strAnsi)
{
    if (strAnsi.empty())
        return strAnsi;
    int nWide = MultiByteToWideChar(CP_ACP, 0, strAnsi.data(), int(strAnsi.size()), nullptr, 0);
    std::wstring strWide(size_t(nWide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, strAnsi.data(), int(strAnsi.size()), &strWide[0], nWide);
    int nUtf8 = WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, nullptr, 0, nullptr, nullptr);
    std::string strUtf8(size_t(nUtf8), '\0');
    WideCharToMultiByte(CP_UTF8, 0, strWide.data(), nWide, &strUtf8[0], nUtf8, nullptr, nullptr);
    return strUtf8;
}

// GetWindowText does not ask a control of another process for its text, so the text is asked for by message.
std::string ControlText(HWND hCtl)
{
    DWORD_PTR dwLength = 0;
    if (!SendMessageTimeoutA(hCtl, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &dwLength))
        return std::string();
    std::vector<char> buffer(dwLength + 1, '\0');
    DWORD_PTR dwCopied = 0;
    if (!SendMessageTimeoutA(hCtl, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &dwCopied))
        return std::string();
    return ToUtf8(std::string(buffer.data(), dwCopied < dwLength ? dwCopied : dwLength));
}

void PrintControl(HWND hWnd, int nId)
{
    HWND hCtl = GetDlgItem(hWnd, nId);
    if (!hCtl) {
        printf("%d missing\n", nId);
        return;
    }
    printf("%d=%s enabled=%d\n", nId, ControlText(hCtl).c_str(), IsWindowEnabled(hCtl) ? 1 : 0);
}

// The log's lines without their carriage returns, so that a shell can compare them.
void PrintLog(HWND hWnd)
{
    HWND hLog = GetDlgItem(hWnd, IDC_MAIN_LOG);
    if (!hLog) {
        printf("%d missing\n", IDC_MAIN_LOG);
        return;
    }
    printf("log:\n");
    std::string strLog = ControlText(hLog);
    std::string strLine;
    for (char c : strLog) {
        if (c == '\r')
            continue;
        strLine += c;
        if (c == '\n') {
            fputs(strLine.c_str(), stdout);
            strLine.clear();
        }
    }
    if (!strLine.empty())
        printf("%s\n", strLine.c_str());
}

bool ParseNumber(const char* pszText, long& nValue)
{
    char* pszEnd = nullptr;
    nValue = strtol(pszText, &pszEnd, 10);
    return *pszText && !*pszEnd && nValue >= 0;
}

int Usage()
{
    fputs("usage: WindowProbe wait|wait-gone \"<title>\" <seconds>\n"
          "       WindowProbe texts \"<title>\" [id ...]\n"
          "       WindowProbe click \"<title>\" <id>\n"
          "       WindowProbe columns \"<title>\" <id>\n"
          "       WindowProbe hwnd \"<title>\"\n"
          "       WindowProbe settext \"<title>\" <id> \"<text>\"\n"
          "       WindowProbe select \"<title>\" <id> <name>...\n"
          "       WindowProbe syscommand \"<title>\" <number>\n",
          stderr);
    return 2;
}

int Texts(HWND hWnd, int argc, char** argv)
{
    std::vector<int> ids = {IDC_MAIN_START, IDCANCEL, IDC_MAIN_SAVE};
    for (int i = 3; i < argc; ++i) {
        long nId = 0;
        if (!ParseNumber(argv[i], nId))
            return Usage();
        ids.push_back(int(nId));
    }
    char szTitle[512];
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    printf("title=%s\n", ToUtf8(szTitle).c_str());
    for (int nId : ids)
        PrintControl(hWnd, nId);
    PrintLog(hWnd);
    return 0;
}

// Posted as the button's own notification would be, so that the probe never waits on the handler.
int Click(HWND hWnd, const char* pszId)
{
    long nId = 0;
    if (!ParseNumber(pszId, nId))
        return Usage();
    HWND hCtl = GetDlgItem(hWnd, int(nId));
    if (!hCtl || !IsWindowVisible(hCtl) || !IsWindowEnabled(hCtl)) {
        fprintf(stderr, "WindowProbe: no visible, enabled control %ld\n", nId);
        return 1;
    }
    if (!PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(hCtl))) {
        fprintf(stderr, "WindowProbe: posting to the window failed with %lu\n", GetLastError());
        return 1;
    }
    return 0;
}

// The header's item count needs no buffer in the other program, unlike the columns' texts.
int Columns(HWND hWnd, const char* pszId)
{
    long nId = 0;
    if (!ParseNumber(pszId, nId))
        return Usage();
    HWND hList = GetDlgItem(hWnd, int(nId));
    DWORD_PTR hHeader = 0;
    DWORD_PTR nCount = 0;
    if (!hList ||
        !SendMessageTimeoutA(hList, LVM_GETHEADER, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &hHeader) || !hHeader ||
        !SendMessageTimeoutA(reinterpret_cast<HWND>(hHeader), HDM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG,
                             SEND_TIMEOUT_MS, &nCount)) {
        fprintf(stderr, "WindowProbe: no list view %ld with a header\n", nId);
        return 1;
    }
    printf("columns=%d\n", int(nCount));
    return 0;
}

int SetText(HWND hWnd, const char* pszId, const char* pszText)
{
    long nId = 0;
    if (!ParseNumber(pszId, nId))
        return Usage();
    HWND hCtl = GetDlgItem(hWnd, int(nId));
    DWORD_PTR dwResult = 0;
    if (!hCtl || !SendMessageTimeoutA(hCtl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszText), SMTO_ABORTIFHUNG,
                                      SEND_TIMEOUT_MS, &dwResult)) {
        fprintf(stderr, "WindowProbe: no control %ld takes the text\n", nId);
        return 1;
    }
    return 0;
}

// A buffer in the other program: list-view messages carry pointers that are only valid there.
class CRemoteBuffer {
public:
    CRemoteBuffer(HWND hWnd, SIZE_T cb) : m_cb(cb)
    {
        DWORD dwProcess = 0;
        GetWindowThreadProcessId(hWnd, &dwProcess);
        m_hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwProcess);
        if (m_hProcess)
            m_pvRemote = VirtualAllocEx(m_hProcess, nullptr, cb, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~CRemoteBuffer()
    {
        if (m_pvRemote)
            VirtualFreeEx(m_hProcess, m_pvRemote, 0, MEM_RELEASE);
        if (m_hProcess)
            CloseHandle(m_hProcess);
    }
    CRemoteBuffer(const CRemoteBuffer&) = delete;
    CRemoteBuffer& operator=(const CRemoteBuffer&) = delete;

    bool IsValid() const { return m_pvRemote != nullptr; }
    BYTE* Remote() const { return static_cast<BYTE*>(m_pvRemote); }
    bool Write(SIZE_T nOffset, const void* pvData, SIZE_T cb)
    {
        return nOffset + cb <= m_cb && WriteProcessMemory(m_hProcess, Remote() + nOffset, pvData, cb, nullptr);
    }
    bool Read(SIZE_T nOffset, void* pvData, SIZE_T cb)
    {
        return nOffset + cb <= m_cb && ReadProcessMemory(m_hProcess, Remote() + nOffset, pvData, cb, nullptr);
    }

private:
    SIZE_T m_cb;
    HANDLE m_hProcess = nullptr;
    void* m_pvRemote = nullptr;
};

int Select(HWND hWnd, int argc, char** argv)
{
    long nId = 0;
    if (!ParseNumber(argv[3], nId))
        return Usage();
    HWND hList = GetDlgItem(hWnd, int(nId));
    const SIZE_T TEXT_OFFSET = sizeof(LVITEMA);
    const int TEXT_SIZE = 260;
    CRemoteBuffer buffer(hWnd, TEXT_OFFSET + TEXT_SIZE);
    if (!hList || !buffer.IsValid()) {
        fprintf(stderr, "WindowProbe: no list view %ld to select in\n", nId);
        return 1;
    }
    DWORD_PTR nRows = 0;
    SendMessageTimeoutA(hList, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &nRows);
    int nSelected = 0;
    for (int nRow = 0; nRow < int(nRows); ++nRow) {
        LVITEMA item = {};
        item.iSubItem = 0;
        item.cchTextMax = TEXT_SIZE;
        item.pszText = reinterpret_cast<char*>(buffer.Remote() + TEXT_OFFSET);
        char szText[TEXT_SIZE] = "";
        DWORD_PTR dwResult = 0;
        if (!buffer.Write(0, &item, sizeof item) ||
            !SendMessageTimeoutA(hList, LVM_GETITEMTEXTA, WPARAM(nRow), reinterpret_cast<LPARAM>(buffer.Remote()),
                                 SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &dwResult) ||
            !buffer.Read(TEXT_OFFSET, szText, sizeof szText - 1))
            return 1;
        bool bWanted = false;
        for (int i = 4; i < argc; ++i)
            bWanted = bWanted || strcmp(szText, argv[i]) == 0;
        LVITEMA state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = bWanted ? (nSelected == 0 ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_SELECTED) : 0;
        if (!buffer.Write(0, &state, sizeof state) ||
            !SendMessageTimeoutA(hList, LVM_SETITEMSTATE, WPARAM(nRow), reinterpret_cast<LPARAM>(buffer.Remote()),
                                 SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &dwResult))
            return 1;
        nSelected += bWanted ? 1 : 0;
    }
    if (nSelected != argc - 4) {
        fprintf(stderr, "WindowProbe: %d of %d rows found\n", nSelected, argc - 4);
        return 1;
    }
    return 0;
}

int SysCommand(HWND hWnd, const char* pszCommand)
{
    long nCommand = 0;
    if (!ParseNumber(pszCommand, nCommand))
        return Usage();
    return PostMessageA(hWnd, WM_SYSCOMMAND, WPARAM(nCommand), 0) ? 0 : 1;
}

int Geometry(HWND hWnd)
{
    RECT rc;
    if (!GetWindowRect(hWnd, &rc))
        return 1;
    printf("hwnd=0x%llx geometry=%ldx%ld+%ld+%ld\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hWnd)),
           rc.right - rc.left, rc.bottom - rc.top, rc.left, rc.top);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string strCommand = argv[1];
    const char* pszTitle = argv[2];

    if (strCommand == "wait" || strCommand == "wait-gone") {
        long nSeconds = 0;
        if (argc != 4 || !ParseNumber(argv[3], nSeconds))
            return Usage();
        if (WaitFor(pszTitle, strCommand == "wait", DWORD(nSeconds)))
            return 0;
        fprintf(stderr, "WindowProbe: %s \"%s\" timed out after %ld s\n", strCommand.c_str(), pszTitle, nSeconds);
        return 1;
    }
    if (strCommand != "texts" && strCommand != "click" && strCommand != "columns" && strCommand != "hwnd" &&
        strCommand != "settext" && strCommand != "select" && strCommand != "syscommand")
        return Usage();
    if (((strCommand == "click" || strCommand == "columns" || strCommand == "syscommand") && argc != 4) ||
        (strCommand == "hwnd" && argc != 3) || (strCommand == "settext" && argc != 5) ||
        (strCommand == "select" && argc < 5))
        return Usage();

    HWND hWnd = FindVisibleWindow(pszTitle);
    if (!hWnd) {
        fprintf(stderr, "WindowProbe: no visible window \"%s\"\n", pszTitle);
        return 1;
    }
    if (strCommand == "texts")
        return Texts(hWnd, argc, argv);
    if (strCommand == "click")
        return Click(hWnd, argv[3]);
    if (strCommand == "columns")
        return Columns(hWnd, argv[3]);
    if (strCommand == "settext")
        return SetText(hWnd, argv[3], argv[4]);
    if (strCommand == "select")
        return Select(hWnd, argc, argv);
    if (strCommand == "syscommand")
        return SysCommand(hWnd, argv[3]);
    return Geometry(hWnd);
}
