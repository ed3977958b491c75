// CSnmpMgr: the program's SNMP manager, over the platform's manager library loaded on first use.
#include "src/sysaccess/SnmpMgr.h"

#include "src/sysaccess/RegistryKey.h"
#include "src/trace/FileDebug.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kDefaultAgent = "127.0.0.1";
const char* const kDefaultCommunity = "vazovu";
const char* const kCommunitiesKey = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities";
const DWORD kCommunityChars = MAX_PATH;
// An agent that keeps answering past this many rows of one table is not walking a real table.
const UINT kMaxWalkRows = 10000;

const char* const kErrorStatusTexts[] = {
    "no error",           "too big",          "no such name",        "bad value",
    "value is read-only", "generic error",    "no access",           "wrong type",
    "wrong length",       "wrong encoding",   "wrong value",         "no creation",
    "inconsistent value", "resource unavailable", "commit failed",   "undo failed",
    "authorization error", "not writeable",   "inconsistent name",
};

unsigned HandleValue(LPSNMP_MGR_SESSION h)
{
    return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(h));
}

bool IsStringType(DWORD dwType)
{
    return dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
}

// Copies as much as fits, always terminated.
void CopyCut(char* pszTarget, const char* pszSource, size_t cchTarget)
{
    if (cchTarget == 0)
        return;
    size_t cch = std::strlen(pszSource);
    if (cch >= cchTarget)
        cch = cchTarget - 1;
    std::memcpy(pszTarget, pszSource, cch);
    pszTarget[cch] = '\0';
}

}  // namespace

CSnmpMgr::CSnmpMgr(LPCSTR pszAgent, LPCSTR pszCommunity, INT nTimeoutMs, INT nRetries)
    : m_VarBindList{nullptr, 0},
      m_nErrorStatus(0),
      m_nErrorIndex(0),
      m_dwLastError(0),
      m_hSession(nullptr),
      m_pRequestOids(nullptr),
      m_nRequestOids(0),
      m_nWalkRows(0),
      m_bLoaded(FALSE),
      m_pfnOpen(nullptr),
      m_pfnRequest(nullptr),
      m_pfnClose(nullptr),
      m_pfnOidNCmp(nullptr),
      m_pfnOidFree(nullptr),
      m_pfnVarBindFree(nullptr),
      m_pfnVarBindListFree(nullptr),
      m_pfnMemAlloc(nullptr),
      m_pfnMemReAlloc(nullptr),
      m_pfnMemFree(nullptr)
{
    TRACE(6, "\nCSnmpMgr            : LPCSTR c'tor");
    if (pszAgent)
        OpenSession(pszAgent, pszCommunity, nTimeoutMs, nRetries);
}

CSnmpMgr::~CSnmpMgr()
{
    TRACE(6, "\nCSnmpMgr            : -> d'tor");
    if (m_hSession)
        CloseSession();
    ReleaseBaseOids();
    TRACE(6, "\nCSnmpMgr            : <- d'tor");
    if (m_pfnVarBindListFree)
        m_pfnVarBindListFree(&m_VarBindList);
}

BOOL CSnmpMgr::LoadLibraries()
{
    if (m_bLoaded)
        return TRUE;
    if (!m_pMgmtApi) {
        m_pMgmtApi.reset(new CScopedLibrary("mgmtapi.dll"));
        m_pSnmpApi.reset(new CScopedLibrary("snmpapi.dll"));
    }
    m_pfnOpen = m_pMgmtApi->Resolve<PFN_OPEN>("SnmpMgrOpen");
    m_pfnRequest = m_pMgmtApi->Resolve<PFN_REQUEST>("SnmpMgrRequest");
    m_pfnClose = m_pMgmtApi->Resolve<PFN_CLOSE>("SnmpMgrClose");
    m_pfnOidNCmp = m_pSnmpApi->Resolve<PFN_OIDNCMP>("SnmpUtilOidNCmp");
    m_pfnOidFree = m_pSnmpApi->Resolve<PFN_OIDFREE>("SnmpUtilOidFree");
    m_pfnVarBindFree = m_pSnmpApi->Resolve<PFN_VARBINDFREE>("SnmpUtilVarBindFree");
    m_pfnVarBindListFree = m_pSnmpApi->Resolve<PFN_VARBINDLISTFREE>("SnmpUtilVarBindListFree");
    m_pfnMemAlloc = m_pSnmpApi->Resolve<PFN_MEMALLOC>("SnmpUtilMemAlloc");
    m_pfnMemReAlloc = m_pSnmpApi->Resolve<PFN_MEMREALLOC>("SnmpUtilMemReAlloc");
    m_pfnMemFree = m_pSnmpApi->Resolve<PFN_MEMFREE>("SnmpUtilMemFree");
    m_bLoaded = m_pfnOpen && m_pfnRequest && m_pfnClose && m_pfnOidNCmp && m_pfnOidFree &&
                m_pfnVarBindFree && m_pfnVarBindListFree && m_pfnMemAlloc && m_pfnMemReAlloc && m_pfnMemFree;
    if (!m_bLoaded)
        m_dwLastError = GetLastError();
    return m_bLoaded;
}

BOOL CSnmpMgr::OpenSession(LPCSTR pszAgent, LPCSTR pszCommunity, INT nTimeoutMs, INT nRetries)
{
    TRACE(5, "\nCSnmpMgr            : -> OpenSession");
    TRACE(6, "\nCSnmpMgr            : Current session handle: 0x%X", HandleValue(m_hSession));
    if (!LoadLibraries()) {
        TRACE(1, "\nCSnmpMgr            : OpenSession: ### Exception loading SNMP libraries ###");
        return FALSE;
    }
    std::string strAgent = pszAgent && *pszAgent ? pszAgent : kDefaultAgent;
    char szCommunity[kCommunityChars] = "";
    if (pszCommunity && *pszCommunity)
        CopyCut(szCommunity, pszCommunity, sizeof szCommunity);
    else if (!FindCommunity(szCommunity, sizeof szCommunity))
        CopyCut(szCommunity, kDefaultCommunity, sizeof szCommunity);
    TRACE(4, "\nCSnmpMgr            : OpenSession: IP=%s, community=%s, timeout=%d msec., retries=%d",
          strAgent.c_str(), szCommunity, nTimeoutMs, nRetries);

    m_hSession = m_pfnOpen(&strAgent[0], szCommunity, nTimeoutMs, nRetries);
    if (!m_hSession) {
        m_dwLastError = GetLastError();
        TRACE(1, "\nCSnmpMgr            : ## ERROR 0x%X: OpenSession() - SnmpMgrOpen() FAILED!",
              static_cast<unsigned>(m_dwLastError));
    }
    TRACE(5, "\nCSnmpMgr            : <- OpenSession: hSession = 0x%X", HandleValue(m_hSession));
    return m_hSession != nullptr;
}

BOOL CSnmpMgr::CloseSession()
{
    BOOL bResult = TRUE;
    TRACE(5, "\nCSnmpMgr            : -> CloseSession");
    if (m_hSession) {
        TRACE(4, "\nCSnmpMgr            : CloseSession (0x%X)", HandleValue(m_hSession));
        if (!m_pfnClose(m_hSession)) {
            m_dwLastError = GetLastError();
            bResult = FALSE;
            TRACE(1, "\nCSnmpMgr            : ## ERROR 0x%X: SnmpMgrClose() FAILED!",
                  static_cast<unsigned>(m_dwLastError));
        }
    }
    m_hSession = nullptr;
    TRACE(5, "\nCSnmpMgr            : <- CloseSession");
    return bResult;
}

BOOL CSnmpMgr::SetVarBindCount(UINT nCount, BOOL bKeep)
{
    if (!LoadLibraries())
        return FALSE;
    if (!bKeep) {
        for (UINT i = 0; i < m_VarBindList.len; ++i) {
            m_pfnVarBindFree(&m_VarBindList.list[i]);
            m_VarBindList.list[i].value.asnType = ASN_NULL;
        }
    }
    if (nCount <= m_VarBindList.len)
        return TRUE;
    // The platform replaces the list with the response's, so it must come from its own heap.
    void* pGrown = m_VarBindList.list ? m_pfnMemReAlloc(m_VarBindList.list, nCount * sizeof(SnmpVarBind))
                                      : m_pfnMemAlloc(nCount * sizeof(SnmpVarBind));
    if (!pGrown) {
        m_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    m_VarBindList.list = static_cast<SnmpVarBind*>(pGrown);
    for (UINT i = m_VarBindList.len; i < nCount; ++i) {
        std::memset(&m_VarBindList.list[i], 0, sizeof(SnmpVarBind));
        m_VarBindList.list[i].value.asnType = ASN_NULL;
    }
    m_VarBindList.len = nCount;
    return TRUE;
}

BOOL CSnmpMgr::Request(BYTE bRequestType, SnmpVarBindList* pList, AsnInteger* pErrorStatus, AsnInteger* pErrorIndex)
{
    TRACE(5, "\nCSnmpMgr            : -> Request - type = \"%s\"", GetRequestTypeName(bRequestType));
    m_dwLastError = 0;
    SnmpVarBindList* pBindings = pList ? pList : &m_VarBindList;
    AsnInteger nStatus = SNMP_ERRORSTATUS_GENERR;
    AsnInteger nIndex = 0;
    if (!m_hSession) {
        TRACE(1, "\nCSnmpMgr            : ## ERROR: CSnmpMgr::Request - no open session!");
    } else if (!pBindings->list) {
        TRACE(1, "\nCSnmpMgr            : ## ERROR: CSnmpMgr::Request - no varbind list defined!");
    } else {
        if (g_FileDebug.m_bActive) {
            g_FileDebug.Trace(5, "\nCSnmpMgr            :       session %d Type (%02X) %s",
                              static_cast<int>(HandleValue(m_hSession)), bRequestType,
                              GetRequestTypeName(bRequestType));
            for (UINT i = 0; i < pBindings->len; ++i) {
                g_FileDebug.Trace(5, "\nCSnmpMgr            :  request OID [%d] : %s", static_cast<int>(i),
                                  OidToString(&pBindings->list[i].name));
                g_FileDebug.Trace(5, "\nCSnmpMgr            :    call SnmpMgrRequest()...");
            }
        }
        if (!m_pfnRequest(m_hSession, bRequestType, pBindings, &nStatus, &nIndex)) {
            m_dwLastError = GetLastError();
            TRACE(1, "\nCSnmpMgr            : ## ERROR: SnmpMgrRequest() failed, LastError=%d",
                  static_cast<int>(m_dwLastError));
            nStatus = SNMP_ERRORSTATUS_GENERR;
        }
        TRACE(5, "\nCSnmpMgr            : after SnmpMgrRequest(), errorStatus=%d, errorIndex=%d",
              static_cast<int>(nStatus), static_cast<int>(nIndex));
        if (nStatus != SNMP_ERRORSTATUS_NOERROR) {
            TRACE(4, "\nCSnmpMgr            : SNMP error status: <<%s>> at index %d",
                  GetErrorStatusText(nStatus), static_cast<int>(nIndex));
        } else if (bRequestType == SNMP_PDU_GETNEXT && g_FileDebug.m_bActive) {
            for (UINT i = 0; i < pBindings->len; ++i)
                g_FileDebug.Trace(5, "\nCSnmpMgr            :  return OID [%d] :  %s", static_cast<int>(i),
                                  OidToString(&pBindings->list[i].name));
        }
    }
    m_nErrorStatus = nStatus;
    m_nErrorIndex = nIndex;
    if (pErrorStatus)
        *pErrorStatus = nStatus;
    if (pErrorIndex)
        *pErrorIndex = nIndex;
    TRACE(5, "\nCSnmpMgr            : <- Request (LastError = 0x%X)", static_cast<unsigned>(m_dwLastError));
    SetLastError(m_dwLastError);
    return nStatus == SNMP_ERRORSTATUS_NOERROR;
}

BOOL CSnmpMgr::SetBaseOid(LPCSTR pszOid, UINT nIndex)
{
    TRACE(5, "\nCSnmpMgr            : set BaseOid [%d] to %s", static_cast<int>(nIndex),
          pszOid ? pszOid : "");
    if (!LoadLibraries())
        return FALSE;
    if (nIndex >= m_nRequestOids) {
        TRACE(5, "\nCSnmpMgr            :     realloc RequestOids --> %d", static_cast<int>(nIndex + 1));
        // The OIDs already set stay: growing keeps the walks already under way.
        void* pGrown = m_pRequestOids ? m_pfnMemReAlloc(m_pRequestOids, (nIndex + 1) * sizeof(AsnObjectIdentifier))
                                      : m_pfnMemAlloc((nIndex + 1) * sizeof(AsnObjectIdentifier));
        if (!pGrown) {
            m_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
            return FALSE;
        }
        m_pRequestOids = static_cast<AsnObjectIdentifier*>(pGrown);
        for (UINT i = m_nRequestOids; i <= nIndex; ++i)
            m_pRequestOids[i] = AsnObjectIdentifier{0, nullptr};
        m_nRequestOids = nIndex + 1;
    }
    AsnObjectIdentifier parsed{0, nullptr};
    if (!StringToOid(pszOid, &parsed))
        return FALSE;
    m_pfnOidFree(&m_pRequestOids[nIndex]);
    m_pRequestOids[nIndex] = parsed;
    m_nWalkRows = 0;
    return TRUE;
}

BOOL CSnmpMgr::NextRow()
{
    if (m_nWalkRows >= kMaxWalkRows) {
        TRACE(1, "\nCSnmpMgr            : ## ERROR: table walk stopped after %d rows",
              static_cast<int>(m_nWalkRows));
        return FALSE;
    }
    std::vector<std::vector<UINT>> asked;
    for (UINT i = 0; i < m_VarBindList.len; ++i) {
        // The records are packed: their members are copied, never bound by reference.
        const UINT* pIds = m_VarBindList.list[i].name.ids;
        asked.emplace_back(pIds, pIds + (pIds ? m_VarBindList.list[i].name.idLength : 0));
    }
    if (!Request(SNMP_PDU_GETNEXT, nullptr, nullptr, nullptr) || !OidWithinRange())
        return FALSE;
    for (UINT i = 0; i < asked.size() && i < m_VarBindList.len; ++i) {
        const AsnObjectIdentifier& name = m_VarBindList.list[i].name;
        const UINT* pIds = name.ids;
        const UINT* pEnd = pIds ? pIds + name.idLength : pIds;
        // An agent that answers with an OID not after the one asked for would be asked the same forever.
        if (!std::lexicographical_compare(asked[i].begin(), asked[i].end(), pIds, pEnd)) {
            TRACE(1, "\nCSnmpMgr            : ## ERROR: OID [%d] does not advance: %s, walk stopped",
                  static_cast<int>(i), OidToString(&name));
            return FALSE;
        }
    }
    ++m_nWalkRows;
    return TRUE;
}

BOOL CSnmpMgr::OidWithinRange()
{
    TRACE(5, "\nCSnmpMgr            : OidWithinRange(): check for %d result varbinds still in table range",
          static_cast<int>(m_nRequestOids));
    if (!m_pRequestOids) {
        TRACE(1, "\nCSnmpMgr            : ## ERROR: CSnmpMgr::OidWithinRange() m_pRequestOids == NULL");
        m_nRequestOids = 0;
        return FALSE;
    }
    for (UINT i = 0; i < m_nRequestOids && i < m_VarBindList.len; ++i) {
        AsnObjectIdentifier* pReturned = &m_VarBindList.list[i].name;
        TRACE(5, "\nCSnmpMgr            :  request OID [%d] : %s", static_cast<int>(i),
              OidToString(&m_pRequestOids[i]));
        TRACE(5, "\nCSnmpMgr            :  return  OID [%d] : %s", static_cast<int>(i),
              OidToString(pReturned));
        if (m_pfnOidNCmp(pReturned, &m_pRequestOids[i], m_pRequestOids[i].idLength) != 0) {
            TRACE(5, "\nCSnmpMgr            :    OID [%d] not in table range, return FALSE",
                  static_cast<int>(i));
            return FALSE;
        }
        TRACE(5, "\nCSnmpMgr            :    OK");
    }
    return TRUE;
}

BOOL CSnmpMgr::FindCommunity(LPSTR pszCommunity, DWORD cchCommunity)
{
    TRACE(5, "\nCSnmpMgr            :  find first community in registry (SNMP service)...");
    CRegistryKey key;
    if (key.Open(kCommunitiesKey, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) != ERROR_SUCCESS)
        return FALSE;
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[MAX_PATH] = "";
        BYTE abData[MAX_PATH + 1] = {};
        DWORD cchName = sizeof szName;
        DWORD cbData = MAX_PATH;
        DWORD dwType = 0;
        if (key.EnumValue(dwIndex, szName, &cchName, &dwType, abData, &cbData) != ERROR_SUCCESS)
            return FALSE;
        TRACE(5, "\nCSnmpMgr            :  analyzing entry in list: %s", szName);
        const char* pszFound = nullptr;
        if (dwType == REG_DWORD) {
            DWORD dwRights = 0;
            std::memcpy(&dwRights, abData, sizeof dwRights);
            TRACE(5, "\nCSnmpMgr            :    integer value: %d", static_cast<int>(dwRights));
            if (dwRights == 4 || dwRights == 8 || dwRights == 16) {
                pszFound = szName;
                TRACE(5, "\nCSnmpMgr            :    REG_DWORD: using community name: \"%s\"", szName);
            }
        } else if (IsStringType(dwType)) {
            pszFound = reinterpret_cast<const char*>(abData);
            TRACE(5, "\nCSnmpMgr            :    REG_SZ: using community name: \"%s\"", pszFound);
        }
        if (pszFound) {
            CopyCut(pszCommunity, pszFound, cchCommunity);
            return TRUE;
        }
    }
}

BOOL CSnmpMgr::StringToOid(LPCSTR pszOid, AsnObjectIdentifier* pOid)
{
    if (!pOid || !LoadLibraries())
        return FALSE;
    m_pfnOidFree(pOid);
    if (!pszOid)
        return FALSE;
    const char* p = pszOid;
    while (*p == ' ')
        ++p;
    if (*p == '.')
        ++p;

    // One sub-identifier, one more per dot, one per quoted character (its length is the dot's).
    UINT nCount = 1;
    bool bQuoted = false;
    for (const char* q = p; *q; ++q) {
        if (*q == '"')
            bQuoted = !bQuoted;
        else if (bQuoted || *q == '.')
            ++nCount;
    }
    if (nCount < 2)
        return FALSE;
    UINT* pIds = static_cast<UINT*>(m_pfnMemAlloc(nCount * sizeof(UINT)));
    if (!pIds) {
        m_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    pOid->ids = pIds;
    pOid->idLength = nCount;

    UINT nFilled = 0;
    bool bOk = true;
    while (*p && bOk && nFilled < nCount) {
        if (*p >= '0' && *p <= '9') {
            UINT nValue = 0;
            while (*p >= '0' && *p <= '9')
                nValue = nValue * 10 + static_cast<UINT>(*p++ - '0');
            pIds[nFilled++] = nValue;
        } else if (*p == '"') {
            const char* pEnd = std::strchr(p + 1, '"');
            UINT nLength = static_cast<UINT>(pEnd ? pEnd - (p + 1) : std::strlen(p + 1));
            if (nFilled + 1 + nLength > nCount) {
                bOk = false;
                break;
            }
            pIds[nFilled++] = nLength;
            for (UINT i = 0; i < nLength; ++i)
                pIds[nFilled++] = static_cast<UINT>(static_cast<signed char>(p[1 + i]));
            p += 1 + nLength + (pEnd ? 1 : 0);
        } else if (*p == '.') {
            ++p;
        } else {
            bOk = false;
        }
    }
    if (!bOk || nFilled != nCount) {
        m_pfnOidFree(pOid);
        return FALSE;
    }
    return TRUE;
}

LPCSTR CSnmpMgr::OidToString(const AsnObjectIdentifier* pOid, UINT nSubIds)
{
    static std::string s_strText;
    s_strText.clear();
    if (pOid && pOid->ids) {
        UINT nCount = nSubIds && nSubIds < pOid->idLength ? nSubIds : pOid->idLength;
        for (UINT i = 0; i < nCount; ++i) {
            if (i)
                s_strText += '.';
            s_strText += std::to_string(static_cast<int>(pOid->ids[i]));
        }
    }
    return s_strText.c_str();
}

LPCSTR CSnmpMgr::GetErrorStatusText(AsnInteger nStatus)
{
    const int nTexts = static_cast<int>(sizeof kErrorStatusTexts / sizeof kErrorStatusTexts[0]);
    return nStatus >= 0 && nStatus < nTexts ? kErrorStatusTexts[nStatus] : "unknown";
}

LPCSTR CSnmpMgr::GetRequestTypeName(BYTE bRequestType)
{
    switch (bRequestType) {
    case SNMP_PDU_GET:
        return "GET";
    case SNMP_PDU_GETNEXT:
        return "GETNEXT";
    case SNMP_PDU_RESPONSE:
        return "GETRESPONSE";
    case SNMP_PDU_SET:
        return "SET";
    default:
        return "<<Unknown>>";
    }
}

LPCSTR CSnmpMgr::GetString(AsnAny* pValue)
{
    if (!pValue || pValue->asnType != ASN_OCTETSTRING)
        return "<<GetString type mismatch>>";
    AsnOctetString& text = pValue->asnValue.string;
    if (text.length == 0 || !text.stream)
        return "";
    if (text.stream[text.length - 1] != '\0') {
        if (!LoadLibraries())
            return "<<SnmpUtilMemReAlloc ERROR>>";
        // A stream the value does not own cannot grow in place: it gets a copy it owns.
        BYTE* pGrown = static_cast<BYTE*>(text.dynamic ? m_pfnMemReAlloc(text.stream, text.length + 1)
                                                       : m_pfnMemAlloc(text.length + 1));
        if (!pGrown)
            return "<<SnmpUtilMemReAlloc ERROR>>";
        if (!text.dynamic)
            std::memcpy(pGrown, text.stream, text.length);
        pGrown[text.length] = '\0';
        text.stream = pGrown;
        text.dynamic = TRUE;
    }
    return reinterpret_cast<LPCSTR>(text.stream);
}

UINT CSnmpMgr::GetValueString(const AsnAny* pValue, LPSTR pszBuffer, UINT cbBuffer)
{
    if (!pValue || pValue->asnType != ASN_OCTETSTRING)
        return 0;
    const AsnOctetString& text = pValue->asnValue.string;
    if (pszBuffer && cbBuffer > text.length) {
        if (text.length)
            std::memcpy(pszBuffer, text.stream, text.length);
        pszBuffer[text.length] = '\0';
    }
    return text.length;
}

void CSnmpMgr::ReleaseBaseOids()
{
    if (!m_pRequestOids)
        return;
    for (UINT i = 0; i < m_nRequestOids; ++i)
        m_pfnOidFree(&m_pRequestOids[i]);
    m_pfnMemFree(m_pRequestOids);
    m_pRequestOids = nullptr;
    m_nRequestOids = 0;
}
