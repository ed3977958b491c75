// The lab's SNMP service: a real snmpd configured from the service's registry, checked with net-snmp's own tools.
#include "lab/host/Host.h"
#include "lab/host/SnmpAgent.h"
#include "lab/win32/SnmpControl.h"
#include "src/platform/Win32.h"
#include "src/sysaccess/ServiceMgr.h"
#include "tests/support/SnmpHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using testsupport::CSnmpHost;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::SnmpKey;

// What snmpget prints for sysDescr, or its complaint.
std::string SnmpGet(const std::string& strCommunity, uint16_t port)
{
    std::string command = "snmpget -v1 -m '' -Ovq -t 0.3 -r 0 -c " + strCommunity + " 127.0.0.1:" +
                          std::to_string(port) + " .1.3.6.1.2.1.1.1.0 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    if (pipe)
        pclose(pipe);
    return output;
}

TEST(SnmpAgentConfig, CommunitiesAndManagersAsWindowsAppliesThem)
{
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("none", RegDword(1)) + RegLine("notify", RegDword(2)) +
                                                    RegLine("ro", RegDword(4)) + RegLine("rw", RegDword(8)) +
                                                    RegLine("rc", RegDword(16)) + RegLine("text", "\"x\"")) +
                   SnmpKey("PermittedManagers", RegLine("1", "\"LocalHost\"") + RegLine("2", "\"10.1.2.3\"") +
                                                    RegLine("3", "\"no-such-host.invalid\"")));
    lab::host::Host& lab = lab::host::Host::Instance();
    std::string config = lab::host::SnmpAgentConfig(lab.Registry(), lab.Settings());
    EXPECT_EQ(config, "sysDescr " + std::string(testsupport::SnmpMachineDescription()) + "\nsysName QMFS-SNMP\n"
                      "rocommunity ro 127.0.0.1\nrocommunity ro 10.1.2.3\n"
                      "rwcommunity rw 127.0.0.1\nrwcommunity rw 10.1.2.3\n"
                      "rwcommunity rc 127.0.0.1\nrwcommunity rc 10.1.2.3\n"
                      "rocommunity text 127.0.0.1\nrocommunity text 10.1.2.3\n");

    CSnmpHost everybody(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))));
    EXPECT_EQ(lab::host::SnmpAgentConfig(lab.Registry(), lab.Settings()).substr(config.find("rocommunity")),
              "rocommunity ro default\n");
}

TEST(SnmpAgent, AnswersNetSnmpsOwnToolsWhileTheServiceRuns)
{
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4)) + RegLine("off", RegDword(1))));
    uint16_t port = lab::win32::SnmpAgentPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(SnmpGet("ro", port), "\"" + std::string(testsupport::SnmpMachineDescription()) + "\"\n");
    // A community without rights is not answered at all, as Windows does it.
    EXPECT_NE(SnmpGet("off", port).find("Timeout"), std::string::npos);

    // Its configuration and log are in the lab's state, for a test or a person to look at.
    std::string dir = lab::win32::SnmpAgentDirectory();
    EXPECT_EQ(dir.rfind(lab::host::Host::Instance().StateDir() + "/snmp/", 0), 0u) << dir;
    EXPECT_NE(testsupport::ReadText(dir + "/snmpd.conf").find("agentaddress udp:127.0.0.1:" + std::to_string(port)),
              std::string::npos);
    EXPECT_NE(testsupport::ReadText(dir + "/snmpd.log").find("NET-SNMP version"), std::string::npos);

    // A silent agent takes requests and answers none.
    lab::win32::SetSnmpAgentSilent(true);
    EXPECT_NE(SnmpGet("ro", port).find("Timeout"), std::string::npos);
    lab::win32::SetSnmpAgentSilent(false);
    EXPECT_EQ(SnmpGet("ro", port).front(), '"');
}

TEST(SnmpAgent, FollowsTheServiceAndTakesTheRegistryAtItsStart)
{
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))));
    uint16_t port = lab::win32::SnmpAgentPort();
    ASSERT_NE(port, 0);
    CServiceMgr services(CServiceMgr::NeverAsk());
    ASSERT_EQ(services.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(services.StopService("SNMP", FALSE, 30000), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(lab::win32::SnmpAgentPort(), 0);
    EXPECT_NE(SnmpGet("ro", port).find("Timeout"), std::string::npos);

    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities",
                            0, KEY_SET_VALUE, &hKey),
              ERROR_SUCCESS);
    DWORD dwReadOnly = 4;
    RegSetValueExA(hKey, "later", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwReadOnly), sizeof dwReadOnly);
    RegCloseKey(hKey);
    ASSERT_EQ(services.StartService("SNMP", 0, nullptr, FALSE, 30000), static_cast<DWORD>(ERROR_SUCCESS));
    port = lab::win32::SnmpAgentPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(SnmpGet("later", port).front(), '"');
}

}  // namespace
