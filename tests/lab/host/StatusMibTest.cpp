// The agents' status MIB of the lab's snmpd, made from the base service's status tree, checked with snmpwalk.
#include "lab/host/BaseService.h"
#include "lab/win32/SnmpControl.h"
#include "tests/support/DefaultServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using testsupport::CDefaultServer;

const char STATUS_MIB[] = ".1.3.6.1.4.1.99999.2.10.2.11";

// What snmpwalk prints for the status MIB, with numeric names; its complaint when it fails.
std::string Walk(uint16_t port)
{
    std::string command = "snmpwalk -v1 -m '' -On -t 0.5 -r 1 -c public 127.0.0.1:" + std::to_string(port) + " " +
                          STATUS_MIB + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[1024];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    if (pipe)
        pclose(pipe);
    return output;
}

std::string Line(const char* pszColumn, int nRow, const std::string& value)
{
    return std::string(STATUS_MIB) + pszColumn + std::to_string(nRow) + " = " + value + "\n";
}

TEST(StatusMib, TypesIdentifiersAndListsAsTheProfileGivesThem)
{
    CDefaultServer server;
    server.Write("baseservice.ini", "[Subsystem]\n"
                                    "Name=Say \"hi\" \\ there\n"
                                    "Description=Fans\n"
                                    "ComponentList=b  a nowhere\n"
                                    "Component=7|no|First|-|a\n"
                                    "Component=8|no|Second|-|b\n"
                                    "Component=9|no|Third|-\n"
                                    "Component=4|no|Fourth|-\n\n"
                                    "[Subsystem]\nName=Bare\n\n"
                                    "[StatusMib]\n"
                                    "StatusType=b|gauge\n"
                                    "StatusType=1.3|counter\n"
                                    "StatusType=1.4|string\n");
    uint16_t port = lab::win32::SnmpAgentPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(Walk(port), Line(".3.1.1.3.", 1, "STRING: \"Fans\"") + Line(".3.1.1.3.", 2, "\"\"") +
                              Line(".3.1.1.5.", 1, "STRING: \"b  a nowhere\"") + Line(".3.1.1.5.", 2, "\"\"") +
                              Line(".3.1.1.6.", 1, "STRING: \"Say \\\"hi\\\" \\\\ there\"") +
                              Line(".3.1.1.6.", 2, "STRING: \"Bare\"") +
                              Line(".4.1.1.2.", 1, "STRING: \"a\"") + Line(".4.1.1.2.", 2, "STRING: \"b\"") +
                              Line(".4.1.1.2.", 3, "STRING: \"1.3\"") + Line(".4.1.1.2.", 4, "STRING: \"1.4\"") +
                              Line(".4.1.1.3.", 1, "INTEGER: 7") + Line(".4.1.1.3.", 2, "Gauge32: 8") +
                              Line(".4.1.1.3.", 3, "Counter32: 9") + Line(".4.1.1.3.", 4, "STRING: \"4\"") +
                              Line(".4.1.1.5.", 1, "STRING: \"First\"") + Line(".4.1.1.5.", 2, "STRING: \"Second\"") +
                              Line(".4.1.1.5.", 3, "STRING: \"Third\"") + Line(".4.1.1.5.", 4, "STRING: \"Fourth\""));
}

// The server agent serves the MIB: an agent a tool turned off, or one without its library, serves nothing.
TEST(StatusMib, OnlyWhileTheServiceLoadsTheServerAgent)
{
    const std::string disabled =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents]\r\n"
        "\"2\"=\"SOFTWARE\\\\Brennock\\\\ServerAgent\\\\CurrentVersion__Disabled_by_Triagist\"\r\n";
    const std::string uninstalled = "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\ServerAgent]\r\n";
    for (const std::string& registry : {disabled, uninstalled}) {
        CDefaultServer server(registry);
        uint16_t port = lab::win32::SnmpAgentPort();
        ASSERT_NE(port, 0);
        EXPECT_EQ(Walk(port).find(std::string(STATUS_MIB) + "."), std::string::npos) << registry;
    }
}

TEST(StatusMib, TheProfileRefusesWhatTheMibCouldNotServe)
{
    lab::host::BaseService service;
    std::string error;
    EXPECT_FALSE(service.Parse("[Subsystem]\nComponent=1|no|Name|-|two words\n", error));
    EXPECT_EQ(error, "line 2: Component wants status|confirm|name|description[|identifier]");
    EXPECT_FALSE(service.Parse("[StatusMib]\nStatusType=a|float\n", error));
    EXPECT_EQ(error, "line 2: StatusType wants identifier|integer, gauge, counter or string");
    EXPECT_TRUE(service.Parse("[Subsystem]\nName=N\nComponent=1|no|Name|-\nComponent=2|no|Other|-|x\n", error));
    ASSERT_EQ(service.Subsystems().size(), 2u);  // the one the failed parse had begun stays
    EXPECT_EQ(service.Subsystems()[1].componentList, "2.1 x");
}

}  // namespace
