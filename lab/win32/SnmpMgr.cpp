// Stands in for mgmtapi.dll: SNMPv1 manager sessions, spoken for real through net-snmp's library.
#include "lab/win32/Snmp.h"
#include "lab/win32/SnmpControl.h"
#include "lab/win32/SysInfo.h"

#include "lab/host/Host.h"
#include "lab/host/RegistryTree.h"
#include "lab/host/ServiceTable.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace {

using lab::host::EqualsNoCase;
using lab::host::Host;

// Windows' own code for a name that does not resolve.
constexpr DWORD kHostNotFound = 11001;
// In virtual time a try that gets no answer still waits this long for real, at least, so a
// loaded machine does not lose answers; the lab clock then moves by the whole time-out.
constexpr int kVirtualTryMs = 250;

struct MgrSession {
    std::mutex lock;
    std::string address;
    std::string community;
    int timeoutMs = 0;
    int retries = 0;
    bool bLocal = false;
    std::string peer;          // what the net-snmp session below is open to
    void* pNetSnmp = nullptr;  // net-snmp's single session
};

struct Sessions {
    std::mutex lock;
    std::set<MgrSession*> open;
    // The agent's configuration is what the registry said when the service last started.
    uint64_t configLoad = 0;
    uint32_t configStarts = UINT32_MAX;
    std::shared_ptr<const std::string> config;  // shared, not copied: a status MIB can make it large
};

Sessions& TheSessions()
{
    static Sessions* pSessions = new Sessions;  // used by static destructors too
    return *pSessions;
}

void InitNetSnmp()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // A manager of its own: no configuration files, MIBs or saved state of the machine's.
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_set_mib_directory("");
        setenv("MIBS", "", 1);
        snmp_disable_log();
        init_snmp("triagist-lab");
    });
}

std::string MachineName()
{
    char name[256] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name) : std::string();
}

bool IsLocal(const std::string& address)
{
    return address == "127.0.0.1" || EqualsNoCase(address, "localhost") || EqualsNoCase(address, "loopback") ||
           EqualsNoCase(address, MachineName());
}

// The port of the agent behind the service; 0 when the service does not run or snmpd will not start.
uint16_t LocalAgentPort()
{
    Host& host = Host::Instance();
    uint32_t starts = 0;
    if (!host.Services().IsRunning("SNMP", &starts)) {
        host.TheSnmpAgent().Stop();
        return 0;
    }
    std::shared_ptr<const std::string> config;
    {
        Sessions& sessions = TheSessions();
        std::lock_guard<std::mutex> guard(sessions.lock);
        if (sessions.configLoad != host.LoadCount() || sessions.configStarts != starts) {
            host.TheSnmpAgent().Stop();  // the service started anew: so does its agent
            std::string text, problem;
            if (!lab::host::SnmpServiceConfig(host.Registry(), host.Settings(), host.TheNetwork(),
                                              host.TheBaseService().Subsystems(), text, problem)) {
                // The registry changed since the profile was loaded: the service fails to start, once.
                std::fprintf(stderr, "lab: the SNMP service cannot start: %s\n", problem.c_str());
                text.clear();
            }
            sessions.config = std::make_shared<const std::string>(text);
            sessions.configLoad = host.LoadCount();
            sessions.configStarts = starts;
        }
        config = sessions.config;
    }
    return config->empty() ? 0 : host.TheSnmpAgent().Ensure(host.StateDir(), *config);
}

void CloseNetSnmp(MgrSession& session)
{
    if (session.pNetSnmp)
        snmp_sess_close(session.pNetSnmp);
    session.pNetSnmp = nullptr;
    session.peer.clear();
}

bool OpenNetSnmp(MgrSession& session, const std::string& peer, int tryMs)
{
    if (session.pNetSnmp && session.peer == peer)
        return true;
    CloseNetSnmp(session);
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    settings.peername = const_cast<char*>(peer.c_str());
    settings.community = reinterpret_cast<u_char*>(const_cast<char*>(session.community.c_str()));
    settings.community_len = session.community.size();
    settings.timeout = static_cast<long>(tryMs) * 1000;
    settings.retries = session.retries;
    session.pNetSnmp = snmp_sess_open(&settings);
    if (!session.pNetSnmp)
        return false;
    session.peer = peer;
    return true;
}

bool AddBinding(netsnmp_pdu* pPdu, const SnmpVarBind& binding)
{
    if (binding.name.idLength > MAX_OID_LEN)
        return false;
    oid ids[MAX_OID_LEN];
    std::copy(binding.name.ids, binding.name.ids + binding.name.idLength, ids);
    size_t length = binding.name.idLength;
    const AsnAny& value = binding.value;
    switch (value.asnType) {
    case ASN_INTEGER: {
        long number = value.asnValue.number;
        return snmp_pdu_add_variable(pPdu, ids, length, ASN_INTEGER, &number, sizeof number);
    }
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
    case ASN_UNSIGNED32: {
        u_long number = value.asnValue.unsigned32;
        return snmp_pdu_add_variable(pPdu, ids, length, value.asnType, &number, sizeof number);
    }
    case ASN_COUNTER64: {
        counter64 number{value.asnValue.counter64.QuadPart >> 32, value.asnValue.counter64.QuadPart & 0xFFFFFFFFu};
        return snmp_pdu_add_variable(pPdu, ids, length, ASN_COUNTER64, &number, sizeof number);
    }
    case ASN_OCTETSTRING:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_BITS:
        return snmp_pdu_add_variable(pPdu, ids, length, value.asnType, value.asnValue.string.stream,
                                     value.asnValue.string.length);
    case ASN_OBJECTIDENTIFIER: {
        std::vector<oid> object(value.asnValue.object.ids, value.asnValue.object.ids + value.asnValue.object.idLength);
        return snmp_pdu_add_variable(pPdu, ids, length, ASN_OBJECTIDENTIFIER, object.data(),
                                     object.size() * sizeof(oid));
    }
    default:
        return snmp_add_null_var(pPdu, ids, length) != nullptr;
    }
}

bool CopyOid(const oid* pIds, size_t length, AsnObjectIdentifier& target)
{
    target.idLength = 0;
    target.ids = nullptr;
    if (length == 0)
        return true;
    target.ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(length * sizeof(UINT))));
    if (!target.ids)
        return false;
    for (size_t i = 0; i < length; ++i)
        target.ids[i] = static_cast<UINT>(pIds[i]);
    target.idLength = static_cast<UINT>(length);
    return true;
}

bool CopyValue(const netsnmp_variable_list& variable, AsnAny& value)
{
    value.asnType = variable.type;
    switch (variable.type) {
    case ASN_INTEGER:
        value.asnValue.number = static_cast<AsnInteger32>(*variable.val.integer);
        return true;
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
    case ASN_UNSIGNED32:
        value.asnValue.unsigned32 = static_cast<AsnUnsigned32>(*variable.val.integer);
        return true;
    case ASN_COUNTER64:
        value.asnValue.counter64.QuadPart =
            static_cast<uint64_t>(variable.val.counter64->high) << 32 | variable.val.counter64->low;
        return true;
    case ASN_OCTETSTRING:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_BITS: {
        AsnOctetString source{variable.val.string, static_cast<UINT>(variable.val_len), FALSE};
        return SnmpUtilOctetsCpy(&value.asnValue.string, &source) != SNMPAPI_ERROR;
    }
    case ASN_OBJECTIDENTIFIER:
        return CopyOid(variable.val.objid, variable.val_len / sizeof(oid), value.asnValue.object);
    default:
        return true;  // NULL and the exceptions carry no value
    }
}

bool TakeResponse(const netsnmp_pdu& response, SnmpVarBindList& bindings)
{
    UINT count = 0;
    for (const netsnmp_variable_list* p = response.variables; p; p = p->next_variable)
        ++count;
    SnmpVarBindList result{nullptr, 0};
    if (count) {
        result.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(count * sizeof(SnmpVarBind)));
        if (!result.list)
            return false;
    }
    for (const netsnmp_variable_list* p = response.variables; p; p = p->next_variable, ++result.len) {
        SnmpVarBind& binding = result.list[result.len];
        if (!CopyOid(p->name, p->name_length, binding.name) || !CopyValue(*p, binding.value)) {
            ++result.len;
            SnmpUtilVarBindListFree(&result);
            return false;
        }
    }
    SnmpUtilVarBindListFree(&bindings);
    bindings = result;
    return true;
}

uint64_t AllTriesMs(const MgrSession& session)
{
    return static_cast<uint64_t>(session.timeoutMs) * (session.retries + 1);
}

// Nobody answered: the caller waited through every try.
SNMPAPI NoAnswer(const MgrSession& session, bool bWaited)
{
    lab::host::Clock& clock = Host::Instance().TheClock();
    uint64_t total = AllTriesMs(session);
    if (!bWaited)
        clock.Sleep(static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX)));
    else if (clock.IsVirtual())
        clock.Advance(total);
    SetLastError(SNMP_MGMTAPI_TIMEOUT);
    return SNMPAPI_ERROR;
}

}  // namespace

LPSNMP_MGR_SESSION WINAPI SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut, INT nRetries)
{
    if (!lpAgentAddress || !lpAgentCommunity) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string address = lpAgentAddress;
    bool bLocal = IsLocal(address);
    if (!bLocal) {
        // The server resolves the name, not the network the lab runs on.
        address = lab::host::ResolveHostAddress(Host::Instance().TheNetwork(), address);
        if (address.empty()) {
            SetLastError(kHostNotFound);
            return nullptr;
        }
    }
    InitNetSnmp();
    auto* pSession = new MgrSession;
    pSession->address = address;
    pSession->community = lpAgentCommunity;
    pSession->timeoutMs = nTimeOut > 0 ? nTimeOut : 0;
    pSession->retries = nRetries > 0 ? nRetries : 0;
    pSession->bLocal = bLocal;
    Sessions& sessions = TheSessions();
    std::lock_guard<std::mutex> guard(sessions.lock);
    sessions.open.insert(pSession);
    return pSession;
}

BOOL WINAPI SnmpMgrClose(LPSNMP_MGR_SESSION session)
{
    auto* pSession = static_cast<MgrSession*>(session);
    {
        Sessions& sessions = TheSessions();
        std::lock_guard<std::mutex> guard(sessions.lock);
        if (!sessions.open.erase(pSession)) {
            SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
            return FALSE;
        }
    }
    CloseNetSnmp(*pSession);
    delete pSession;
    return TRUE;
}

SNMPAPI WINAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType, SnmpVarBindList* variableBindings,
                              AsnInteger* errorStatus, AsnInteger* errorIndex)
{
    auto* pSession = static_cast<MgrSession*>(session);
    {
        Sessions& sessions = TheSessions();
        std::lock_guard<std::mutex> guard(sessions.lock);
        if (!sessions.open.count(pSession)) {
            SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
            return SNMPAPI_ERROR;
        }
    }
    if (!variableBindings || !errorStatus || !errorIndex || (variableBindings->len && !variableBindings->list)) {
        SetLastError(SNMP_MGMTAPI_INVALID_BUFFER);
        return SNMPAPI_ERROR;
    }
    if (requestType != SNMP_PDU_GET && requestType != SNMP_PDU_GETNEXT && requestType != SNMP_PDU_SET) {
        SetLastError(SNMP_MGMTAPI_INVALID_CTL);
        return SNMPAPI_ERROR;
    }
    std::lock_guard<std::mutex> guard(pSession->lock);
    std::string peer = "udp:" + pSession->address + ":161";
    if (pSession->bLocal) {
        uint16_t port = LocalAgentPort();
        if (!port)
            return NoAnswer(*pSession, false);
        peer = "udp:127.0.0.1:" + std::to_string(port);
    }
    lab::host::Clock& clock = Host::Instance().TheClock();
    int tryMs = clock.IsVirtual() ? std::max<int>(kVirtualTryMs, clock.RealWaitMs(pSession->timeoutMs))
                                  : pSession->timeoutMs;
    if (!OpenNetSnmp(*pSession, peer, tryMs)) {
        SetLastError(SNMP_MGMTAPI_SELECT_FDERRORS);
        return SNMPAPI_ERROR;
    }

    netsnmp_pdu* pPdu = snmp_pdu_create(requestType);
    for (UINT i = 0; i < variableBindings->len; ++i) {
        if (!AddBinding(pPdu, variableBindings->list[i])) {
            snmp_free_pdu(pPdu);
            SetLastError(SNMP_MGMTAPI_INVALID_BUFFER);
            return SNMPAPI_ERROR;
        }
    }
    netsnmp_pdu* pResponse = nullptr;
    uint64_t askedAt = clock.TickMs();
    int status = snmp_sess_synch_response(pSession->pNetSnmp, pPdu, &pResponse);  // frees the request
    // A slow scripted agent moves the virtual clock instead of taking time: an answer later than
    // every try is one the manager stopped waiting for.
    if (status == STAT_SUCCESS && pResponse && clock.IsVirtual() && clock.TickMs() - askedAt >= AllTriesMs(*pSession)) {
        snmp_free_pdu(pResponse);
        SetLastError(SNMP_MGMTAPI_TIMEOUT);
        return SNMPAPI_ERROR;
    }
    if (status != STAT_SUCCESS || !pResponse) {
        if (pResponse)
            snmp_free_pdu(pResponse);
        return NoAnswer(*pSession, true);
    }
    bool bTaken = TakeResponse(*pResponse, *variableBindings);
    *errorStatus = static_cast<AsnInteger>(pResponse->errstat);
    *errorIndex = static_cast<AsnInteger>(pResponse->errindex);
    snmp_free_pdu(pResponse);
    if (!bTaken) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SNMPAPI_ERROR;
    }
    return SNMPAPI_NOERROR;
}

namespace lab::win32 {

void SetSnmpAgentSilent(bool bSilent)
{
    Host::Instance().TheSnmpAgent().SetSilent(bSilent);
}

uint16_t SnmpAgentPort()
{
    InitNetSnmp();
    return LocalAgentPort();
}

std::string SnmpAgentDirectory()
{
    return Host::Instance().TheSnmpAgent().Directory();
}

}  // namespace lab::win32
