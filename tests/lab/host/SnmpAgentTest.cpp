// The lab's SNMP service: a real snmpd configured from the service's registry, checked with net-snmp's own tools.
#include "lab/host/Host.h"
#include "lab/host/SnmpAgent.h"
#include "lab/win32/SnmpControl.h"
#include "src/platform/Win32.h"
#include "src/sysaccess/ServiceMgr.h"
#include "tests/lab/LabTestSupport.h"
#include "tests/support/SnmpHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::CSnmpHost;
using labtest::ScratchDir;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::RegString;
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

// The agent's configuration as the lab makes it now, and the reason it would refuse one.
std::string AgentConfig(std::string* pProblem = nullptr)
{
    lab::host::Host& lab = lab::host::Host::Instance();
    std::string problem;
    std::string config = lab::host::SnmpAgentConfig(lab.Registry(), lab.Settings(), lab.TheNetwork(), problem);
    if (pProblem)
        *pProblem = problem;
    return config;
}

std::string SystemGroup(const std::string& description, const std::string& name)
{
    return "override .1.3.6.1.2.1.1.1.0 octet_str \"" + description + "\"\n" +
           "override .1.3.6.1.2.1.1.4.0 octet_str \"\"\n" + "override .1.3.6.1.2.1.1.5.0 octet_str \"" + name + "\"\n" +
           "override .1.3.6.1.2.1.1.6.0 octet_str \"\"\n";
}

// A REG_MULTI_SZ of one string, as a Version 5 file writes it.
std::string MultiSz(const std::string& text)
{
    return "hex(7):" + testsupport::RegHexText(text, true).substr(7) + ",00,00";
}

// sysDescr as the program's own session sees it with this community; "(timeout)" when nobody answers.
std::string AskAgent(const std::string& community)
{
    LPSNMP_MGR_SESSION session =
        SnmpMgrOpen(const_cast<LPSTR>("127.0.0.1"), const_cast<LPSTR>(community.c_str()), 300, 0);
    if (!session)
        return "(open failed)";
    // The list belongs to the manager's allocator: the response replaces it.
    UINT sysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    AsnObjectIdentifier name{9, sysDescr};
    SnmpVarBindList list{static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind))), 1};
    SnmpUtilOidCpy(&list.list[0].name, &name);
    AsnInteger status = 0, index = 0;
    std::string answer = "(timeout)";
    if (SnmpMgrRequest(session, SNMP_PDU_GET, &list, &status, &index) && status == 0 &&
        list.list[0].value.asnType == ASN_OCTETSTRING)
        answer.assign(reinterpret_cast<const char*>(list.list[0].value.asnValue.string.stream),
                      list.list[0].value.asnValue.string.length);
    SnmpUtilVarBindListFree(&list);
    SnmpMgrClose(session);
    return answer;
}

TEST(SnmpAgentConfig, CommunitiesAndManagersAsWindowsAppliesThem)
{
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("none", RegDword(1)) + RegLine("notify", RegDword(2)) +
                                                    RegLine("ro", RegDword(4)) + RegLine("rw", RegDword(8)) +
                                                    RegLine("rc", RegDword(16)) + RegLine("1", "\"text\"")) +
                   SnmpKey("PermittedManagers", RegLine("1", "\"LocalHost\"") + RegLine("2", "\"10.1.2.3\"") +
                                                    RegLine("3", "\"no-such-host.invalid\"")));
    std::string problem;
    std::string config = AgentConfig(&problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(config, SystemGroup(testsupport::SnmpMachineDescription(), "QMFS-SNMP") +
                          "rocommunity \"ro\" 127.0.0.1\nrocommunity \"ro\" 10.1.2.3\n"
                          "rwcommunity \"rw\" 127.0.0.1\nrwcommunity \"rw\" 10.1.2.3\n"
                          "rwcommunity \"rc\" 127.0.0.1\nrwcommunity \"rc\" 10.1.2.3\n"
                          "rocommunity \"text\" 127.0.0.1\nrocommunity \"text\" 10.1.2.3\n");

    CSnmpHost everybody(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))));
    EXPECT_EQ(AgentConfig().substr(config.find("rocommunity")), "rocommunity \"ro\" default\n");
}

TEST(SnmpAgentConfig, ManagerNamesComeFromTheServersOwnTable)
{
    // The Linux machine's own name resolves through its resolver; the modelled server knows only its [Hosts].
    char szLinuxName[256] = "";
    gethostname(szLinuxName, sizeof szLinuxName - 1);
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))) +
                   SnmpKey("PermittedManagers", RegLine("1", RegString(szLinuxName)) +
                                                    RegLine("2", "\"Console.Harrowgate.Local\"")));
    host.Profile().Write("network.ini", "[Hosts]\nconsole.harrowgate.local=10.1.9.40\n");
    host.Reload();
    EXPECT_EQ(AgentConfig().substr(AgentConfig().find("rocommunity")), "rocommunity \"ro\" 10.1.9.40\n");
}

TEST(SnmpAgentConfig, TheDenySwitchHoldsForTheProgramOnly)
{
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))), "", "running",
                   "[Registry]\nDeny64BitView=HKLM\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities\n"
                   "Deny64BitView=HKLM\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\n");
    HKEY hKey = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters", 0,
                            KEY_READ | KEY_WOW64_64KEY, &hKey),
              ERROR_ACCESS_DENIED);
    EXPECT_NE(AgentConfig().find("rocommunity \"ro\" default\n"), std::string::npos);
    EXPECT_EQ(AskAgent("ro"), testsupport::SnmpMachineDescription());
}

TEST(SnmpAgent, ServesTheOlderStringFormUnderTheValuesData)
{
    // "1"="public" (REG_SZ) and "2"=REG_MULTI_SZ "second": the data is the community, as the service takes it.
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("1", "\"public\"") +
                                                    RegLine("2", MultiSz("second"))));
    EXPECT_EQ(AskAgent("public"), testsupport::SnmpMachineDescription());
    EXPECT_EQ(AskAgent("second"), testsupport::SnmpMachineDescription());
    EXPECT_EQ(AskAgent("1"), "(timeout)");
}

TEST(SnmpAgent, ServesCommunitiesOfAnyCharacters)
{
    const std::string odd[] = {"two words", "say \"hi\"", "#hash", "caf\xe9", "tab\there", "back\\slash", "it's"};
    std::string lines;
    for (const std::string& community : odd)
        lines += RegString(community) + "=" + RegDword(4) + "\r\n";
    // snmpd, and the scripted agent that reads the same configuration.
    for (const char* pszAgent : {"snmpd", "scripted"}) {
        CSnmpHost host(SnmpKey("ValidCommunities", lines), "", "running", std::string("[SNMP]\nAgent=") + pszAgent + "\n");
        for (const std::string& community : odd)
            EXPECT_EQ(AskAgent(community), testsupport::SnmpMachineDescription()) << pszAgent << ": " << community;
        EXPECT_EQ(AskAgent("two"), "(timeout)") << pszAgent;
    }
}

TEST(SnmpAgent, RefusesAProfileWhoseCommunitySnmpdCannotServe)
{
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("", RegDword(4))));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(lab::host::Host::Instance().LoadProfile(host.Profile().Dir(), host.Profile().StateDir()));
    std::string complaint = testing::internal::GetCapturedStderr();
    EXPECT_NE(complaint.find("ValidCommunities value \"\": snmpd cannot serve an empty community"), std::string::npos)
        << complaint;
}

TEST(SnmpAgent, ServesASystemDescriptionOfAnyLength)
{
    const std::string processor(300, 'P');
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))),
                   "[HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0]\r\n" +
                       RegLine("Identifier", RegString(processor)) + "\r\n");
    EXPECT_EQ(AskAgent("ro"), "Hardware: " + processor +
                                  " AT/AT COMPATIBLE - Software: Windows Version 6.3 (Build 14393 Multiprocessor Free)");

    // More than a line of snmpd's configuration holds: the profile is refused, naming the object.
    const std::string huge(5000, 'P');
    CSnmpHost tooLong(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))),
                      "[HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0]\r\n" +
                          RegLine("Identifier", RegString(huge)) + "\r\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(lab::host::Host::Instance().LoadProfile(tooLong.Profile().Dir(), tooLong.Profile().StateDir()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("snmpd cannot serve .1.3.6.1.2.1.1.1.0"), std::string::npos);
}

TEST(SnmpAgent, AnAgentThatWillNotStartFailsOnce)
{
    ScratchDir scratch;
    const std::string starts = scratch.File("starts");
    const std::string fake = scratch.File("snmpd");
    testsupport::WriteText(fake, "#!/bin/sh\necho started >> " + starts + "\nexit 1\n");
    chmod(fake.c_str(), 0755);
    setenv("TRIAGIST_SNMPD", fake.c_str(), 1);
    CSnmpHost host(SnmpKey("ValidCommunities", RegLine("ro", RegDword(4))));
    testing::internal::CaptureStderr();
    EXPECT_EQ(lab::win32::SnmpAgentPort(), 0);
    EXPECT_EQ(AskAgent("ro"), "(timeout)");
    EXPECT_EQ(AskAgent("ro"), "(timeout)");
    std::string complaint = testing::internal::GetCapturedStderr();
    unsetenv("TRIAGIST_SNMPD");
    EXPECT_EQ(testsupport::ReadText(starts), "started\n");
    EXPECT_EQ(complaint.find("could not be started"), complaint.rfind("could not be started")) << complaint;
    EXPECT_NE(complaint.find("could not be started"), std::string::npos);
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
