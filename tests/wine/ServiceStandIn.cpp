// A stand-in for one of the agents' services, for the Wine platform test only: a Windows service that appends
// "start <name>" and "stop <name>" to a journal file shared by every stand-in, so the journal's line order is the
// order the service manager ran them in.
//
//   ServiceStandIn.exe <service name> <journal file>
//
// While "<journal file>.fail.<service name>" exists, a start fails once: the file is removed and the service stops
// with an error at once, as a service whose start went wrong does.
//
//   ServiceStandIn.exe -TRACE <module> <milliseconds>
//
// A second process with the program's trace facility: traces "tick <n>" at level 1 every 50 ms for that long, so a
// test sees when the settings another process wrote are taken up. The event "<module>.ticking" is set after the
// first tick.
#include "src/platform/ScopedHandle.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <string>

namespace {

std::string g_strName;
std::string g_strJournal;
SERVICE_STATUS_HANDLE g_hStatus = nullptr;
CScopedHandle g_StopEvent;

void Journal(const char* pszWhat)
{
    // FILE_APPEND_DATA writes each line whole at the end, whichever stand-in writes it.
    CScopedHandle file(CreateFileA(g_strJournal.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return;
    std::string strLine = std::string(pszWhat) + " " + g_strName + "\r\n";
    DWORD dwWritten = 0;
    WriteFile(file.Get(), strLine.data(), static_cast<DWORD>(strLine.size()), &dwWritten, nullptr);
}

void Report(DWORD dwState, DWORD dwExitCode = NO_ERROR)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = dwState;
    status.dwControlsAccepted = dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = dwExitCode;
    status.dwWaitHint = dwState == SERVICE_RUNNING || dwState == SERVICE_STOPPED ? 0 : 2000;
    SetServiceStatus(g_hStatus, &status);
}

DWORD WINAPI Control(DWORD dwControl, DWORD, void*, void*)
{
    if (dwControl != SERVICE_CONTROL_STOP)
        return dwControl == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_StopEvent.Get());
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    g_hStatus = RegisterServiceCtrlHandlerExA(g_strName.c_str(), Control, nullptr);
    if (!g_hStatus)
        return;
    std::string strFail = g_strJournal + ".fail." + g_strName;
    if (DeleteFileA(strFail.c_str())) {
        Journal("failed");
        Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
        return;
    }
    g_StopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Journal("start");
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_StopEvent.Get(), INFINITE);
    Journal("stop");
    Report(SERVICE_STOPPED);
}

int TraceTicks(const char* pszModule, DWORD dwMilliseconds)
{
    g_FileDebug.Init(pszModule, FALSE);
    // Tells a waiting test that the settings were read and the first tick traced.
    CScopedHandle ticking(CreateEventA(nullptr, TRUE, FALSE, (std::string(pszModule) + ".ticking").c_str()));
    for (DWORD dwTick = 0; dwTick * 50 < dwMilliseconds; ++dwTick) {
        TRACE(1, "\n%s: tick %u", pszModule, static_cast<unsigned>(dwTick));
        if (dwTick == 0)
            SetEvent(ticking.Get());
        Sleep(50);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "-TRACE")
        return TraceTicks(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    if (argc != 3) {
        std::fprintf(stderr, "usage: ServiceStandIn.exe <service name> <journal file>\n"
                             "       ServiceStandIn.exe -TRACE <module> <milliseconds>\n");
        return 2;
    }
    g_strName = argv[1];
    g_strJournal = argv[2];
    char szName[256];
    lstrcpynA(szName, g_strName.c_str(), sizeof szName);
    SERVICE_TABLE_ENTRYA table[] = {{szName, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
