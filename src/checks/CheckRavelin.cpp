// The diagnosis step that inspects the base service's installation: version, service, COM registration, modules, drivers.
#include "src/checks/CheckRavelin.h"

#include "src/platform/ScopedHandle.h"
#include "src/report/ReportElements.h"
#include "src/sysaccess/FileTimes.h"
#include "src/sysaccess/FileVersion.h"
#include "src/sysaccess/InstallInfo.h"
#include "src/sysaccess/RegistryKey.h"
#include "src/sysaccess/ServiceMgr.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <string>

namespace {

const char BASE_SERVICE[] = "Ravelind";
const char ROUTER_LIBRARY[] = "Vexil.dll";
const char ROUTER_APPID[] = "{9730B9A2-1CDF-11D2-950E-0000E817385C}";
const char CATEGORY[] = "Quillmont";
const int MAX_MODULES = 64;

struct SDriver {
    const char* pszFile;
    const char* pszService;
    const char* pszDeletionMessage;
    bool bMandatory;
};

const SDriver DRIVERS[] = {
    {"Fennock.sys", "Fennock", "Fennock marked for deletion!", false},
    {"ZorEziVE.sys", "ZorEziVE", "ZorEziVE marked for deletion!", false},
    {"Gorrel.sys", "Gorrel", "Gorrel marked for deletion! Try setup repair option to fix that!", true},
};

std::string JoinPath(const std::string& strDirectory, const char* pszName)
{
    char szPath[2 * MAX_PATH];
    std::snprintf(szPath, sizeof szPath, "%s\\%s", strDirectory.c_str(), pszName);
    return szPath;
}

void WriteProductVersion(CXmlDocument& doc, RavelinInstallInfo& install)
{
    CFileVersion version;
    std::string strLibrary = JoinPath(install.GetBinRoot(), ROUTER_LIBRARY);
    bool bRead = version.Load(strLibrary.c_str());
    AddChild(doc, "ProductVersion", bRead ? version.QueryString("ProductVersion") : "n/a");
}

// True when the base service is running.
bool WriteServiceStatus(CXmlDocument& doc)
{
    EnterNewChild(doc, "Service");
    DWORD dwState = 0;
    AddChild(doc, "Status", CServiceMgr::QueryLocalState(BASE_SERVICE, &dwState));
    doc.Ascend();
    return dwState == SERVICE_RUNNING;
}

void WriteRouterRegistration(CXmlDocument& doc)
{
    EnterNewChild(doc, "DCOM");
    CRegistryKey key;
    bool bRegistered = key.Open("AppID", HKEY_CLASSES_ROOT, CRegistryKey::READ_64) == ERROR_SUCCESS &&
                       key.Open(ROUTER_APPID, nullptr, KEY_ALL_ACCESS) == ERROR_SUCCESS;
    AddChild(doc, "Registered", bRegistered ? "yes" : "no");
    doc.Ascend();
}

// Description, FileVersion, ProductVersion, Location and Created of one file, into the current element.
void WriteFileVersion(CXmlDocument& doc, CFileVersion& version, bool bRead, const std::string& strPath)
{
    AddChild(doc, "Description", bRead ? version.QueryString("FileDescription") : "n/a");
    AddChild(doc, "FileVersion", bRead ? version.QueryString("FileVersion") : "n/a");
    AddChild(doc, "ProductVersion", bRead ? version.QueryString("ProductVersion") : "n/a");
    AddChild(doc, "Location", bRead ? strPath.c_str() : "n/a");
    AddChild(doc, "Created", FileCreationTimeText(strPath.c_str()).c_str());
}

void WriteModule(CXmlDocument& doc, RavelinInstallInfo& install, const std::string& strModuleIni,
                 const char* pszModule)
{
    EnterNamedChild(doc, "Module", pszModule);

    UINT uInstall = GetPrivateProfileIntA(pszModule, "Install", 1, strModuleIni.c_str());
    AddChild(doc, "Installed", uInstall == 0 ? "no" : "yes");

    const std::string& strRoot = install.GetRootKey();
    CRegistryKey detected;
    DWORD dwDetected = 0;
    bool bDetected = detected.Open((strRoot + "\\Loader\\Detected").c_str(), HKEY_LOCAL_MACHINE,
                                   CRegistryKey::ALL_ACCESS_64) == ERROR_SUCCESS &&
                     detected.QueryDword(pszModule, &dwDetected) == ERROR_SUCCESS && dwDetected != 0;
    AddChild(doc, "Detected", bDetected ? "yes" : "no");

    CRegistryKey status;
    char szStatus[MAX_PATH] = "";
    DWORD cbStatus = sizeof szStatus;
    bool bStatus = status.Open((strRoot + "\\Loader\\ModuleStatus").c_str(), HKEY_LOCAL_MACHINE,
                               CRegistryKey::ALL_ACCESS_64) == ERROR_SUCCESS &&
                   status.QueryString(pszModule, szStatus, &cbStatus) == ERROR_SUCCESS;
    AddChild(doc, "Status", bStatus ? szStatus : "n/a");

    std::string strFile = JoinPath(install.GetBinRoot(), (std::string(pszModule) + ".dll").c_str());
    CRegistryKey moduleKey;
    char szCurrent[MAX_PATH] = "";
    DWORD cbCurrent = sizeof szCurrent;
    if (moduleKey.Open(JoinPath(strRoot, pszModule).c_str(), HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64) ==
            ERROR_SUCCESS &&
        moduleKey.QueryString("CurrentVersion", szCurrent, &cbCurrent) == ERROR_SUCCESS)
        strFile = szCurrent;

    if (EnterNewChild(doc, "Version")) {
        CFileVersion version;
        bool bRead = version.Load(strFile.c_str());
        WriteFileVersion(doc, version, bRead, strFile);
        doc.Ascend();
    }
    doc.Ascend();
}

void WriteModules(CXmlDocument& doc, RavelinInstallInfo& install)
{
    EnterNewChild(doc, "Modules");
    std::string strModuleIni = JoinPath(install.GetBinRoot(), "Module.ini");
    CScopedHandle moduleIni(CreateFileA(strModuleIni.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (moduleIni.IsValid()) {
        moduleIni.Close();
        for (int n = 1; n <= MAX_MODULES; ++n) {
            char szKey[16];
            std::snprintf(szKey, sizeof szKey, "%d", n);
            char szModule[MAX_PATH] = "";
            GetPrivateProfileStringA("Modules", szKey, "", szModule, sizeof szModule, strModuleIni.c_str());
            if (szModule[0] == '\0')
                break;
            WriteModule(doc, install, strModuleIni, szModule);
        }
    }
    doc.Ascend();
}

void WriteDriverStatus(CDiagReport& report, CXmlDocument& doc, const SDriver& driver)
{
    CServiceMgr services(CServiceMgr::NeverAsk());
    if (services.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != ERROR_SUCCESS) {
        AddChild(doc, "Status", "n/a");
        if (driver.bMandatory)
            report.AddMessage(doc, CATEGORY,
                              "Mandatory device driver Gorrel not found! Use setup repair option to fix that!",
                              "Errors");
        return;
    }
    DWORD dwState = 0;
    DWORD dwResult = services.QueryStatus(driver.pszService, &dwState);
    if (dwResult == ERROR_SUCCESS) {
        AddChild(doc, "Status", CServiceMgr::StateName(dwState));
    } else if (dwResult == ERROR_SERVICE_MARKED_FOR_DELETE) {
        AddChild(doc, "Status", "marked for deletion");
        report.AddMessage(doc, CATEGORY, driver.pszDeletionMessage, "Errors");
    } else {
        AddChild(doc, "Status", "n/a");
    }
    services.Close();
}

void WriteDrivers(CDiagReport& report, CXmlDocument& doc, RavelinInstallInfo& install)
{
    EnterNewChild(doc, "Drivers");
    for (const SDriver& driver : DRIVERS) {
        std::string strFile = JoinPath(install.GetBinRoot(), driver.pszFile);
        CFileVersion version;
        if (!version.Load(strFile.c_str()))
            continue;
        EnterNamedChild(doc, "Driver", driver.pszFile);
        if (EnterNewChild(doc, "Version")) {
            WriteFileVersion(doc, version, true, strFile);
            doc.Ascend();
        }
        WriteDriverStatus(report, doc, driver);
        doc.Ascend();
    }
    doc.Ascend();
}

}  // namespace

DWORD CheckRavelin(CDiagReport& report, CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : -> CheckRavelin()");
    bool bRunning = false;
    try {
        if (EnterReportSection(doc, "Ravelin")) {
            RavelinInstallInfo install;
            CRegistryKey root;
            if (root.Open(install.GetRootKey().c_str(), HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) ==
                ERROR_SUCCESS) {
                WriteProductVersion(doc, install);
                bRunning = WriteServiceStatus(doc);
                WriteRouterRegistration(doc);
                WriteModules(doc, install);
                WriteDrivers(report, doc, install);
            }
            if (!bRunning)
                report.AddMessage(doc, CATEGORY, "Ravelin service is not running!", "Errors");
        }
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION in CheckRavelin()!");
    }
    TRACE(4, "\nTriagist            : <- CheckRavelin()");
    return bRunning ? STEP_OK : STEP_FINDINGS;
}
