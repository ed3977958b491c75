// services.ini: every service and driver with its configuration and state, from the service control manager.
#include "src/capture/Capture.h"

#include "src/platform/ScopedHandle.h"

#include <cstring>
#include <vector>

namespace {

std::string Dependencies(LPCSTR pszMulti)
{
    std::string strList;
    for (LPCSTR psz = pszMulti; psz && *psz; psz += std::strlen(psz) + 1) {
        if (*psz == SC_GROUP_IDENTIFIERA)  // a load order group: the lab's table knows services only
            continue;
        strList += (strList.empty() ? "" : ",") + std::string(psz);
    }
    return strList;
}

}  // namespace

void CaptureServices(SCapture& capture)
{
    CScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager.IsValid()) {
        capture.log.Missed("services.ini", GetLastError());
        return;
    }
    std::vector<BYTE> listing;
    std::vector<ENUM_SERVICE_STATUSA> services;
    std::vector<std::vector<BYTE>> blocks;
    DWORD dwResume = 0;
    for (;;) {
        DWORD cbNeeded = 0;
        DWORD nReturned = 0;
        std::vector<BYTE> block(64 * 1024);
        BOOL bDone = EnumServicesStatusA(manager.Get(), SERVICE_DRIVER | SERVICE_WIN32, SERVICE_STATE_ALL,
                                         reinterpret_cast<LPENUM_SERVICE_STATUSA>(block.data()),
                                         static_cast<DWORD>(block.size()), &cbNeeded, &nReturned, &dwResume);
        DWORD dwError = bDone ? ERROR_SUCCESS : GetLastError();
        if (!bDone && dwError != ERROR_MORE_DATA) {
            capture.log.Missed("services.ini", dwError);
            return;
        }
        const ENUM_SERVICE_STATUSA* pEntries = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(block.data());
        services.insert(services.end(), pEntries, pEntries + nReturned);
        blocks.push_back(std::move(block));  // the entries point into it
        if (bDone || nReturned == 0)
            break;
    }

    std::string& strOut = capture.folder.Text("services.ini");
    strOut = "; The services and drivers, captured by triagist-capture.\r\n";
    for (const ENUM_SERVICE_STATUSA& service : services) {
        const SERVICE_STATUS& status = service.ServiceStatus;
        strOut += FormatText("\r\n[%s]\r\nDisplayName=%s\r\nType=0x%lX\r\n", service.lpServiceName,
                             service.lpDisplayName, static_cast<unsigned long>(status.dwServiceType));
        CScopedServiceHandle handle(OpenServiceA(manager.Get(), service.lpServiceName, SERVICE_QUERY_CONFIG));
        if (!handle.IsValid()) {
            DWORD dwError = GetLastError();
            if (dwError == ERROR_SERVICE_MARKED_FOR_DELETE)
                strOut += "MarkedForDelete=1\r\n";
            else
                capture.log.Missed(FormatText("configuration of service %s", service.lpServiceName), dwError);
        } else {
            DWORD cbNeeded = 0;
            QueryServiceConfigA(handle.Get(), nullptr, 0, &cbNeeded);
            std::vector<BYTE> config(cbNeeded ? cbNeeded : sizeof(QUERY_SERVICE_CONFIGA));
            auto* pConfig = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(config.data());
            if (!QueryServiceConfigA(handle.Get(), pConfig, static_cast<DWORD>(config.size()), &cbNeeded)) {
                capture.log.Missed(FormatText("configuration of service %s", service.lpServiceName), GetLastError());
            } else {
                std::string strBinary = pConfig->lpBinaryPathName ? pConfig->lpBinaryPathName : "";
                strOut += FormatText("Start=%lu\r\nErrorControl=%lu\r\nBinaryPath=%s\r\nGroup=%s\r\nObjectName=%s\r\n"
                                     "Tag=%lu\r\n",
                                     static_cast<unsigned long>(pConfig->dwStartType),
                                     static_cast<unsigned long>(pConfig->dwErrorControl), strBinary.c_str(),
                                     pConfig->lpLoadOrderGroup ? pConfig->lpLoadOrderGroup : "",
                                     pConfig->lpServiceStartName ? pConfig->lpServiceStartName : "",
                                     static_cast<unsigned long>(pConfig->dwTagId));
                std::string strDepends = Dependencies(pConfig->lpDependencies);
                if (!strDepends.empty())
                    strOut += "DependOnService=" + strDepends + "\r\n";
                std::string strFile = ImageFilePath(strBinary);
                if (!strFile.empty())
                    capture.AddFile(strFile);
            }
        }
        strOut += FormatText("State=%lu\r\nAccept=0x%lX\r\n", static_cast<unsigned long>(status.dwCurrentState),
                             static_cast<unsigned long>(status.dwControlsAccepted));
        if (status.dwWaitHint)
            strOut += FormatText("WaitHint=%lu\r\n", static_cast<unsigned long>(status.dwWaitHint));
    }
    capture.log.Captured(FormatText("services.ini: %u services and drivers", static_cast<unsigned>(services.size())));
}
