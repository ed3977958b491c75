// The restart of the agents' services with their dependents.
#include "src/tools/AgentRestart.h"

#include "src/sysaccess/ServiceMgr.h"
#include "src/trace/FileDebug.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <string>

namespace {

const char SNMP_SERVICE[] = "SNMP";
const char BASE_SERVICE[] = "Ravelind";
const char RESCAN_ARGUMENT[] = "/RESCAN";
const DWORD SERVICE_TIMEOUT_MS = 120000;
const int PROGRESS_END = 100;

// A restart text with the display names in its "%s" places.
std::string FormatText(UINT uId, const std::string& strFirst, const std::string& strSecond = "")
{
    char szText[1024];
    std::snprintf(szText, sizeof szText, LoadLocalizedString(uId).c_str(), strFirst.c_str(), strSecond.c_str());
    return szText;
}

}  // namespace

// The services one tree walk has entered. A service met again while its own walk is still under
// way depends on itself through the others: services.ini holds a cycle the walk must not follow.
class CServiceWalk {
public:
    // False when the service was entered before; traced when that closes a cycle.
    bool Enter(LPCSTR pszService, LPCSTR pszFrom)
    {
        std::string strKey = Key(pszService);
        if (m_Entered.insert(strKey).second) {
            m_Open.insert(strKey);
            return true;
        }
        if (m_Open.count(strKey))
            TRACE(1, "\nCAgentRestart       : WARNING! Dependency cycle: \"%s\" depends on \"%s\", skipped",
                  pszService, pszFrom);
        return false;
    }
    void Leave(LPCSTR pszService) { m_Open.erase(Key(pszService)); }

private:
    static std::string Key(LPCSTR pszService)
    {
        std::string strKey = pszService ? pszService : "";
        for (char& c : strKey)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return strKey;
    }

    std::set<std::string> m_Entered;
    std::set<std::string> m_Open;
};

CAgentRestart::CAgentRestart(IRestartView& view)
    : m_View(view), m_lcid(GetThreadLocale()), m_Worker("AgentRestart")
{
}

DWORD CAgentRestart::RestartAgents(DWORD bStop, DWORD bStart, DWORD bRescan, DWORD bFullRestart)
{
    SetThreadLocale(m_lcid);
    TRACE(4, "\nCAgentRestart       : -> RestartAgents()");
    m_View.EnableRunControls(false);

    m_Stopped.clear();
    DWORD dwResult = 1;
    if (bStop) {
        dwResult = StopServiceTree(SNMP_SERVICE);
        if (dwResult == 1 && bFullRestart)
            dwResult = StopServiceTree(BASE_SERVICE);
    }
    if (bStart && bStop && dwResult == 1) {
        if (bFullRestart) {
            LPCSTR apszRescan[] = {RESCAN_ARGUMENT};
            dwResult = StartServiceTree(BASE_SERVICE, bRescan ? 1 : 0, bRescan ? apszRescan : nullptr);
            if (dwResult == 1)
                dwResult = StartServiceTree(SNMP_SERVICE, 0, nullptr);
        } else {
            dwResult = StartServiceTree(SNMP_SERVICE, 0, nullptr);
        }
    }

    UINT uOutcome = dwResult == 1 ? IDS_RESTART_COMPLETED : IDS_RESTART_FAILED;
    // A restart that fails half-way would leave the agents down; the run still counts as failed.
    if (dwResult != 1 && bStart && !m_Stopped.empty() && StartStoppedAgain(bRescan))
        uOutcome = IDS_RESTART_RECOVERED;
    m_View.SetProgress(PROGRESS_END);
    m_View.ShowStatus(LoadLocalizedString(uOutcome));
    m_View.EnableRunControls(true);
    TRACE(4, "\nCAgentRestart       : <- RestartAgents() result %u", static_cast<unsigned>(dwResult));
    return dwResult;
}

DWORD CAgentRestart::StopServiceTree(LPCSTR pszService)
{
    CServiceWalk walk;
    walk.Enter(pszService, pszService);
    return StopTree(pszService, walk);
}

DWORD CAgentRestart::StopTree(LPCSTR pszService, CServiceWalk& walk)
{
    // No owner window: the manager's question about a locked database is put to the user in every form.
    CServiceMgr serviceMgr(nullptr);
    // Nothing to stop where there is no manager or no such service: the step has done its part.
    if (serviceMgr.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != 0 || !serviceMgr.IsInstalled(pszService))
        return 1;

    bool bFailed = false;
    CDependentServiceList dependents = serviceMgr.GetDependentServices(pszService, SERVICE_ACTIVE);
    for (DWORD i = 0; i < dependents.GetCount(); ++i) {
        const ENUM_SERVICE_STATUSA& dependent = dependents.GetEntry(i);
        if (!walk.Enter(dependent.lpServiceName, pszService))
            continue;
        std::string strQuestion = FormatText(IDS_RESTART_DEPENDENT_QUESTION, dependent.lpDisplayName,
                                             serviceMgr.GetDisplayName(pszService));
        if (m_View.Ask(strQuestion, LoadLocalizedString(IDS_RESTART_DEPENDENTS_CAPTION),
                       MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
            bFailed = true;
            continue;
        }
        if (StopTree(dependent.lpServiceName, walk) == 0)
            bFailed = true;
    }
    walk.Leave(pszService);
    if (bFailed) {
        TRACE(1, "\nCAgentRestart       : ERROR! Dependents of \"%s\" not stopped!", pszService);
        return 0;
    }

    std::string strDisplayName = serviceMgr.GetDisplayName(pszService);
    BeginOperation(IDS_RESTART_STOPPING, strDisplayName);
    bool bStopped = serviceMgr.StopService(pszService, FALSE, SERVICE_TIMEOUT_MS) == 0;
    EndOperation(IDS_RESTART_SERVICE_STOPPED, strDisplayName);
    if (!bStopped)
        ShowError(IDS_RESTART_STOP_FAILED, IDS_RESTART_STOP_ERROR_CAPTION, strDisplayName);
    else
        m_Stopped.push_back(pszService);
    return bStopped ? 1 : 0;
}

DWORD CAgentRestart::StartServiceTree(LPCSTR pszService, DWORD dwArgc, LPCSTR* ppszArgv)
{
    CServiceWalk walk;
    walk.Enter(pszService, pszService);
    return StartTree(pszService, dwArgc, ppszArgv, walk);
}

DWORD CAgentRestart::StartTree(LPCSTR pszService, DWORD dwArgc, LPCSTR* ppszArgv, CServiceWalk& walk)
{
    CServiceMgr serviceMgr(nullptr);
    if (serviceMgr.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != 0 || !serviceMgr.IsInstalled(pszService))
        return 1;

    std::string strDisplayName = serviceMgr.GetDisplayName(pszService);
    BeginOperation(IDS_RESTART_STARTING, strDisplayName);
    bool bStarted = serviceMgr.StartService(pszService, dwArgc, ppszArgv, FALSE, SERVICE_TIMEOUT_MS) == 0;
    EndOperation(IDS_RESTART_SERVICE_STARTED, strDisplayName);

    bool bFailed = !bStarted;
    CDependentServiceList dependents = serviceMgr.GetDependentServices(pszService, SERVICE_INACTIVE);
    // The manager lists dependents in the reverse of the order they must start in.
    for (DWORD i = dependents.GetCount(); bStarted && i > 0; --i) {
        LPCSTR pszDependent = dependents.GetEntry(i - 1).lpServiceName;
        if (walk.Enter(pszDependent, pszService) && StartTree(pszDependent, 0, nullptr, walk) == 0)
            bFailed = true;
    }
    walk.Leave(pszService);

    if (bFailed)
        ShowError(IDS_RESTART_START_FAILED, IDS_RESTART_START_ERROR_CAPTION, strDisplayName);
    return bFailed ? 0 : 1;
}

void CAgentRestart::BeginOperation(UINT uTextId, const std::string& strDisplayName)
{
    m_View.ShowStatus(FormatText(uTextId, strDisplayName));
    m_View.SetProgress(0);
    m_View.StartProgressTimer();
}

void CAgentRestart::EndOperation(UINT uTextId, const std::string& strDisplayName)
{
    m_View.StopProgressTimer();
    m_View.SetProgress(PROGRESS_END);
    m_View.ShowStatus(FormatText(uTextId, strDisplayName));
}

void CAgentRestart::ShowError(UINT uTextId, UINT uCaptionId, const std::string& strDisplayName)
{
    m_View.Ask(FormatText(uTextId, strDisplayName), LoadLocalizedString(uCaptionId), MB_OK | MB_ICONHAND);
}

bool CAgentRestart::StartStoppedAgain(DWORD bRescan)
{
    TRACE(1, "\nCAgentRestart       : Restart failed, starting the services it stopped again");
    m_View.ShowStatus(LoadLocalizedString(IDS_RESTART_RECOVERING));
    CServiceMgr serviceMgr(nullptr);
    if (serviceMgr.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != 0)
        return false;
    bool bAllRunning = true;
    // Stopped dependents first, so started the other way round: each service after what it needs.
    for (auto it = m_Stopped.rbegin(); it != m_Stopped.rend(); ++it) {
        const char* pszService = it->c_str();
        DWORD dwState = 0;
        if (serviceMgr.QueryStatus(pszService, &dwState) == 0 && dwState == SERVICE_RUNNING)
            continue;
        std::string strDisplayName = serviceMgr.GetDisplayName(pszService);
        LPCSTR apszRescan[] = {RESCAN_ARGUMENT};
        bool bBase = lstrcmpiA(pszService, BASE_SERVICE) == 0 && bRescan;
        BeginOperation(IDS_RESTART_STARTING, strDisplayName);
        bool bStarted = serviceMgr.StartService(pszService, bBase ? 1 : 0, bBase ? apszRescan : nullptr, FALSE,
                                                SERVICE_TIMEOUT_MS) == 0;
        EndOperation(bStarted ? IDS_RESTART_SERVICE_STARTED : IDS_RESTART_START_FAILED, strDisplayName);
        if (bStarted)
            TRACE(2, "\nCAgentRestart       : \"%s\" started again", pszService);
        else
            TRACE(1, "\nCAgentRestart       : ERROR! \"%s\" could not be started again", pszService);
        bAllRunning = bAllRunning && bStarted;
    }
    return bAllRunning;
}

bool CAgentRestart::StartRestart(DWORD bRescan, DWORD bFullRestart)
{
    m_bRescan = bRescan;
    m_bFullRestart = bFullRestart;
    if (!m_Worker.Start(WorkerMain, this))
        return false;
    // The run ends by itself; nobody waits for it.
    m_Worker.Detach();
    return true;
}

unsigned WINAPI CAgentRestart::WorkerMain(void* pvRestart)
{
    CAgentRestart* pRestart = static_cast<CAgentRestart*>(pvRestart);
    pRestart->RestartAgents(1, 1, pRestart->m_bRescan, pRestart->m_bFullRestart);
    return 0;
}
