// Stands in for the IP Helper API (iphlpapi) over the host's network model.
#include "lab/win32/IpHelper.h"

#include "lab/host/Host.h"
#include "lab/host/Network.h"
#include "lab/host/RegFile.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

using lab::host::NetAddress;
using lab::host::NetInterface;
using lab::host::NetRoute;
using lab::host::NetState;

lab::host::Network& Net()
{
    return lab::host::Host::Instance().TheNetwork();
}

// Cuts to the field, always terminated.
template <size_t N>
void CopyText(char (&field)[N], const std::string& text)
{
    size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

void SetAddrString(IP_ADDR_STRING& entry, const std::string& address, const std::string& mask)
{
    entry.Next = nullptr;
    CopyText(entry.IpAddress.String, address);
    CopyText(entry.IpMask.String, mask);
    entry.Context = 0;
}

// The head entry is part of the record; the rest go into the caller's buffer at pSpare, linked in order.
void FillAddrList(IP_ADDR_STRING& head, const std::vector<std::pair<std::string, std::string>>& items,
                  IP_ADDR_STRING*& pSpare)
{
    IP_ADDR_STRING* pLast = &head;
    for (size_t i = 0; i < items.size(); ++i) {
        IP_ADDR_STRING* pEntry = i == 0 ? &head : pSpare++;
        SetAddrString(*pEntry, items[i].first, items[i].second);
        if (i > 0)
            pLast->Next = pEntry;
        pLast = pEntry;
    }
}

MIB_IFROW InterfaceRow(const NetInterface& net)
{
    MIB_IFROW row;
    std::memset(&row, 0, sizeof row);
    std::string units = lab::host::Utf16LeFromAnsi(net.name);
    size_t count = std::min(units.size() / 2, static_cast<size_t>(MAX_INTERFACE_NAME_LEN - 1));
    for (size_t i = 0; i < count; ++i)
        row.wszName[i] = static_cast<WCHAR>(static_cast<unsigned char>(units[2 * i]) |
                                            (static_cast<unsigned char>(units[2 * i + 1]) << 8));
    row.dwIndex = net.index;
    row.dwType = net.type;
    row.dwMtu = net.mtu;
    row.dwSpeed = net.speed;
    row.dwPhysAddrLen = static_cast<DWORD>(std::min<size_t>(net.physical.size(), MAXLEN_PHYSADDR));
    if (row.dwPhysAddrLen != 0)
        std::memcpy(row.bPhysAddr, net.physical.data(), row.dwPhysAddrLen);
    row.dwAdminStatus = net.bAdminUp ? MIB_IF_ADMIN_STATUS_UP : MIB_IF_ADMIN_STATUS_DOWN;
    row.dwOperStatus = !net.bAdminUp    ? MIB_IF_OPER_STATUS_NON_OPERATIONAL
                       : net.bConnected ? MIB_IF_OPER_STATUS_OPERATIONAL
                                        : MIB_IF_OPER_STATUS_DISCONNECTED;
    // The description is kept with its terminating zero, and the length counts it.
    size_t descr = std::min(net.description.size(), static_cast<size_t>(MAXLEN_IFDESCR - 1));
    std::memcpy(row.bDescr, net.description.data(), descr);
    row.dwDescrLen = static_cast<DWORD>(descr + 1);
    return row;
}

// Hosts compare addresses by their value, first octet most significant.
uint32_t Ordered(uint32_t networkOrder)
{
    return ntohl(networkOrder);
}

// The MIB tables' protocol: a table that does not fit answers ERROR_INSUFFICIENT_BUFFER with its size.
template <class TABLE, class ROW>
DWORD FillTable(TABLE* pTable, PULONG pdwSize, const std::vector<ROW>& rows)
{
    size_t needed = std::max(sizeof(TABLE), offsetof(TABLE, table) + rows.size() * sizeof(ROW));
    if (!pTable || *pdwSize < needed) {
        *pdwSize = static_cast<ULONG>(needed);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    pTable->dwNumEntries = static_cast<DWORD>(rows.size());
    if (!rows.empty())
        std::memcpy(pTable->table, rows.data(), rows.size() * sizeof(ROW));
    return NO_ERROR;
}

}  // namespace

DWORD WINAPI GetNetworkParams(PFIXED_INFO pFixedInfo, PULONG pOutBufLen)
{
    if (DWORD dwError = Net().TakeFailure("GetNetworkParams"))
        return dwError;
    if (!pOutBufLen)
        return ERROR_INVALID_PARAMETER;
    NetState state = Net().Snapshot();
    const auto& servers = state.params.dnsServers;
    size_t extra = servers.size() > 1 ? servers.size() - 1 : 0;
    size_t needed = sizeof(FIXED_INFO) + extra * sizeof(IP_ADDR_STRING);
    if (!pFixedInfo || *pOutBufLen < needed) {
        *pOutBufLen = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(pFixedInfo, 0, needed);
    CopyText(pFixedInfo->HostName, state.params.hostName);
    CopyText(pFixedInfo->DomainName, state.params.domainName);
    std::vector<std::pair<std::string, std::string>> items;
    for (uint32_t server : servers)
        items.emplace_back(lab::host::FormatIpv4(server), "");
    auto* pSpare = reinterpret_cast<IP_ADDR_STRING*>(pFixedInfo + 1);
    FillAddrList(pFixedInfo->DnsServerList, items, pSpare);
    pFixedInfo->NodeType = state.params.nodeType;
    pFixedInfo->EnableRouting = state.params.bRouting ? 1 : 0;
    pFixedInfo->EnableProxy = 0;
    pFixedInfo->EnableDns = state.params.bDns ? 1 : 0;
    return NO_ERROR;
}

ULONG WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer)
{
    if (DWORD dwError = Net().TakeFailure("GetAdaptersInfo"))
        return dwError;
    if (!SizePointer)
        return ERROR_INVALID_PARAMETER;
    NetState state = Net().Snapshot();

    struct Listed {
        const NetInterface* pNet;
        std::vector<std::pair<std::string, std::string>> addresses;
        std::vector<std::pair<std::string, std::string>> gateways;
    };
    std::vector<Listed> adapters;
    size_t extra = 0;
    for (const NetInterface& net : state.interfaces) {
        if (!net.bAdapter)
            continue;
        Listed listed{&net, {}, {}};
        for (const NetAddress& address : net.addresses)
            listed.addresses.emplace_back(lab::host::FormatIpv4(address.addr), lab::host::FormatIpv4(address.mask));
        for (const NetRoute& route : state.routes) {
            if (route.dest == 0 && route.mask == 0 && route.ifIndex == net.index)
                listed.gateways.emplace_back(lab::host::FormatIpv4(route.nextHop), "255.255.255.255");
        }
        // An adapter without an address or gateway shows the unspecified address.
        if (listed.addresses.empty())
            listed.addresses.emplace_back("0.0.0.0", "0.0.0.0");
        if (listed.gateways.empty())
            listed.gateways.emplace_back("0.0.0.0", "0.0.0.0");
        extra += listed.addresses.size() - 1 + listed.gateways.size() - 1;
        adapters.push_back(listed);
    }
    if (adapters.empty())
        return ERROR_NO_DATA;
    size_t needed = adapters.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING);
    if (!AdapterInfo || *SizePointer < needed) {
        *SizePointer = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }

    std::memset(AdapterInfo, 0, needed);
    auto* pSpare = reinterpret_cast<IP_ADDR_STRING*>(AdapterInfo + adapters.size());
    for (size_t i = 0; i < adapters.size(); ++i) {
        const NetInterface& net = *adapters[i].pNet;
        IP_ADAPTER_INFO& info = AdapterInfo[i];
        info.Next = i + 1 < adapters.size() ? &AdapterInfo[i + 1] : nullptr;
        info.ComboIndex = net.index;
        CopyText(info.AdapterName, net.adapterName);
        CopyText(info.Description, net.description);
        info.AddressLength = static_cast<UINT>(std::min<size_t>(net.physical.size(), MAX_ADAPTER_ADDRESS_LENGTH));
        if (info.AddressLength != 0)
            std::memcpy(info.Address, net.physical.data(), info.AddressLength);
        info.Index = net.index;
        info.Type = net.type;
        info.DhcpEnabled = net.bDhcp ? 1 : 0;
        FillAddrList(info.IpAddressList, adapters[i].addresses, pSpare);
        FillAddrList(info.GatewayList, adapters[i].gateways, pSpare);
    }
    return NO_ERROR;
}

DWORD WINAPI GetIfTable(PMIB_IFTABLE pIfTable, PULONG pdwSize, BOOL bOrder)
{
    if (DWORD dwError = Net().TakeFailure("GetIfTable"))
        return dwError;
    if (!pdwSize)
        return ERROR_INVALID_PARAMETER;
    NetState state = Net().Snapshot();
    std::vector<MIB_IFROW> rows;
    for (const NetInterface& net : state.interfaces)
        rows.push_back(InterfaceRow(net));
    if (bOrder) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const MIB_IFROW& a, const MIB_IFROW& b) { return a.dwIndex < b.dwIndex; });
    }
    return FillTable(pIfTable, pdwSize, rows);
}

DWORD WINAPI GetIfEntry(PMIB_IFROW pIfRow)
{
    if (DWORD dwError = Net().TakeFailure("GetIfEntry"))
        return dwError;
    if (!pIfRow)
        return ERROR_INVALID_PARAMETER;
    NetState state = Net().Snapshot();
    for (const NetInterface& net : state.interfaces) {
        if (net.index == pIfRow->dwIndex) {
            *pIfRow = InterfaceRow(net);
            return NO_ERROR;
        }
    }
    return ERROR_INVALID_DATA;
}

DWORD WINAPI GetIpAddrTable(PMIB_IPADDRTABLE pIpAddrTable, PULONG pdwSize, BOOL bOrder)
{
    if (DWORD dwError = Net().TakeFailure("GetIpAddrTable"))
        return dwError;
    if (!pdwSize)
        return ERROR_INVALID_PARAMETER;
    NetState state = Net().Snapshot();
    std::vector<MIB_IPADDRROW> rows;
    for (const NetInterface& net : state.interfaces) {
        for (const NetAddress& address : net.addresses) {
            MIB_IPADDRROW row;
            std::memset(&row, 0, sizeof row);
            row.dwAddr = address.addr;
            row.dwIndex = net.index;
            row.dwMask = address.mask;
            row.dwBCastAddr = 1;  // the low bit of the broadcast address, which is all Windows reports
            row.dwReasmSize = 65535;
            row.wType = address.type;
            rows.push_back(row);
        }
    }
    if (bOrder) {
        std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPADDRROW& a, const MIB_IPADDRROW& b) {
            return Ordered(a.dwAddr) < Ordered(b.dwAddr);
        });
    }
    return FillTable(pIpAddrTable, pdwSize, rows);
}

DWORD WINAPI GetIpForwardTable(PMIB_IPFORWARDTABLE pIpForwardTable, PULONG pdwSize, BOOL bOrder)
{
    if (DWORD dwError = Net().TakeFailure("GetIpForwardTable"))
        return dwError;
    if (!pdwSize)
        return ERROR_INVALID_PARAMETER;
    NetState state = Net().Snapshot();
    if (state.routes.empty())
        return ERROR_NO_DATA;
    std::vector<MIB_IPFORWARDROW> rows;
    for (const NetRoute& route : state.routes) {
        MIB_IPFORWARDROW row;
        std::memset(&row, 0, sizeof row);
        row.dwForwardDest = route.dest;
        row.dwForwardMask = route.mask;
        row.dwForwardNextHop = route.nextHop;
        row.dwForwardIfIndex = route.ifIndex;
        row.dwForwardType = route.nextHop == 0 ? MIB_IPROUTE_TYPE_DIRECT : MIB_IPROUTE_TYPE_INDIRECT;
        row.dwForwardProto = route.proto;
        row.dwForwardMetric1 = route.metric;
        row.dwForwardMetric2 = row.dwForwardMetric3 = row.dwForwardMetric4 = row.dwForwardMetric5 = 0xFFFFFFFF;
        rows.push_back(row);
    }
    if (bOrder) {
        std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPFORWARDROW& a, const MIB_IPFORWARDROW& b) {
            if (a.dwForwardDest != b.dwForwardDest)
                return Ordered(a.dwForwardDest) < Ordered(b.dwForwardDest);
            if (a.dwForwardProto != b.dwForwardProto)
                return a.dwForwardProto < b.dwForwardProto;
            if (a.dwForwardPolicy != b.dwForwardPolicy)
                return a.dwForwardPolicy < b.dwForwardPolicy;
            return Ordered(a.dwForwardNextHop) < Ordered(b.dwForwardNextHop);
        });
    }
    return FillTable(pIpForwardTable, pdwSize, rows);
}

DWORD WINAPI GetNumberOfInterfaces(PDWORD pdwNumIf)
{
    if (DWORD dwError = Net().TakeFailure("GetNumberOfInterfaces"))
        return dwError;
    if (!pdwNumIf)
        return ERROR_INVALID_PARAMETER;
    *pdwNumIf = static_cast<DWORD>(Net().Snapshot().interfaces.size()) + Net().HiddenInterfaces();
    return NO_ERROR;
}
