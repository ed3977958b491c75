// CSnmpMgr: the program's SNMP manager, over the platform's manager library loaded on first use.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

#include <memory>

// Talks SNMPv1 to one agent, by default the local one. Every failed platform call keeps its error
// code as LastError(); a request that cannot be made reports error status 5. One thread at a time.
class CSnmpMgr {
public:
    // Opens a session at once only when pszAgent is not null.
    CSnmpMgr(LPCSTR pszAgent, LPCSTR pszCommunity, INT nTimeoutMs, INT nRetries);
    ~CSnmpMgr();
    CSnmpMgr(const CSnmpMgr&) = delete;
    CSnmpMgr& operator=(const CSnmpMgr&) = delete;

    // A null or empty agent is "127.0.0.1"; a null or empty community is the SNMP service's first
    // usable one, else "vazovu".
    BOOL OpenSession(LPCSTR pszAgent, LPCSTR pszCommunity, INT nTimeoutMs, INT nRetries);
    BOOL CloseSession();
    BOOL IsOpen() const { return m_hSession != nullptr; }

    // Unless bKeep, the current bindings' names and values are released first. New bindings are empty.
    BOOL SetVarBindCount(UINT nCount, BOOL bKeep);
    // pList null: the object's own list, replaced by the response. TRUE when the error status is 0.
    BOOL Request(BYTE bRequestType, SnmpVarBindList* pList, AsnInteger* pErrorStatus, AsnInteger* pErrorIndex);
    // The OID a table walk of binding nIndex started from.
    BOOL SetBaseOid(LPCSTR pszOid, UINT nIndex);
    // TRUE while every result binding still lies under its base OID.
    BOOL OidWithinRange();
    // One GETNEXT step of a table walk: FALSE at the table's end, on an error, when an answer does not
    // advance past the OID asked for, and after more rows since SetBaseOid than any agent's table holds.
    BOOL NextRow();
    BOOL FindCommunity(LPSTR pszCommunity, DWORD cchCommunity);

    // "1.3.6.1", ".1.3.6.1" or with a quoted part: 1.3."ab" is 1.3.2.97.98. At least two sub-identifiers.
    BOOL StringToOid(LPCSTR pszOid, AsnObjectIdentifier* pOid);
    // Dotted text of the first nSubIds sub-identifiers (0: all), in a buffer shared by every call.
    static LPCSTR OidToString(const AsnObjectIdentifier* pOid, UINT nSubIds = 0);
    static LPCSTR GetErrorStatusText(AsnInteger nStatus);
    static LPCSTR GetRequestTypeName(BYTE bRequestType);
    // An octet string as NUL-terminated text (the value grows by the NUL when it lacks one).
    LPCSTR GetString(AsnAny* pValue);
    // The octet string's length; the text with its NUL is copied only when the buffer is larger.
    UINT GetValueString(const AsnAny* pValue, LPSTR pszBuffer, UINT cbBuffer);

    DWORD LastError() const { return m_dwLastError; }

    SnmpVarBindList m_VarBindList;
    AsnInteger m_nErrorStatus;
    AsnInteger m_nErrorIndex;

private:
    typedef LPSNMP_MGR_SESSION(WINAPI* PFN_OPEN)(LPSTR, LPSTR, INT, INT);
    typedef SNMPAPI(WINAPI* PFN_REQUEST)(LPSNMP_MGR_SESSION, BYTE, SnmpVarBindList*, AsnInteger*, AsnInteger*);
    typedef BOOL(WINAPI* PFN_CLOSE)(LPSNMP_MGR_SESSION);
    typedef SNMPAPI(WINAPI* PFN_OIDNCMP)(AsnObjectIdentifier*, AsnObjectIdentifier*, UINT);
    typedef void(WINAPI* PFN_OIDFREE)(AsnObjectIdentifier*);
    typedef void(WINAPI* PFN_VARBINDFREE)(SnmpVarBind*);
    typedef void(WINAPI* PFN_VARBINDLISTFREE)(SnmpVarBindList*);
    typedef LPVOID(WINAPI* PFN_MEMALLOC)(UINT);
    typedef LPVOID(WINAPI* PFN_MEMREALLOC)(LPVOID, UINT);
    typedef void(WINAPI* PFN_MEMFREE)(LPVOID);

    // The manager library's functions, resolved on first use; FALSE when any is missing.
    BOOL LoadLibraries();
    void ReleaseBaseOids();

    DWORD m_dwLastError;
    LPSNMP_MGR_SESSION m_hSession;
    AsnObjectIdentifier* m_pRequestOids;
    UINT m_nRequestOids;
    UINT m_nWalkRows;

    std::unique_ptr<CScopedLibrary> m_pMgmtApi;
    std::unique_ptr<CScopedLibrary> m_pSnmpApi;
    BOOL m_bLoaded;
    PFN_OPEN m_pfnOpen;
    PFN_REQUEST m_pfnRequest;
    PFN_CLOSE m_pfnClose;
    PFN_OIDNCMP m_pfnOidNCmp;
    PFN_OIDFREE m_pfnOidFree;
    PFN_VARBINDFREE m_pfnVarBindFree;
    PFN_VARBINDLISTFREE m_pfnVarBindListFree;
    PFN_MEMALLOC m_pfnMemAlloc;
    PFN_MEMREALLOC m_pfnMemReAlloc;
    PFN_MEMFREE m_pfnMemFree;
};
