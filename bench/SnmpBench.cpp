// The SNMP function test's timing loop through CSnmpMgr, and the same 100 GETs on a bare net-snmp session.
#include "lab/host/Host.h"
#include "lab/win32/SnmpControl.h"
#include "src/sysaccess/SnmpMgr.h"

#include <benchmark/benchmark.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const char SYS_DESCR[] = ".1.3.6.1.2.1.1.1.0";
const int LOOP = 100;

// A server whose SNMP service runs, on the real clock; its agent is the one both loops ask.
class SnmpBenchLab {
public:
    SnmpBenchLab()
    {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "triagist-snmpbench-XXXXXX").string();
        if (mkdtemp(&pattern[0]))
            m_dir = pattern;
        fs::create_directories(m_dir + "/profile");
        std::ofstream(m_dir + "/profile/services.ini") << "[SNMP]\nType=0x10\nState=running\n";
        std::ofstream(m_dir + "/profile/registry.reg")
            << "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities]\r\n"
               "\"public\"=dword:00000004\r\n";
        lab::host::Host::Instance().LoadProfile(m_dir + "/profile", m_dir + "/state");
        m_port = lab::win32::SnmpAgentPort();
    }
    ~SnmpBenchLab()
    {
        lab::host::Host::Instance().TheSnmpAgent().Stop();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    uint16_t Port() const { return m_port; }

private:
    std::string m_dir;
    uint16_t m_port = 0;
};

SnmpBenchLab& Lab()
{
    static SnmpBenchLab lab;
    return lab;
}

void BM_SnmpMgrLoop(benchmark::State& state)
{
    Lab();
    CSnmpMgr snmp(nullptr, nullptr, 5000, 10);
    if (!snmp.OpenSession(nullptr, "public", 2000, 3)) {
        state.SkipWithError("no session");
        return;
    }
    for (auto _ : state) {
        int answered = 0;
        for (int n = 0; n < LOOP; ++n) {
            answered += snmp.SetVarBindCount(1, FALSE) && snmp.StringToOid(SYS_DESCR, &snmp.m_VarBindList.list[0].name) &&
                        snmp.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr);
        }
        if (answered != LOOP)
            state.SkipWithError("unanswered GET");
    }
}
BENCHMARK(BM_SnmpMgrLoop)->Unit(benchmark::kMillisecond);

void BM_NetSnmpLoop(benchmark::State& state)
{
    SnmpBenchLab& lab = Lab();
    {
        CSnmpMgr warmUp("127.0.0.1", "public", 2000, 3);  // net-snmp is set up as the lab sets it up
    }
    netsnmp_session settings;
    snmp_sess_init(&settings);
    std::string peer = "udp:127.0.0.1:" + std::to_string(lab.Port());
    settings.version = SNMP_VERSION_1;
    settings.peername = &peer[0];
    settings.community = reinterpret_cast<u_char*>(const_cast<char*>("public"));
    settings.community_len = 6;
    settings.timeout = 2000 * 1000;
    settings.retries = 3;
    netsnmp_session* pSession = snmp_open(&settings);
    if (!pSession) {
        state.SkipWithError("no session");
        return;
    }
    oid name[MAX_OID_LEN];
    size_t length = MAX_OID_LEN;
    read_objid(SYS_DESCR, name, &length);
    for (auto _ : state) {
        for (int n = 0; n < LOOP; ++n) {
            netsnmp_pdu* pPdu = snmp_pdu_create(SNMP_MSG_GET);
            snmp_add_null_var(pPdu, name, length);
            netsnmp_pdu* pResponse = nullptr;
            if (snmp_synch_response(pSession, pPdu, &pResponse) != STAT_SUCCESS || !pResponse ||
                pResponse->errstat != SNMP_ERR_NOERROR)
                state.SkipWithError("unanswered GET");
            if (pResponse)
                snmp_free_pdu(pResponse);
        }
    }
    snmp_close(pSession);
}
BENCHMARK(BM_NetSnmpLoop)->Unit(benchmark::kMillisecond);

}  // namespace
