// network.ini: the network parameters, interfaces, addresses and routes from the IP Helper API.
#include "src/capture/Capture.h"

#include <memory>
#include <vector>

namespace {

template <class T, class FCall>
std::unique_ptr<BYTE[]> Fetch(FCall call, DWORD& dwError)
{
    ULONG cb = 0;
    call(nullptr, &cb);
    for (int nTry = 0; nTry < 4; ++nTry) {
        std::unique_ptr<BYTE[]> block(new BYTE[cb + 1]());
        dwError = call(reinterpret_cast<T*>(block.get()), &cb);
        if (dwError == NO_ERROR)
            return block;
        if (dwError != ERROR_BUFFER_OVERFLOW && dwError != ERROR_INSUFFICIENT_BUFFER)
            break;
    }
    return nullptr;
}

// Addresses identify the customer; masks do not, and a placeholder would make them invalid.
std::string Dotted(SCapture* pCapture, DWORD dwAddress)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&dwAddress);
    std::string strAddress = FormatText("%u.%u.%u.%u", p[0], p[1], p[2], p[3]);
    return pCapture && pCapture->bRedact ? pCapture->redactor.Add(CRedactor::ADDRESS, strAddress) : strAddress;
}

std::string AddressFlags(DWORD dwType)
{
    static const struct {
        DWORD dwFlag;
        const char* pszWord;
    } WORDS[] = {{0x1, "primary"}, {0x4, "dynamic"}, {0x8, "disconnected"}, {0x40, "deleted"}, {0x80, "transient"},
                 {0x100, "dns"}};
    std::string strFlags;
    for (const auto& word : WORDS)
        if (dwType & word.dwFlag) {
            strFlags += std::string(" ") + word.pszWord;
            dwType &= ~word.dwFlag;
        }
    if (dwType)
        strFlags += FormatText(" 0x%lX", static_cast<unsigned long>(dwType));
    return strFlags;
}

void AppendParameters(SCapture& capture, std::string& strOut)
{
    DWORD dwError = 0;
    auto params = Fetch<FIXED_INFO>([](FIXED_INFO* p, ULONG* pcb) { return GetNetworkParams(p, pcb); }, dwError);
    if (!params) {
        capture.log.Missed("network parameters", dwError);
        return;
    }
    const FIXED_INFO* pInfo = reinterpret_cast<const FIXED_INFO*>(params.get());
    std::string strHost = pInfo->HostName;
    if (capture.bRedact)
        strHost = capture.redactor.Add(CRedactor::NAME, strHost);
    strOut += "[Parameters]\r\nHostName=" + strHost + "\r\nDomainName=" + pInfo->DomainName +
              FormatText("\r\nEnableDns=%s\r\nEnableRouting=%s\r\nNodeType=%u\r\n", pInfo->EnableDns ? "yes" : "no",
                         pInfo->EnableRouting ? "yes" : "no", pInfo->NodeType);
    if (capture.bRedact && pInfo->DomainName[0])
        capture.redactor.Add(CRedactor::NAME, pInfo->DomainName);
    for (const IP_ADDR_STRING* pDns = &pInfo->DnsServerList; pDns; pDns = pDns->Next)
        if (pDns->IpAddress.String[0])
            strOut += std::string("DnsServer=") +
                      (capture.bRedact ? capture.redactor.Add(CRedactor::ADDRESS, pDns->IpAddress.String)
                                       : pDns->IpAddress.String) +
                      "\r\n";
}

}  // namespace

void CaptureNetwork(SCapture& capture)
{
    std::string& strOut = capture.folder.Text("network.ini");
    strOut = "; The network, captured by triagist-capture.\r\n\r\n";
    AppendParameters(capture, strOut);

    DWORD dwError = 0;
    auto interfaces = Fetch<MIB_IFTABLE>([](MIB_IFTABLE* p, ULONG* pcb) { return GetIfTable(p, pcb, FALSE); }, dwError);
    if (!interfaces) {
        capture.log.Missed("network interfaces", dwError);
        return;
    }
    auto adapters = Fetch<IP_ADAPTER_INFO>([](IP_ADAPTER_INFO* p, ULONG* pcb) { return GetAdaptersInfo(p, pcb); },
                                           dwError);
    if (!adapters && dwError != ERROR_NO_DATA)
        capture.log.Missed("network adapters", dwError);
    auto addresses =
        Fetch<MIB_IPADDRTABLE>([](MIB_IPADDRTABLE* p, ULONG* pcb) { return GetIpAddrTable(p, pcb, FALSE); }, dwError);
    if (!addresses)
        capture.log.Missed("IP addresses", dwError);

    const MIB_IFTABLE* pIfTable = reinterpret_cast<const MIB_IFTABLE*>(interfaces.get());
    for (DWORD i = 0; i < pIfTable->dwNumEntries; ++i) {
        const MIB_IFROW& row = pIfTable->table[i];
        char szName[MAX_INTERFACE_NAME_LEN * 2] = "";
        WideCharToMultiByte(CP_ACP, 0, row.wszName, -1, szName, sizeof szName, nullptr, nullptr);
        // Windows counts the terminating zero in the length, Wine does not: the text ends at whichever comes first.
        std::string strDescription(reinterpret_cast<const char*>(row.bDescr),
                                   std::min<DWORD>(row.dwDescrLen, MAXLEN_IFDESCR));
        strDescription = strDescription.c_str();
        strOut += FormatText("\r\n[Interface %lu]\r\nName=%s\r\n", static_cast<unsigned long>(row.dwIndex), szName);
        const IP_ADAPTER_INFO* pAdapter = reinterpret_cast<const IP_ADAPTER_INFO*>(adapters.get());
        for (; pAdapter && pAdapter->Index != row.dwIndex; pAdapter = pAdapter->Next) {
        }
        if (pAdapter)
            strOut += std::string("AdapterName=") + pAdapter->AdapterName + "\r\n";
        strOut += "Description=" + strDescription +
                  FormatText("\r\nType=%lu\r\nMtu=%lu\r\nSpeed=%lu\r\n", static_cast<unsigned long>(row.dwType),
                             static_cast<unsigned long>(row.dwMtu), static_cast<unsigned long>(row.dwSpeed));
        if (row.dwPhysAddrLen) {
            std::string strMac;
            for (DWORD b = 0; b < row.dwPhysAddrLen && b < MAXLEN_PHYSADDR; ++b)
                strMac += FormatText(b ? "-%02X" : "%02X", row.bPhysAddr[b]);
            strOut += "MAC=" + (capture.bRedact ? capture.redactor.Add(CRedactor::HARDWARE_ADDRESS, strMac) : strMac) +
                      "\r\n";
        }
        const char* pszStatus = row.dwAdminStatus != MIB_IF_ADMIN_STATUS_UP                 ? "down"
                                : row.dwOperStatus == MIB_IF_OPER_STATUS_OPERATIONAL ||
                                          row.dwOperStatus == MIB_IF_OPER_STATUS_CONNECTED ? "up"
                                                                                           : "disconnected";
        strOut += std::string("Status=") + pszStatus + "\r\n";
        bool bListed = pAdapter != nullptr;
        if (bListed != (row.dwType != MIB_IF_TYPE_LOOPBACK))
            strOut += std::string("Adapter=") + (bListed ? "yes" : "no") + "\r\n";
        if (pAdapter)
            strOut += std::string("Dhcp=") + (pAdapter->DhcpEnabled ? "yes" : "no") + "\r\n";
        const MIB_IPADDRTABLE* pAddrTable = reinterpret_cast<const MIB_IPADDRTABLE*>(addresses.get());
        for (DWORD a = 0; pAddrTable && a < pAddrTable->dwNumEntries; ++a) {
            const MIB_IPADDRROW& address = pAddrTable->table[a];
            if (address.dwIndex == row.dwIndex)
                strOut += "Address=" + Dotted(&capture, address.dwAddr) + "/" + Dotted(nullptr, address.dwMask) +
                          AddressFlags(address.wType) + "\r\n";
        }
    }

    auto routes = Fetch<MIB_IPFORWARDTABLE>(
        [](MIB_IPFORWARDTABLE* p, ULONG* pcb) { return GetIpForwardTable(p, pcb, FALSE); }, dwError);
    if (routes) {
        strOut += "\r\n[Routes]\r\n";
        const MIB_IPFORWARDTABLE* pRoutes = reinterpret_cast<const MIB_IPFORWARDTABLE*>(routes.get());
        for (DWORD r = 0; r < pRoutes->dwNumEntries; ++r) {
            const MIB_IPFORWARDROW& route = pRoutes->table[r];
            strOut += "Route=" + Dotted(&capture, route.dwForwardDest) + "/" + Dotted(nullptr, route.dwForwardMask) +
                      " " + Dotted(&capture, route.dwForwardNextHop) +
                      FormatText(" %lu %lu %lu\r\n", static_cast<unsigned long>(route.dwForwardIfIndex),
                                 static_cast<unsigned long>(route.dwForwardMetric1),
                                 static_cast<unsigned long>(route.dwForwardProto));
        }
    } else if (dwError != ERROR_NO_DATA) {
        capture.log.Missed("routes", dwError);
    }

    // Interfaces the system counts but does not list (being set up or torn down) are read as such.
    std::string& strSettings = capture.folder.Text("lab.ini");
    strSettings += "\r\n[Network]\r\nSource=network.ini\r\n";
    DWORD dwCounted = 0;
    if (GetNumberOfInterfaces(&dwCounted) == NO_ERROR && dwCounted > pIfTable->dwNumEntries)
        strSettings += FormatText("HiddenInterfaces=%lu\r\n", static_cast<unsigned long>(dwCounted - pIfTable->dwNumEntries));
    capture.log.Captured(FormatText("network.ini: %lu interfaces", static_cast<unsigned long>(pIfTable->dwNumEntries)));
}
