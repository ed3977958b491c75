// The extension agent selection on the sample server: the tree it shows, the marks a click changes,
// and what OK writes to the SNMP service's list of agents.
#include "src/tools/AgentSelection.h"

#include "lab/win32/SnmpControl.h"
#include "src/tools/AgentRestart.h"
#include "src/tools/console/ConsoleRestart.h"
#include "tests/support/DefaultServer.h"
#include "tests/support/TestText.h"
#include "tests/support/TraceFile.h"
#include "tests/tools/ConsoleRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::CDefaultServer;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::RegString;

const char LIST_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";
const std::string SERVER_AGENT = "SOFTWARE\\Brennock\\ServerAgent\\CurrentVersion";
const std::string STORAGE_AGENT = "SOFTWARE\\Brennock\\StorageAgent\\CurrentVersion";
const std::string MARKER = "__Disabled_by_Triagist";

// The sample server stamps every trace line; the comparisons want the lines alone.
const std::string PLAIN_TRACE = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n" +
                                RegLine("TimeStampOn", RegDword(0)) + RegLine("DateStampOn", RegDword(0)) +
                                RegLine("ThreadIdOn", RegDword(0)) + RegLine("AppNameOn", RegDword(0)) + "\r\n";

std::string ListKey(const std::string& lines)
{
    return std::string("[HKEY_LOCAL_MACHINE\\") + LIST_KEY + "]\r\n" + lines + "\r\n";
}

// A value of the list as the service would read it: its type and its data.
std::pair<DWORD, std::string> ListValue(const char* pszName)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, LIST_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return {0, "no key"};
    char szData[600] = "";
    DWORD cbData = sizeof szData - 1;
    DWORD dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<LPBYTE>(szData), &cbData);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
        return {0, "no value"};
    return {dwType, szData};
}

// The children's texts with their marks: "+" on, "-" off.
std::vector<std::string> Marks(const AgentItem& item)
{
    std::vector<std::string> marks;
    for (const AgentItem& child : item.children)
        marks.push_back((child.bChecked ? "+ " : "- ") + child.strText);
    return marks;
}

AgentItem& Child(AgentItem& item, const std::string& text)
{
    for (AgentItem& child : item.children)
        if (child.strText == text)
            return child;
    ADD_FAILURE() << "no item \"" << text << "\" below \"" << item.strText << "\"";
    return item;
}

const char SERVER_TEXT[] = "Quillmont Server SNMP Agent (QmSrvAgt.dll)";
const char STORAGE_TEXT[] = "Quillmont Storage SNMP Agent (QmStoAgt.dll)";

// The first subsystem's name in the agents' status MIB, or what snmpget says instead.
std::string StatusMibName()
{
    std::string command = "snmpget -v1 -m '' -On -Oqv -t 0.5 -r 1 -c public 127.0.0.1:" +
                          std::to_string(lab::win32::SnmpAgentPort()) + " .1.3.6.1.4.1.99999.2.10.2.11.3.1.1.6.1 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    if (pipe)
        pclose(pipe);
    return output;
}

}  // namespace

TEST(AgentSelection, TheSampleServersAgentsByVendorInOrder)
{
    CDefaultServer server;
    CAgentSelection selection;
    selection.FillAgentTree();

    const AgentItem& root = selection.Root();
    EXPECT_EQ(root.strText, "SNMP Agents");
    EXPECT_FALSE(root.bHasMark);
    EXPECT_TRUE(root.bExpanded);
    EXPECT_EQ(Marks(root), (std::vector<std::string>{"+ Microsoft Corporation", "+ Quillmont"}));
    EXPECT_EQ(Marks(root.children[0]), (std::vector<std::string>{"+ Microsoft MIB-II subagent (inetmib1.dll)"}));
    // The storage agent is registered in the 32-bit view only.
    EXPECT_EQ(Marks(root.children[1]), (std::vector<std::string>{std::string("+ ") + SERVER_TEXT,
                                                                 std::string("+ ") + STORAGE_TEXT}));
}

TEST(AgentSelection, LaterAgentsJoinTheirVendorAndEverythingIsSortedByText)
{
    // Listed after the sample server's agents: a Quillmont library whose text sorts first, one whose
    // maker is written in capitals, and a library without a version resource, which has neither
    // vendor nor description.
    auto agent = [](const std::string& name, const std::string& library) {
        return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\" + name + "\\CurrentVersion]\r\n" +
               RegLine("Pathname", RegString("C:\\Acme\\" + library)) + "\r\n";
    };
    CDefaultServer server(ListKey(RegLine("4", RegString("SOFTWARE\\Acme\\Plain\\CurrentVersion")) +
                                  RegLine("5", RegString("SOFTWARE\\Acme\\Fixture\\CurrentVersion")) +
                                  RegLine("6", RegString("SOFTWARE\\Acme\\Upper\\CurrentVersion"))) +
                          agent("Plain", "plain.dll") + agent("Fixture", "Aardvark.dll") + agent("Upper", "upper.dll"));
    server.Profile().PlaceFixture("NoVersion.dll", "Acme/plain.dll");
    server.Profile().PlaceFixture("OneTranslation.dll", "Acme/Aardvark.dll");
    server.Profile().PlaceFixture("UpperCaseVendor.dll", "Acme/upper.dll");
    CAgentSelection selection;
    selection.FillAgentTree();
    AgentItem& root = selection.Root();
    EXPECT_EQ(Marks(root), (std::vector<std::string>{"+ ", "+ Microsoft Corporation", "+ Quillmont"}));
    EXPECT_EQ(Marks(root.children[0]), (std::vector<std::string>{"+ plain.dll"}));
    EXPECT_EQ(Marks(Child(root, "Quillmont")),
              (std::vector<std::string>{"+ Agent of a maker in capitals (upper.dll)",
                                        "+ Fixture with one translation (Aardvark.dll)",
                                        std::string("+ ") + SERVER_TEXT, std::string("+ ") + STORAGE_TEXT}));
}

TEST(AgentSelection, TheFillTracesEveryAgentAtLevelThree)
{
    CDefaultServer server(PLAIN_TRACE);
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 3);
    trace.Take();
    CAgentSelection selection;
    selection.FillAgentTree();
    const std::string prefix = "\nTriagist            : ";
    auto agentLines = [&](const std::string& key, const char* pszAgent, const std::string& path,
                          const std::string& expanded, const char* pszVendor, const char* pszFile,
                          const char* pszDescription, const char* pszProduct, bool bWow64) {
        return prefix + "Found SNMP registry entry \"" + key + "\"" +
               (bWow64 ? prefix + "Open native key failed - try WOW64 node" : "") + prefix + "SNMP key entry \"" +
               key + "\" successfully opened" + prefix + "Found SNMP agent: \"" + pszAgent + "\"" + prefix +
               "  DLL path:          \"" + path + "\" " + prefix + "  DLL expanded path: \"" + expanded + "\" " +
               prefix + "  DLL vendor:        \"" + pszVendor + "\" " + prefix + "  DLL module name:   \"" + pszFile +
               "\" " + prefix + "  DLL module descr:  \"" + pszDescription + "\"" + prefix +
               "  DLL product name:  \"" + pszProduct + "\" \n";
    };
    const std::string quillmont = "C:\\Program Files\\Quillmont\\Agents\\";
    EXPECT_EQ(trace.Take(),
              agentLines("SOFTWARE\\Microsoft\\RFC1156Agent\\CurrentVersion", "RFC1156Agent",
                         "%SystemRoot%\\system32\\inetmib1.dll", "C:\\Windows\\system32\\inetmib1.dll",
                         "Microsoft Corporation", "inetmib1.dll", "Microsoft MIB-II subagent",
                         "Microsoft\256 Windows\256 Operating System", false) +
                  agentLines(SERVER_AGENT, "ServerAgent", quillmont + "QmSrvAgt.dll", quillmont + "QmSrvAgt.dll",
                             "Quillmont", "QmSrvAgt.dll", "Quillmont Server SNMP Agent",
                             "Quillmont Management Agents", false) +
                  agentLines(STORAGE_AGENT, "StorageAgent", quillmont + "QmStoAgt.dll", quillmont + "QmStoAgt.dll",
                             "Quillmont", "QmStoAgt.dll", "Quillmont Storage SNMP Agent",
                             "Quillmont Management Agents", true));
}

TEST(AgentSelection, AnAgentWithoutKeyOrLibraryPathIsLeftOutWithAnError)
{
    CDefaultServer server(ListKey(RegLine("4", RegString("SOFTWARE\\Gone\\CurrentVersion")) +
                                  RegLine("5", RegString("SOFTWARE\\Acme\\NoPath\\CurrentVersion"))) +
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\NoPath\\CurrentVersion]\r\n" +
                          RegLine("Other", RegString("x")) + "\r\n" + PLAIN_TRACE);
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 1);
    trace.Take();
    CAgentSelection selection;
    selection.FillAgentTree();
    EXPECT_EQ(trace.Take(), "\nTriagist            : ERROR! Failed to open registry key \"SOFTWARE\\Gone\\CurrentVersion\"!"
                            "\nTriagist            : ERROR! Failed to query SNMP DLL path!");
    EXPECT_EQ(Marks(selection.Root()), (std::vector<std::string>{"+ Microsoft Corporation", "+ Quillmont"}));

    selection.ApplyAgentSelection();
    EXPECT_EQ(ListValue("4"), std::make_pair(DWORD(REG_SZ), std::string("SOFTWARE\\Gone\\CurrentVersion")));
    EXPECT_EQ(ListValue("5"), std::make_pair(DWORD(REG_SZ), std::string("SOFTWARE\\Acme\\NoPath\\CurrentVersion")));
}

TEST(AgentSelection, ADisabledAgentIsListedOffAndClicksChangeOnlyTheMarksUntilApply)
{
    CDefaultServer server(ListKey(RegLine("2", RegString(SERVER_AGENT + MARKER))));
    CAgentSelection selection;
    selection.FillAgentTree();
    AgentItem& quillmont = Child(selection.Root(), "Quillmont");
    EXPECT_FALSE(quillmont.bChecked);  // one of its agents is off
    EXPECT_EQ(Marks(quillmont), (std::vector<std::string>{std::string("- ") + SERVER_TEXT,
                                                          std::string("+ ") + STORAGE_TEXT}));

    CAgentSelection::ClickMark(Child(quillmont, SERVER_TEXT));
    EXPECT_FALSE(quillmont.bChecked);  // an agent's click leaves its vendor
    // A vendor's click sets all its agents to its own new mark.
    CAgentSelection::ClickMark(quillmont);
    EXPECT_TRUE(quillmont.bChecked);
    CAgentSelection::ClickMark(quillmont);
    EXPECT_EQ(Marks(quillmont), (std::vector<std::string>{std::string("- ") + SERVER_TEXT,
                                                          std::string("- ") + STORAGE_TEXT}));
    // The root has no mark of its own: a click there changes nothing.
    CAgentSelection::ClickMark(selection.Root());
    EXPECT_FALSE(quillmont.bChecked);
    EXPECT_EQ(ListValue("2"), std::make_pair(DWORD(REG_SZ), SERVER_AGENT + MARKER));
    EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT));

    CAgentSelection::ClickMark(quillmont);
    selection.ApplyAgentSelection();
    EXPECT_EQ(ListValue("2"), std::make_pair(DWORD(REG_SZ), SERVER_AGENT));
    EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT));
}

TEST(AgentSelection, UncheckingAppendsTheMarkerOnceAndAnUnchangedApplyWritesNothing)
{
    CDefaultServer server;
    {
        CAgentSelection selection;
        selection.FillAgentTree();
        CAgentSelection::ClickMark(Child(Child(selection.Root(), "Quillmont"), STORAGE_TEXT));
        selection.ApplyAgentSelection();
        EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT + MARKER));
        selection.ApplyAgentSelection();
        EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT + MARKER));
    }
    CAgentSelection again;
    again.FillAgentTree();
    AgentItem& storage = Child(Child(again.Root(), "Quillmont"), STORAGE_TEXT);
    EXPECT_FALSE(storage.bChecked);
    EXPECT_FALSE(CAgentSelection::SetAgentEnabled(*storage.entry, false));
    again.ApplyAgentSelection();
    EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT + MARKER));
    EXPECT_TRUE(CAgentSelection::SetAgentEnabled(*storage.entry, true));
    EXPECT_FALSE(CAgentSelection::SetAgentEnabled(*storage.entry, true));
    EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT));
}

TEST(AgentSelection, AnExpandableValueIsWrittenBackExpandedAsAPlainString)
{
    // "%SystemRoot%\x" as REG_EXPAND_SZ.
    CDefaultServer server(ListKey(RegLine("9", "hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,"
                                               "74,00,25,00,5c,00,78,00,00,00")));
    AgentEntry entry = {AGENT_ENTRY_KIND, "", "9"};
    std::snprintf(entry.szKeyPath, sizeof entry.szKeyPath, "%s", LIST_KEY);

    EXPECT_FALSE(CAgentSelection::SetAgentEnabled(entry, true));  // already enabled: left as it was
    EXPECT_EQ(ListValue("9"), std::make_pair(DWORD(REG_EXPAND_SZ), std::string("%SystemRoot%\\x")));
    EXPECT_TRUE(CAgentSelection::SetAgentEnabled(entry, false));
    EXPECT_EQ(ListValue("9"), std::make_pair(DWORD(REG_SZ), "C:\\Windows\\x" + MARKER));

    AgentEntry other = entry;
    other.dwKind = 2;
    EXPECT_FALSE(CAgentSelection::SetAgentEnabled(other, true));
    AgentEntry missing = entry;
    std::snprintf(missing.szValueName, sizeof missing.szValueName, "%s", "8");
    EXPECT_FALSE(CAgentSelection::SetAgentEnabled(missing, false));
    EXPECT_EQ(ListValue("8"), std::make_pair(DWORD(0), std::string("no value")));
}

// The SNMP service serves the agents' status MIB only while it loads the server agent.
TEST(AgentSelection, ADisabledServerAgentIsGoneAfterTheNextServiceStart)
{
    CDefaultServer server;
    ASSERT_EQ(StatusMibName(), "\"Environment\"\n");
    CAgentSelection selection;
    selection.FillAgentTree();
    CAgentSelection::ClickMark(Child(Child(selection.Root(), "Quillmont"), SERVER_TEXT));
    selection.ApplyAgentSelection();
    EXPECT_EQ(StatusMibName(), "\"Environment\"\n");  // the running service keeps what it loaded

    CWindowlessRestartView windowless;
    ASSERT_EQ(CAgentRestart(windowless).RestartAgents(1, 1, 0, 0), 1u);
    EXPECT_EQ(StatusMibName().find("Environment"), std::string::npos);
}

// ------------------------------------------------------------------ the console

TEST(AgentSelection, TheConsoleListsTheAgentsTogglesByNumberAndWritesOnOkOnly)
{
    CDefaultServer server;
    auto run = [](const std::string& strInput) {
        auto [nEnd, strText] = RunConsole(RunConsoleRestart, strInput);
        EXPECT_EQ(nEnd, 2);
        return strText;
    };

    // Cancel, like the end of input, leaves every value alone.
    std::string strText = run("agents\n4\ncancel\nexit\n");
    EXPECT_EQ(strText.find("Select Modules to restart ...\n1) [x] Microsoft Corporation\n"
                           "2)   [x] Microsoft MIB-II subagent (inetmib1.dll)\n3) [x] Quillmont\n4)   [x] " +
                           std::string(SERVER_TEXT) + "\n"),
              0u)
        << strText;
    EXPECT_NE(strText.find("\n4)   [ ] " + std::string(SERVER_TEXT) + "\n"), std::string::npos) << strText;
    EXPECT_EQ(ListValue("2"), std::make_pair(DWORD(REG_SZ), SERVER_AGENT));

    run("agents\n4\nok\n");
    EXPECT_EQ(ListValue("2"), std::make_pair(DWORD(REG_SZ), SERVER_AGENT + MARKER));
    EXPECT_EQ(ListValue("3"), std::make_pair(DWORD(REG_SZ), STORAGE_AGENT));

    // A vendor's mark takes its agents with it: off after the fill, as one of them is, then on.
    run("agents\n3\nok\n");
    EXPECT_EQ(ListValue("2"), std::make_pair(DWORD(REG_SZ), SERVER_AGENT));
}
