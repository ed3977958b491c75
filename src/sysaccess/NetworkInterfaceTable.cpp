// Fetching the adapter, interface and address tables from the IP Helper API, with its buffer protocol.
#include "src/sysaccess/NetworkInterfaceTable.h"

#include "src/platform/ScopedHandle.h"
#include "src/trace/FileDebug.h"

#include <cstring>

namespace {

const DWORD kKnownAddressTypes = CNetworkInterfaceTable::ADDRESS_PRIMARY | CNetworkInterfaceTable::ADDRESS_DYNAMIC |
                                 CNetworkInterfaceTable::ADDRESS_TRANSIENT;

// A zeroed block of cb bytes; none for 0, so the platform sees an empty buffer as it would.
std::unique_ptr<BYTE[]> ZeroedBlock(ULONG cb)
{
    return std::unique_ptr<BYTE[]>(cb ? new BYTE[cb]() : nullptr);
}

// The MIB tables answer ERROR_INSUFFICIENT_BUFFER with the size needed. The address and route tables are
// only taken when the size question is answered that way.
template <class TABLE>
DWORD FetchSorted(DWORD(WINAPI* pfnGet)(TABLE*, PULONG, BOOL), std::unique_ptr<BYTE[]>& block, bool bNeedShortAnswer)
{
    ULONG cb = 0;
    DWORD dwResult = pfnGet(nullptr, &cb, TRUE);
    if (bNeedShortAnswer && dwResult != ERROR_INSUFFICIENT_BUFFER)
        return dwResult;
    block = ZeroedBlock(cb);
    dwResult = pfnGet(reinterpret_cast<TABLE*>(block.get()), &cb, TRUE);
    if (dwResult != NO_ERROR)
        block.reset();
    return dwResult;
}

}  // namespace

CNetworkInterfaceTable::CNetworkInterfaceTable() : m_dwLastError(NO_ERROR) {}

void CNetworkInterfaceTable::SetError(DWORD dwError)
{
    m_dwLastError = dwError;
    ::SetLastError(dwError);
}

std::shared_ptr<const FIXED_INFO> CNetworkInterfaceTable::GetNetworkParams()
{
    ULONG cb = 0;
    ::GetNetworkParams(nullptr, &cb);
    std::shared_ptr<BYTE> block(cb ? new BYTE[cb]() : nullptr, std::default_delete<BYTE[]>());
    DWORD dwResult = ::GetNetworkParams(reinterpret_cast<PFIXED_INFO>(block.get()), &cb);
    if (dwResult != NO_ERROR) {
        SetError(dwResult);
        return nullptr;
    }
    // The record and the DNS server entries behind it share the block's lifetime.
    return std::shared_ptr<const FIXED_INFO>(block, reinterpret_cast<const FIXED_INFO*>(block.get()));
}

// ------------------------------------------------------------------ adapters

bool CNetworkInterfaceTable::FetchAdapters(std::unique_ptr<BYTE[]>& block)
{
    // Resolved at run time, as systems without it must still run the rest of the check.
    CScopedLibrary library("Iphlpapi");
    if (!library.Get()) {
        SetError(::GetLastError());
        return false;
    }
    auto pfnGetAdaptersInfo = library.Resolve<PFN_GETADAPTERSINFO>("GetAdaptersInfo");
    if (!pfnGetAdaptersInfo) {
        SetError(::GetLastError());
        return false;
    }
    ULONG cb = 0;
    pfnGetAdaptersInfo(nullptr, &cb);
    block = ZeroedBlock(cb);
    DWORD dwResult = pfnGetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(block.get()), &cb);
    if (dwResult != NO_ERROR) {
        block.reset();
        SetError(dwResult);
        return false;
    }
    return true;
}

const IP_ADAPTER_INFO* CNetworkInterfaceTable::FindAdapter(const std::unique_ptr<BYTE[]>& block, DWORD dwAdapter)
{
    const IP_ADAPTER_INFO* pAdapter = reinterpret_cast<const IP_ADAPTER_INFO*>(block.get());
    for (DWORD dwPosition = 0; pAdapter; ++dwPosition, pAdapter = pAdapter->Next) {
        TRACE(4, "\n   checking adapter %d...", static_cast<int>(dwPosition));
        if (dwPosition == dwAdapter)
            return pAdapter;
    }
    return nullptr;
}

BOOL CNetworkInterfaceTable::CopyText(const char* pszText, size_t cchMax, char* pszBuffer, DWORD* pcbBuffer)
{
    if (!pcbBuffer)
        return FALSE;
    size_t cchText = strnlen(pszText, cchMax);
    DWORD cbNeeded = static_cast<DWORD>(cchText + 1);
    if (!pszBuffer) {
        *pcbBuffer = cbNeeded;
        return TRUE;
    }
    if (*pcbBuffer < cbNeeded) {
        *pcbBuffer = cbNeeded;
        return FALSE;
    }
    memcpy(pszBuffer, pszText, cchText);
    pszBuffer[cchText] = '\0';
    *pcbBuffer = cbNeeded;
    return TRUE;
}

DWORD CNetworkInterfaceTable::GetAdapterCount()
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchAdapters(block))
        return 0;
    DWORD dwCount = 0;
    for (auto* pAdapter = reinterpret_cast<const IP_ADAPTER_INFO*>(block.get()); pAdapter; pAdapter = pAdapter->Next)
        ++dwCount;
    return dwCount;
}

BOOL CNetworkInterfaceTable::GetAdapterName(DWORD dwAdapter, char* pszBuffer, DWORD* pcbBuffer)
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchAdapters(block))
        return FALSE;
    const IP_ADAPTER_INFO* pAdapter = FindAdapter(block, dwAdapter);
    return pAdapter ? CopyText(pAdapter->AdapterName, sizeof pAdapter->AdapterName, pszBuffer, pcbBuffer) : FALSE;
}

BOOL CNetworkInterfaceTable::GetAdapterDescription(DWORD dwAdapter, char* pszBuffer, DWORD* pcbBuffer)
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchAdapters(block))
        return FALSE;
    const IP_ADAPTER_INFO* pAdapter = FindAdapter(block, dwAdapter);
    return pAdapter ? CopyText(pAdapter->Description, sizeof pAdapter->Description, pszBuffer, pcbBuffer) : FALSE;
}

UINT CNetworkInterfaceTable::GetAdapterAddress(DWORD dwAdapter, BYTE* pBuffer, DWORD cbBuffer)
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchAdapters(block))
        return 0;
    const IP_ADAPTER_INFO* pAdapter = FindAdapter(block, dwAdapter);
    if (!pAdapter)
        return 0;
    UINT cbCopy = pAdapter->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? pAdapter->AddressLength
                                                                       : MAX_ADAPTER_ADDRESS_LENGTH;
    if (!pBuffer || cbBuffer < cbCopy)
        return 0;
    memcpy(pBuffer, pAdapter->Address, cbCopy);
    return pAdapter->AddressLength;
}

UINT CNetworkInterfaceTable::GetAdapterType(DWORD dwAdapter)
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchAdapters(block))
        return MIB_IF_TYPE_OTHER;
    const IP_ADAPTER_INFO* pAdapter = FindAdapter(block, dwAdapter);
    return pAdapter ? pAdapter->Type : MIB_IF_TYPE_OTHER;
}

// ------------------------------------------------------------------ interfaces

DWORD CNetworkInterfaceTable::GetNumberOfInterfaces()
{
    DWORD dwCount = 0;
    DWORD dwResult = ::GetNumberOfInterfaces(&dwCount);
    if (dwResult != NO_ERROR) {
        SetError(dwResult);
        return 0;
    }
    return dwCount;
}

bool CNetworkInterfaceTable::FetchInterfaces(std::unique_ptr<BYTE[]>& block)
{
    DWORD dwResult = FetchSorted<MIB_IFTABLE>(&::GetIfTable, block, false);
    if (!block) {
        SetError(dwResult);
        return false;
    }
    return true;
}

bool CNetworkInterfaceTable::FetchInterfaceRow(DWORD dwInterface, MIB_IFROW& row)
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchInterfaces(block))
        return false;
    const MIB_IFTABLE* pTable = reinterpret_cast<const MIB_IFTABLE*>(block.get());
    if (dwInterface >= pTable->dwNumEntries)
        return false;
    row = pTable->table[dwInterface];
    return true;
}

BOOL CNetworkInterfaceTable::GetIfIndex(DWORD dwInterface, DWORD* pdwIfIndex)
{
    std::unique_ptr<BYTE[]> block;
    if (!FetchInterfaces(block))
        return FALSE;
    const MIB_IFTABLE* pTable = reinterpret_cast<const MIB_IFTABLE*>(block.get());
    if (dwInterface >= pTable->dwNumEntries) {
        TRACE(1, "\n\nCNetworkInterfaceTable: ERROR! GetIfIndex(): Index (%d) out of range (%d)!\n",
              static_cast<int>(dwInterface), static_cast<int>(pTable->dwNumEntries));
        return FALSE;
    }
    if (pdwIfIndex)
        *pdwIfIndex = pTable->table[dwInterface].dwIndex;
    return TRUE;
}

BOOL CNetworkInterfaceTable::GetInterfaceName(DWORD dwInterface, char* pszBuffer, DWORD cbBuffer)
{
    MIB_IFROW row;
    if (!pszBuffer || cbBuffer == 0 || !FetchInterfaceRow(dwInterface, row))
        return FALSE;
    int cchName = 0;
    while (cchName < MAX_INTERFACE_NAME_LEN - 1 && row.wszName[cchName] != 0)
        ++cchName;
    int cbConverted = 0;
    if (cchName > 0) {
        cbConverted = WideCharToMultiByte(CP_ACP, 0, row.wszName, cchName, pszBuffer, static_cast<int>(cbBuffer - 1),
                                          nullptr, nullptr);
        if (cbConverted == 0) {
            SetError(::GetLastError());
            return FALSE;
        }
    }
    pszBuffer[cbConverted] = '\0';
    return TRUE;
}

BOOL CNetworkInterfaceTable::GetInterfaceDescription(DWORD dwInterface, char* pszBuffer, DWORD* pcbBuffer)
{
    MIB_IFROW row;
    if (!FetchInterfaceRow(dwInterface, row))
        return FALSE;
    size_t cbDescr = row.dwDescrLen < MAXLEN_IFDESCR ? row.dwDescrLen : MAXLEN_IFDESCR;
    return CopyText(reinterpret_cast<const char*>(row.bDescr), cbDescr, pszBuffer, pcbBuffer);
}

DWORD CNetworkInterfaceTable::GetPhysicalAddress(DWORD dwInterface, BYTE* pBuffer, DWORD cbBuffer)
{
    MIB_IFROW row;
    if (!FetchInterfaceRow(dwInterface, row))
        return 0;
    DWORD cbCopy = row.dwPhysAddrLen < MAXLEN_PHYSADDR ? row.dwPhysAddrLen : MAXLEN_PHYSADDR;
    if (!pBuffer || cbBuffer < cbCopy)
        return 0;
    memcpy(pBuffer, row.bPhysAddr, cbCopy);
    return row.dwPhysAddrLen;
}

BOOL CNetworkInterfaceTable::GetSpeed(DWORD dwInterface, DWORD* pdwSpeed)
{
    MIB_IFROW row;
    memset(&row, 0, sizeof row);
    if (!GetIfIndex(dwInterface, &row.dwIndex))
        return FALSE;
    DWORD dwResult = ::GetIfEntry(&row);
    if (dwResult != NO_ERROR) {
        SetError(dwResult);
        return FALSE;
    }
    if (pdwSpeed)
        *pdwSpeed = row.dwSpeed;
    return TRUE;
}

// ------------------------------------------------------------------ addresses

BOOL CNetworkInterfaceTable::AddressTypeMatches(DWORD dwType, DWORD dwMask)
{
    TRACE(3, "\n                    : Address type: 0x%X - RCCI address type mask: 0x%X",
          static_cast<unsigned>(dwType), static_cast<unsigned>(dwMask));
    DWORD dwWanted = dwMask & kKnownAddressTypes;
    return (dwType & dwWanted) == dwWanted;
}

bool CNetworkInterfaceTable::FindAddressRow(DWORD dwIfIndex, DWORD n, DWORD dwTypeMask, bool bAnyType,
                                            MIB_IPADDRROW& row)
{
    std::unique_ptr<BYTE[]> block;
    DWORD dwResult = FetchSorted<MIB_IPADDRTABLE>(&::GetIpAddrTable, block, true);
    if (!block) {
        SetError(dwResult);
        return false;
    }
    const MIB_IPADDRTABLE* pTable = reinterpret_cast<const MIB_IPADDRTABLE*>(block.get());
    DWORD dwCount = 0;
    for (DWORD i = 0; i < pTable->dwNumEntries; ++i) {
        const MIB_IPADDRROW& candidate = pTable->table[i];
        if (candidate.dwIndex != dwIfIndex)
            continue;
        if (!bAnyType && !AddressTypeMatches(candidate.wType, dwTypeMask))
            continue;
        if (dwCount++ == n) {
            row = candidate;
            return true;
        }
    }
    return false;
}

DWORD CNetworkInterfaceTable::GetIpAddress(DWORD dwInterface, DWORD n, DWORD dwTypeMask)
{
    DWORD dwIfIndex = 0;
    if (!GetIfIndex(dwInterface, &dwIfIndex))
        return 0;
    TRACE(2, "\nGet IP address (Type 0x%x) for interface at index %d",
          static_cast<unsigned>(dwTypeMask), static_cast<int>(dwInterface));
    MIB_IPADDRROW row;
    return FindAddressRow(dwIfIndex, n, dwTypeMask, false, row) ? row.dwAddr : 0;
}

DWORD CNetworkInterfaceTable::GetIpSubnetMask(DWORD dwInterface, DWORD n, DWORD dwTypeMask)
{
    DWORD dwIfIndex = 0;
    if (!GetIfIndex(dwInterface, &dwIfIndex))
        return 0;
    TRACE(2, "\nGet IP subnet mask (Type 0x%x) for interface at index %d",
          static_cast<unsigned>(dwTypeMask), static_cast<int>(dwInterface));
    MIB_IPADDRROW row;
    return FindAddressRow(dwIfIndex, n, dwTypeMask, false, row) ? row.dwMask : 0;
}

DWORD CNetworkInterfaceTable::GetIpAddressType(DWORD dwInterface, DWORD n)
{
    DWORD dwIfIndex = 0;
    if (!GetIfIndex(dwInterface, &dwIfIndex))
        return 0;
    MIB_IPADDRROW row;
    if (!FindAddressRow(dwIfIndex, n, 0, true, row))
        return 0;
    // Only the three flags callers know; the platform's others (disconnected, deleted, ...) stay out.
    return row.wType & kKnownAddressTypes;
}

BOOL CNetworkInterfaceTable::GetDefaultGateway(DWORD* pdwGateway)
{
    std::unique_ptr<BYTE[]> block;
    DWORD dwResult = FetchSorted<MIB_IPFORWARDTABLE>(&::GetIpForwardTable, block, true);
    if (!block) {
        SetError(dwResult);
        return FALSE;
    }
    const MIB_IPFORWARDTABLE* pTable = reinterpret_cast<const MIB_IPFORWARDTABLE*>(block.get());
    for (DWORD i = 0; i < pTable->dwNumEntries; ++i) {
        if (pTable->table[i].dwForwardDest == 0) {
            if (pdwGateway)
                *pdwGateway = pTable->table[i].dwForwardNextHop;
            return TRUE;
        }
    }
    return FALSE;
}
