// CNetworkInterfaceTable: the host's adapters, interfaces and IPv4 addresses through the IP Helper API.
#pragma once

#include "src/platform/Win32.h"

#include <memory>

// Keeps no copy of the platform's tables: every lookup fetches the table it needs, reads one value and
// lets the table go, so each answer is as fresh as the call. Two index spaces: an adapter index is a
// position in the adapter list, an interface index a position in the interface table; the interface's
// own identifier (dwIndex) links the interface table to the address table.
class CNetworkInterfaceTable {
public:
    // Address type flags, as the address table's wType has them.
    enum { ADDRESS_PRIMARY = 0x1, ADDRESS_DYNAMIC = 0x4, ADDRESS_TRANSIENT = 0x80 };

    CNetworkInterfaceTable();
    CNetworkInterfaceTable(const CNetworkInterfaceTable&) = delete;
    CNetworkInterfaceTable& operator=(const CNetworkInterfaceTable&) = delete;

    // The record, with the DNS server list it links to; empty when it cannot be fetched.
    std::shared_ptr<const FIXED_INFO> GetNetworkParams();

    DWORD GetAdapterCount();
    // With no buffer, *pcbBuffer receives the size needed (length + 1) and the result is TRUE when the
    // adapter exists; with a buffer too small the result is FALSE and *pcbBuffer the size needed.
    BOOL GetAdapterName(DWORD dwAdapter, char* pszBuffer, DWORD* pcbBuffer);
    BOOL GetAdapterDescription(DWORD dwAdapter, char* pszBuffer, DWORD* pcbBuffer);
    // The hardware address length, 0 when the buffer cannot hold it (at most 8 bytes are copied).
    UINT GetAdapterAddress(DWORD dwAdapter, BYTE* pBuffer, DWORD cbBuffer);
    // MIB_IF_TYPE_OTHER when the adapter is not there.
    UINT GetAdapterType(DWORD dwAdapter);

    DWORD GetNumberOfInterfaces();
    BOOL GetIfIndex(DWORD dwInterface, DWORD* pdwIfIndex);
    // The name (at most 255 wide characters) in the system code page, terminated.
    BOOL GetInterfaceName(DWORD dwInterface, char* pszBuffer, DWORD cbBuffer);
    BOOL GetInterfaceDescription(DWORD dwInterface, char* pszBuffer, DWORD* pcbBuffer);
    DWORD GetPhysicalAddress(DWORD dwInterface, BYTE* pBuffer, DWORD cbBuffer);
    // Bits per second.
    BOOL GetSpeed(DWORD dwInterface, DWORD* pdwSpeed);

    // The n-th address of the interface (from 0) whose type has every flag of the mask, in network
    // byte order; 0 when there is none.
    DWORD GetIpAddress(DWORD dwInterface, DWORD n, DWORD dwTypeMask);
    DWORD GetIpSubnetMask(DWORD dwInterface, DWORD n, DWORD dwTypeMask);
    // The type flags of the n-th address, counting addresses of every type.
    DWORD GetIpAddressType(DWORD dwInterface, DWORD n);
    BOOL AddressTypeMatches(DWORD dwType, DWORD dwMask);

    // The next hop of the first route to 0.0.0.0 in the sorted route table.
    BOOL GetDefaultGateway(DWORD* pdwGateway);

    DWORD LastError() const { return m_dwLastError; }

private:
    typedef ULONG(WINAPI* PFN_GETADAPTERSINFO)(PIP_ADAPTER_INFO, PULONG);

    void SetError(DWORD dwError);
    bool FetchAdapters(std::unique_ptr<BYTE[]>& block);
    const IP_ADAPTER_INFO* FindAdapter(const std::unique_ptr<BYTE[]>& block, DWORD dwAdapter);
    bool FetchInterfaces(std::unique_ptr<BYTE[]>& block);
    bool FetchInterfaceRow(DWORD dwInterface, MIB_IFROW& row);
    bool FindAddressRow(DWORD dwInterface, DWORD n, DWORD dwTypeMask, bool bAnyType, MIB_IPADDRROW& row);
    BOOL CopyText(const char* pszText, size_t cchMax, char* pszBuffer, DWORD* pcbBuffer);

    DWORD m_dwLastError;
};
