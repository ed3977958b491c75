// Runs the installed program from its dist tree on lab profiles and checks what it leaves behind.
#include "tests/e2e/DistShell.h"
#include "tests/support/ReportText.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace e2e;
using testsupport::Count;
using testsupport::ElementText;
using testsupport::ReadText;
using testsupport::RegString;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

std::string WindowsPath(std::string path)
{
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return "Z:" + path;
}

// One machine: a profile, its state, a temporary directory and a working directory.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* dir : {"profile/drive_c", "state", "temp", "cwd"})
            fs::create_directories(m_root + "/" + dir);
        Profile("");
    }

    void Profile(const std::string& registry, const std::string& labIni = "")
    {
        std::ofstream(m_root + "/profile/registry.reg", std::ios::binary)
            << "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
               "\"ComputerName\"=\"QMFS-E2E\"\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
               "\"RegisteredOrganization\"=\"Harrowgate Logistics\"\r\n\r\n"
            << registry;
        std::ofstream(m_root + "/profile/lab.ini", std::ios::binary) << labIni;
    }

    // The start of a shell command on the machine, in cwd (the dist tree when empty).
    std::string OnMachine(const std::string& cwd = kDist) const
    {
        return InLab(cwd, m_profile.empty() ? m_root + "/profile" : m_profile, m_root + "/state") + "TMPDIR='" +
               m_root + "/temp' ";
    }

    // Runs the installed program in cwd (the machine's own when empty); returns its exit code.
    int Run(const std::vector<std::string>& args, const std::string& cwd = "")
    {
        std::string command = OnMachine(cwd.empty() ? m_root + "/cwd" : cwd) + "TRIAGIST_LAB_DEBUG_OUTPUT='" + m_root +
                              "/debug.txt' '" + kDist + "/triagist'";
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        return Shell(command);
    }

    // The program on the console in the dist tree, the input on its standard input; its exit code, its
    // output in out.txt.
    int Console(const std::string& args, const std::string& input = "")
    {
        testsupport::WriteText(m_root + "/in.txt", input);
        return Shell(OnMachine() + "./triagist " + args + " <'" + m_root + "/in.txt' >'" + m_root +
                     "/out.txt' 2>/dev/null");
    }

    std::string Work(const std::string& name) const { return m_root + "/cwd/" + name; }

    void ExpectValidReport(const std::string& path)
    {
        std::string text = ReadText(path);
        ASSERT_EQ(text.substr(0, kDeclaration.size() + 5), kDeclaration + "<Root");
        EXPECT_EQ(Shell("xmllint --noout '" + path + "'"), 0);
        EXPECT_TRUE(SchemaValid(path));
    }

    // The unattended diagnosis of profile (the test's own when empty), its report checked and read.
    std::string Diagnose(const std::string& profile = "")
    {
        if (!profile.empty())
            m_profile = profile;
        EXPECT_EQ(Run({"-DIAG", "-XMLREPORT", "r.xml"}), 0);
        ExpectValidReport(Work("r.xml"));
        return ReadText(Work("r.xml"));
    }

    CScratchDir m_scratch{"triagist-e2e"};
    const std::string m_root = m_scratch.Path();
    std::string m_profile;  // another profile than the test's own
};

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The SNMP section itself, not the category of that name among the findings.
std::string SnmpSection(const std::string& text)
{
    size_t start = text.find("<SNMP>\r\n<Service>");
    return start == std::string::npos ? "" : text.substr(start, text.find("</SNMP>", start) + 7 - start);
}

// The findings of one kind, with their count.
std::string Findings(const std::string& text, const std::string& kind)
{
    size_t start = text.find("<" + kind + " Count=");
    return start == std::string::npos ? "" : text.substr(start, text.find("</" + kind + ">", start) - start);
}

// Every element named name with its content, in order.
std::vector<std::string> Elements(const std::string& text, const std::string& name)
{
    std::vector<std::string> found;
    const std::string open = "<" + name, close = "</" + name + ">";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        char next = at + open.size() < text.size() ? text[at + open.size()] : '\0';
        size_t end = text.find(close, at);
        if ((next == '>' || next == ' ') && end != std::string::npos)
            found.push_back(text.substr(at, end + close.size() - at));
    }
    return found;
}

// The findings the sample server's README documents, as Findings() gives them from a report: its table
// rows "| kind | category | "message" | ... |", grouped by kind and category in the order of the rows.
std::string DocumentedFindings(const std::string& kind)
{
    std::istringstream readme(ReadText(std::string(TRIAGIST_SOURCE_DIR) + "/lab/profiles/default/README.md"));
    std::vector<std::pair<std::string, std::vector<std::string>>> categories;
    size_t count = 0;
    for (std::string line; std::getline(readme, line);) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '|');)
            cells.push_back(cell.size() > 2 ? cell.substr(1, cell.size() - 2) : cell);
        if (cells.size() < 5 || cells[1] != kind || cells[3].size() < 2 || cells[3].front() != '"')
            continue;
        auto category = std::find_if(categories.begin(), categories.end(),
                                     [&](const auto& known) { return known.first == cells[2]; });
        if (category == categories.end())
            category = categories.insert(categories.end(), {cells[2], {}});
        category->second.push_back(cells[3].substr(1, cells[3].size() - 2));
        ++count;
    }
    std::string text = "<" + kind + " Count=\"" + std::to_string(count) + "\">\r\n";
    for (const auto& [category, messages] : categories) {
        text += "<" + category + ">\r\n";
        for (const std::string& message : messages)
            text += "<Message>" + message + "</Message>\r\n";
        text += "</" + category + ">\r\n";
    }
    return text;
}

// The names of the network interfaces of the machine the tests run on; loopback is whether to list
// the loopback (ARPHRD_LOOPBACK, 772) or the others.
std::vector<std::string> HostInterfaces(bool bLoopback)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("/sys/class/net")) {
        bool bIsLoopback = ReadText(entry.path().string() + "/type") == "772\n";
        if (bIsLoopback == bLoopback)
            names.push_back(entry.path().filename().string());
    }
    return names;
}

}  // namespace

TEST_F(ProgramTest, WithoutOptionsNothingHappens)
{
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(Run({"report.xml", "-5"}), 0);
    EXPECT_TRUE(fs::is_empty(m_root + "/cwd"));
    EXPECT_TRUE(fs::is_empty(m_root + "/temp"));
}

TEST_F(ProgramTest, UnattendedDiagnosisWritesAValidReport)
{
    std::string text = Diagnose();
    EXPECT_NE(text.find("<Computer>QMFS-E2E</Computer>\r\n<Company>Harrowgate Logistics</Company>\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("xml-stylesheet"), std::string::npos);
    EXPECT_EQ(text.find("noNamespaceSchemaLocation"), std::string::npos);

    // A value that looks like an option is a file name.
    EXPECT_EQ(Run({"-DIAG", "-XMLREPORT", "-5"}), 0);
    ExpectValidReport(Work("-5"));
}

TEST_F(ProgramTest, HtmlReportGoesThroughTheTemporaryReport)
{
    std::string html = m_root + "/cwd/out put.html";
    EXPECT_EQ(Run({"-DIAG", "-HTMLREPORT", WindowsPath(html)}, kDist), 0);
    ExpectValidReport(m_root + "/temp/Report.xml");
    std::string page = ReadText(html);
    EXPECT_NE(page.find("QMFS-E2E"), std::string::npos);
    EXPECT_NE(page.find("Harrowgate Logistics"), std::string::npos);
}

TEST_F(ProgramTest, MissingProcessorLeavesTheXmlAndExitCodeZero)
{
    // The work directory has no Xalan\xslt.exe and no stylesheet.
    EXPECT_EQ(Run({"-DIAG", "-XMLREPORT", "r.xml", "-HTMLREPORT", "r.html"}), 0);
    ExpectValidReport(Work("r.xml"));
    EXPECT_FALSE(fs::exists(Work("r.html")));
}

TEST_F(ProgramTest, UncreatableReportStillEndsWithZeroAndIsTraced)
{
    std::string trace = m_root + "/cwd/trace.txt";
    Profile("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n"
            "\"FileDebugLevel\"=dword:00000001\r\n"
            "\"TraceFile\"=" + RegString(WindowsPath(trace)) + "\r\n"
            "\"AppNameOn\"=dword:00000001\r\n"
            "\"WinDebugLevel\"=dword:00000001\r\n",
            "[Processes]\nSource=profile\n");

    std::string target = WindowsPath(m_root + "/no/such/dir/r.xml");
    EXPECT_EQ(Run({"-DIAG", "-XMLREPORT", target}), 0);
    // The machine has no board driver and no command router: those steps' errors come first.
    std::string failure = "Triagist:      Triagist            : ERROR! Could not create output file \"" + target + "\"";
    EXPECT_TRUE(EndsWith(ReadText(trace), "\r\n" + failure)) << ReadText(trace);
    EXPECT_TRUE(EndsWith(ReadText(m_root + "/debug.txt"), "\n" + failure + "\n"));

    fs::remove(trace);
    EXPECT_EQ(Run({"-DIAG", "-XMLREPORT", "r.xml"}), 0);
    EXPECT_TRUE(
        EndsWith(ReadText(trace), "\r\nTriagist:      Triagist            :  ERROR! XSLT file \"\" not found!"));
}

TEST_F(ProgramTest, DefaultServerReportsItsInstallationSystemAndNetwork)
{
    fs::copy_file(kDist + "/Adapter.ini", Work("Adapter.ini"));
    std::string text = Diagnose(kDist + "/lab/default");

    std::string ravelin = ElementText(text, "Ravelin");
    EXPECT_NE(ravelin.find("<ProductVersion>4.20.1187</ProductVersion>\r\n<Service>\r\n<Status>running</Status>\r\n"
                           "</Service>\r\n<DCOM>\r\n<Registered>yes</Registered>\r\n</DCOM>"),
              std::string::npos);
    EXPECT_NE(ravelin.find("<Module Name=\"RvStorage\">\r\n<Installed>yes</Installed>\r\n<Detected>yes</Detected>\r\n"
                           "<Status>Loaded (update 2)</Status>\r\n<Version>\r\n"
                           "<Description>Ravelin Storage Module</Description>\r\n"
                           "<FileVersion>4.20.1187.5</FileVersion>\r\n<ProductVersion>4.20.1187</ProductVersion>\r\n"
                           "<Location>C:\\Program Files\\Quillmont\\Ravelin\\Bin\\Update\\RvStorage.dll</Location>\r\n"
                           "<Created>02/20/2026 09:41:37</Created>"),
              std::string::npos);
    EXPECT_NE(ravelin.find("<Module Name=\"RvRemote\">\r\n<Installed>no</Installed>"), std::string::npos);
    for (const char* driver : {"Fennock.sys", "ZorEziVE.sys", "Gorrel.sys"})
        EXPECT_NE(ravelin.find(std::string("<Driver Name=\"") + driver + "\">"), std::string::npos) << driver;

    std::string system = ElementText(text, "OperatingSystem");
    EXPECT_NE(system.find("<Name>Windows Server 2019 Standard (x64 Edition)</Name>\r\n<Type>ServerNT</Type>"),
              std::string::npos);
    EXPECT_NE(system.find("<Record Source=\"Service Control Manager\" Type=\"Error\""), std::string::npos);
    EXPECT_NE(system.find("<Product ProductCode=\"{C8D76C36-5739-489D-BF03-9E58B3F89C09}\">"), std::string::npos);
    EXPECT_NE(ElementText(text, "Summary").find("<Message>6 product specific error(s) in event log!</Message>"),
              std::string::npos);

    std::string hardware = ElementText(text, "System");
    EXPECT_NE(hardware.find("<BIOS>\r\n<Vendor>Brennock</Vendor>\r\n<Date>04/17/2009</Date>\r\n"
                            "<Version>H420.2.14.0</Version>\r\n<SMBIOS Version=\"2.5\">\r\n"
                            "<Type1 Name=\"System Information\">\r\n<Name>Calder HM420</Name>"),
              std::string::npos);
    for (const char* type : {"Type1", "Type2", "Type4", "Type16", "Type17", "Type176", "Type38", "Type188", "Type190"})
        EXPECT_NE(hardware.find(std::string("<") + type + " Name=\""), std::string::npos) << type;
    EXPECT_NE(hardware.find("<DeviceLocator>DIMM 4B</DeviceLocator>"), std::string::npos);
    EXPECT_NE(hardware.find("<IRQRouting Version=\"1.0\" Size=\"240\" Entries=\"13\">"), std::string::npos);
    EXPECT_NE(hardware.find("<CPU>\r\n<SocketDesignation>CPU2</SocketDesignation>"), std::string::npos);
    // The adapter behind the riser's bridge takes the bridge's slot; names come from Adapter.ini.
    EXPECT_NE(hardware.find("<Device Bus=\"6\" Device=\"1\" Function=\"1\">\r\n<ConfigSpace>\r\n<Revision>01</Revision>"
                            "\r\n<VendorId>8086</VendorId>\r\n<SubVendorId>8086</SubVendorId>\r\n"
                            "<DeviceId>1010</DeviceId>\r\n<SubDeviceId>1012</SubDeviceId>\r\n"
                            "<BaseClass>Network controller</BaseClass>\r\n<SubClass>Ethernet controller</SubClass>\r\n"
                            "</ConfigSpace>\r\n<Slot>3</Slot>\r\n<VendorName>Intel Corporation</VendorName>\r\n"
                            "<SubVendorName>Intel Corporation</SubVendorName>\r\n"
                            "<DeviceName>PRO/1000 MT Dual Port Server Adapter</DeviceName>"),
              std::string::npos);
    EXPECT_EQ(ElementText(text, "Summary").find("SMBIOS"), std::string::npos);

    EXPECT_NE(ElementText(text, "Network").find("<IPAddress>127.0.0.1</IPAddress>\r\n<IPAddressType>primary</IPAddressType>"
                                            "\r\n<IPSubnetMask>255.0.0.0</IPSubnetMask>"),
              std::string::npos);

    // The SNMP service answers through the lab's real agent, with the server's own description.
    std::string snmp = SnmpSection(text);
    EXPECT_NE(snmp.find("<Agent Name=\"StorageAgent\">\r\n<Version>\r\n"
                        "<Description>Quillmont Storage SNMP Agent</Description>\r\n"
                        "<FileVersion>4.20.1187.0</FileVersion>\r\n<ProductVersion>4.20.1187</ProductVersion>\r\n"
                        "<CompanyName>Quillmont</CompanyName>\r\n"
                        "<Location>C:\\Program Files\\Quillmont\\Agents\\QmStoAgt.dll</Location>\r\n"
                        "<Created>06/11/2025 16:47:03</Created>\r\n</Version>\r\n<Status>OK</Status>"),
              std::string::npos)
        << snmp;
    std::string description = "Hardware: Intel64 Family 6 Model 15 Stepping 11 AT/AT COMPATIBLE - Software: Windows "
                              "Version 6.3 (Build 17763 Multiprocessor Free)";
    EXPECT_NE(snmp.find("<Request OID=\".1.3.6.1.2.1.1.1.0\" PDU=\"GET\">\r\n<Data OID=\"1.3.6.1.2.1.1.1.0\" LEN=\"" +
                        std::to_string(description.size()) + "\">" + description + "</Data>\r\n<Status>0</Status>"),
              std::string::npos)
        << snmp;
    EXPECT_NE(snmp.find("<Response Count=\"100\">\r\n<Time Unit=\"msec\">"), std::string::npos);
    EXPECT_EQ(ElementText(text, "Summary").find("SNMP"), std::string::npos);
}

TEST_F(ProgramTest, DefaultServerIsOneServerWithTheDocumentedFindings)
{
    std::string text = Diagnose(kDist + "/lab/default");

    std::string summary = ElementText(text, "Summary");
    EXPECT_EQ(Findings(summary, "Errors"), DocumentedFindings("Errors"));
    EXPECT_EQ(Findings(summary, "Warnings"), DocumentedFindings("Warnings"));

    // Its processes are its own: images on drive C: whose versions agree with the installed products.
    std::vector<std::string> processes = Elements(ElementText(text, "Processes"), "Process");
    EXPECT_EQ(processes.size(), 13u);
    for (const std::string& process : processes) {
        EXPECT_NE(process.find("<Location>C:\\"), std::string::npos) << process;
        EXPECT_EQ(process.find("n/a"), std::string::npos) << process;
        if (process.find("<Location>C:\\Program Files\\Quillmont\\") != std::string::npos) {
            EXPECT_NE(process.find("<ProductVersion>4.20.1187</ProductVersion>"), std::string::npos) << process;
        } else if (process.find("<Location>C:\\Windows\\") != std::string::npos) {
            EXPECT_NE(process.find("<ProductVersion>10.0.17763.1</ProductVersion>"), std::string::npos) << process;
        }
    }
    EXPECT_NE(ElementText(text, "Processes").find("<Process Name=\"triagist.exe\">"), std::string::npos);
    for (const std::string& product : Elements(ElementText(text, "Software"), "Product")) {
        if (product.find("<Manufacture>Quillmont</Manufacture>") != std::string::npos) {
            EXPECT_NE(product.find("<Version>4.20.1187</Version>"), std::string::npos) << product;
        }
    }

    // Nothing of the machine that ran it: no Linux path, none of its interfaces, not its name.
    EXPECT_EQ(text.find("Z:\\"), std::string::npos);
    std::string network = ElementText(text, "Network");
    EXPECT_EQ(Count(network, "<Interface Index="), 3u);
    EXPECT_NE(network.find("<Description>Software Loopback Interface 1</Description>"), std::string::npos);
    for (const std::string& name : HostInterfaces(false))
        EXPECT_EQ(network.find("<Name>" + name + "</Name>"), std::string::npos) << name;
    char szHost[256] = {};
    gethostname(szHost, sizeof szHost - 1);
    if (std::string(szHost).size() > 3) {
        EXPECT_EQ(text.find(szHost), std::string::npos) << szHost;
    }
}

TEST_F(ProgramTest, LiveProfileShowsTheHostsProcessesAndNetwork)
{
    std::string text = Diagnose(kDist + "/lab/live");

    std::string network = ElementText(text, "Network");
    for (const std::string& loopback : HostInterfaces(true))
        EXPECT_NE(network.find("<Name>" + loopback + "</Name>\r\n<Description>" + loopback +
                               "</Description>\r\n<Speed>0</Speed>\r\n<MACAddress>n/a</MACAddress>\r\n<IPConfig>\r\n"
                               "<Entry Index=\"0\">\r\n<IPAddress>127.0.0.1</IPAddress>"),
                  std::string::npos)
            << network;
    EXPECT_EQ(network.find("Software Loopback Interface 1"), std::string::npos);
    // The program itself, as Linux runs it.
    EXPECT_NE(ElementText(text, "Processes").find("<Location>" + WindowsPath(kDist) + "\\triagist</Location>"),
              std::string::npos);
    // The rest is the sample server's, findings included.
    EXPECT_NE(ElementText(text, "Ravelin").find("<ProductVersion>4.20.1187</ProductVersion>"), std::string::npos);
    EXPECT_EQ(Findings(ElementText(text, "Summary"), "Errors"), DocumentedFindings("Errors"));
}

// A variant of the default server on the lab's clock with a line of one service's section replaced; false
// when the section has no such line.
bool VariantWithService(const std::string& dir, const std::string& service, const std::string& from,
                        const std::string& to)
{
    Variant(dir, "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n");
    std::string services = ReadText(kDist + "/lab/default/services.ini");
    size_t section = services.find("[" + service + "]");
    size_t at = section == std::string::npos ? section : services.find(from, section);
    if (at == std::string::npos)
        return false;
    std::ofstream(dir + "/services.ini", std::ios::binary) << services.replace(at, from.size(), to);
    return true;
}

TEST_F(ProgramTest, DefaultServerWithItsSnmpServiceStopped)
{
    m_profile = m_root + "/stopped";
    // The agents' status MIB is asked for all the same: its time-outs pass on the lab's clock.
    ASSERT_TRUE(VariantWithService(m_profile, "SNMP", "State=running", "State=stopped"));

    std::string text = Diagnose();
    EXPECT_NE(SnmpSection(text).find("<Service>\r\n<Status>stopped</Status>"), std::string::npos);
    EXPECT_EQ(SnmpSection(text).find("<Tests>"), std::string::npos);
    EXPECT_NE(Findings(text, "Errors").find("<SNMP>\r\n<Message>SNMP service is not running!</Message>\r\n</SNMP>"),
              std::string::npos);
    std::string tree = ElementText(ElementText(text, "SNMPAgents"), "StatusTree");
    EXPECT_EQ(tree, "<StatusTree>\r\n<System>\r\n<Status Description=\"warning\">2</Status>\r\n</System>\r\n"
                    "</StatusTree>");
}

TEST_F(ProgramTest, DefaultServerThatDoesNotPermitItself)
{
    m_profile = m_root + "/remote-only";
    Variant(m_profile, "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n",
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\PermittedManagers]\r\n"
            "\"1\"=-\r\n");
    std::string text = Diagnose();
    std::string snmp = SnmpSection(text);
    EXPECT_NE(ElementText(snmp, "Security").find("<Security>\r\n<PermittedManagers Name=\"10.20.0.15\"/>\r\n<Community"),
              std::string::npos);
    EXPECT_NE(ElementText(snmp, "Tests").find("<Data OID=\"1.3.6.1.2.1.1.1.0\" LEN=\"0\">n/a</Data>\r\n<Status>5</Status>"),
              std::string::npos);
    std::string errors = Findings(text, "Errors");
    EXPECT_NE(errors.find("<SNMP>\r\n<Message>\"LOOPBACK\" or \"localhost\" (IP 127.0.0.1) not found in Permitted "
                          "Managers!</Message>\r\n<Message>SNMP MIB II request failed on localhost (SNMP status 5 "
                          "(generic error), Error Code: 0x00000028)!</Message>\r\n</SNMP>"),
              std::string::npos)
        << errors;
}

TEST_F(ProgramTest, AProfileThatIsNotThereStopsTheProgram)
{
    // A missing profile, and one whose base is missing: the error names the folder not found.
    fs::create_directories(m_root + "/orphan");
    std::ofstream(m_root + "/orphan/lab.ini") << "[Profile]\nBase=../gone\n";
    for (const auto& [profile, named] : {std::pair(m_root + "/no-such-profile", m_root + "/no-such-profile"),
                                         std::pair(m_root + "/orphan", m_root + "/gone")}) {
        m_profile = profile;
        EXPECT_EQ(Shell(OnMachine(m_root + "/cwd") + "'" + kDist + "/triagist' -DIAG -XMLREPORT r.xml 2>'" + m_root +
                        "/stderr.txt'"),
                  2)
            << profile;
        EXPECT_NE(ReadText(m_root + "/stderr.txt").find(named), std::string::npos) << ReadText(m_root + "/stderr.txt");
        EXPECT_FALSE(fs::exists(Work("r.xml")));
    }
}

TEST_F(ProgramTest, BareServerHasNoAgentsAndNoLogs)
{
    std::ofstream(m_root + "/profile/registry.reg", std::ios::binary | std::ios::trunc);
    std::string text = Diagnose();

    EXPECT_EQ(ElementText(text, "Ravelin"),
              "<Ravelin>\r\n<Tests>\r\n<Connect>\r\n<Status>FAILED</Status>\r\n<LastError>-2147221164</LastError>\r\n"
              "<LastErrorMsg>Class not registered</LastErrorMsg>\r\n</Connect>\r\n</Tests>\r\n</Ravelin>");
    EXPECT_EQ(ElementText(text, "System"),
              "<System>\r\n<BIOS/>\r\n<Processor/>\r\n<PCIDevices/>\r\n<SystemEventlog/>\r\n</System>");
    EXPECT_EQ(ElementText(text, "SNMPAgents"), "<SNMPAgents/>");
    EXPECT_NE(Findings(text, "Errors").find("<SMBIOS>\r\n<Message>Could not connect to SMBIOS!</Message>\r\n</SMBIOS>"),
              std::string::npos);
    EXPECT_NE(text.find("<Quillmont>\r\n<Message>Ravelin service is not running!</Message>\r\n"
                        "<Message>Ravelin connect failed!</Message>\r\n</Quillmont>\r\n</Errors>"),
              std::string::npos);
    EXPECT_NE(Findings(text, "Errors").find("<SNMP>\r\n<Message>SNMP service is not running!</Message>\r\n"
                                            "<Message>SNMP community not configured!</Message>\r\n</SNMP>"),
              std::string::npos);
    EXPECT_NE(SnmpSection(text).find("<Status>not installed</Status>"), std::string::npos);
    EXPECT_EQ(SnmpSection(text).find("<Tests>"), std::string::npos);
    EXPECT_NE(ElementText(text, "OperatingSystem").find("<Eventlog>\r\n<Application/>\r\n<System/>\r\n<Security/>\r\n"
                                                    "</Eventlog>"),
              std::string::npos);
    EXPECT_EQ(text.find("in event log!"), std::string::npos);
}

TEST_F(ProgramTest, DefaultServerAnswersThroughTheCommandRouter)
{
    std::string text = Diagnose(kDist + "/lab/default");

    std::string tests = ElementText(ElementText(text, "Ravelin"), "Tests");
    EXPECT_NE(tests.find("<Connect>\r\n<Status>OK</Status>\r\n<LastError>0</LastError>\r\n"
                         "<LastErrorMsg>The operation completed successfully.</LastErrorMsg>\r\n</Connect>"),
              std::string::npos);
    EXPECT_NE(tests.find("<Requests>\r\n<ServerCabinetNr>0</ServerCabinetNr>\r\n"
                         "<ServerModel>Calder HM420</ServerModel>\r\n<ChassisModel>HM420</ChassisModel>\r\n"
                         "<CabinetSerialNumber>YK8R002143</CabinetSerialNumber>\r\n"
                         "<Systemboard>BK4471-C12 WR02</Systemboard>\r\n<ControllerModel>iQRC 5</ControllerModel>\r\n"
                         "<ControllerFirmware>5.21F</ControllerFirmware>\r\n</Requests>"),
              std::string::npos);
    EXPECT_NE(tests.find("<System>\r\n<Status Description=\"warning\">2</Status>\r\n</System>"), std::string::npos);
    EXPECT_NE(tests.find("<Component Name=\"FAN2 SYS\" Description=\"System fan 2\" ConfirmSupported=\"true\">\r\n"
                         "<Status Description=\"warning\">2</Status>"),
              std::string::npos);
    // The fourth fan's slot is empty; the storage subsystem has no description.
    EXPECT_EQ(tests.find("FAN4 SYS"), std::string::npos);
    EXPECT_NE(tests.find("<Subsystem Name=\"Mass Storage\" Description=\"n/a\">"), std::string::npos);
    EXPECT_EQ(Count(tests, "<Subsystem "), 3u);
    EXPECT_EQ(Count(tests, "<Component "), 10u);
    EXPECT_EQ(tests.find("EEPROMS"), std::string::npos);

    std::string log = ElementText(text, "SystemEventlog");
    EXPECT_EQ(Count(log, "<Entry>"), 12u);
    EXPECT_EQ(log.find("<SystemEventlog>\r\n<Entry>\r\n<Date> &lt;no date/no time&gt; </Date>\r\n"
                                  "<Severity>INFO</Severity>\r\n<ErrorCode>0001</ErrorCode>\r\n"
                       "<Message>System event log cleared</Message>"),
              0u);
    EXPECT_NE(log.find("<Date>09.12.2025 22:17:45</Date>\r\n<Severity>CRITICAL</Severity>\r\n"
                       "<ErrorCode>0410</ErrorCode>\r\n<Message>Power unit: AC power lost</Message>"),
              std::string::npos);
    EXPECT_NE(log.find("<Severity>MAJOR</Severity>\r\n<ErrorCode>0317</ErrorCode>\r\n"
                       "<Message>FAN2 SYS: speed below warning threshold</Message>"),
              std::string::npos);
    EXPECT_EQ(text.find("Ravelin connect failed!"), std::string::npos);
    EXPECT_EQ(text.find("Model not found!"), std::string::npos);

    // The agents tell the same tree over SNMP, after the SNMP steps and before the base service's.
    std::string agents = ElementText(text, "SNMPAgents");
    EXPECT_EQ(agents.find("<SNMPAgents>\r\n<ProductVersion>4.20.1187</ProductVersion>\r\n<Security>\r\n"
                          "<SetAllowed>yes</SetAllowed>\r\n<AccountCheck>yes</AccountCheck>\r\n"
                          "<UserGroup>Quillmont Administrators</UserGroup>\r\n</Security>\r\n<StatusTree>\r\n"
                          "<System>\r\n<Status Description=\"warning\">2</Status>\r\n</System>\r\n"
                          "<Subsystem Name=\"Environment\">\r\n<Component Name=\"FAN1 SYS\">\r\n"
                          "<Status Description=\"ok\">1</Status>\r\n</Component>\r\n<Component Name=\"FAN2 SYS\">\r\n"
                          "<Status Description=\"degraded\">2</Status>"),
              0u)
        << agents;
    EXPECT_EQ(Count(agents, "<Subsystem "), 3u);
    EXPECT_EQ(Count(agents, "<Component "), 10u);
    EXPECT_EQ(agents.find("FAN4 SYS"), std::string::npos);
    EXPECT_LT(text.find("<SNMP>\r\n<Service>"), text.find("<SNMPAgents>"));
    EXPECT_LT(text.find("<SNMPAgents>"), text.find("<Ravelin>"));
}

TEST_F(ProgramTest, StoppedBaseServiceLeavesTheRouterSilent)
{
    m_profile = m_root + "/stopped";
    ASSERT_TRUE(VariantWithService(m_profile, "Ravelind", "State=running", "State=stopped"));
    std::string text = Diagnose();

    EXPECT_EQ(ElementText(ElementText(text, "Ravelin"), "Tests"), "<Tests>\r\n<Connect>\r\n<Status>FAILED</Status>\r\n"
                                      "<LastError>-2146959355</LastError>\r\n"
                                      "<LastErrorMsg>Server execution failed</LastErrorMsg>\r\n</Connect>\r\n</Tests>");
    EXPECT_EQ(ElementText(text, "SystemEventlog"), "<SystemEventlog/>");
    EXPECT_EQ(Count(text, "Ravelin connect failed!"), 1u);
    EXPECT_NE(text.find("<Message>Ravelin service is not running!</Message>\r\n"
                        "<Message>Ravelin connect failed!</Message>\r\n</Quillmont>"),
              std::string::npos);
}

namespace {

// The quoted fields of an "lspci -mm" line: class, vendor, device, subsystem vendor, subsystem.
std::vector<std::string> Quoted(const std::string& line)
{
    std::vector<std::string> fields;
    for (size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open + 1)) {
        size_t close = line.find('"', open + 1);
        fields.push_back(line.substr(open + 1, close - open - 1));
        open = close;
    }
    return fields;
}

bool Named(const std::string& name)
{
    return !name.empty() && name.rfind("Device ", 0) != 0 && name.rfind("Vendor ", 0) != 0;
}

}  // namespace

// lspci reads the same configuration space from the profile's pci.txt and names it from pci.ids.
TEST_F(ProgramTest, PciNamesAgreeWithLspci)
{
    fs::copy_file(kDist + "/Adapter.ini", Work("Adapter.ini"));
    std::string devices = ElementText(Diagnose(kDist + "/lab/default"), "PCIDevices");
    Shell("lspci -mm -F '" + m_profile + "/firmware/pci.txt' > '" + m_root + "/lspci.txt'");
    std::string listing = ReadText(m_root + "/lspci.txt");
    ASSERT_FALSE(listing.empty()) << "lspci is needed (scripts/install-deps installs it)";

    std::istringstream lines(listing);
    std::string line;
    int nCompared = 0;
    while (std::getline(lines, line)) {
        unsigned bus = 0, device = 0, function = 0;
        ASSERT_EQ(3, std::sscanf(line.c_str(), "%x:%x.%u", &bus, &device, &function)) << line;
        std::string tag = "<Device Bus=\"" + std::to_string(bus) + "\" Device=\"" + std::to_string(device) +
                          "\" Function=\"" + std::to_string(function) + "\">";
        size_t at = devices.find(tag);
        ASSERT_NE(at, std::string::npos) << line;
        std::string entry = devices.substr(at, devices.find("</Device>", at) - at);
        auto child = [&](const std::string& name) {
            size_t start = entry.find("<" + name + ">");
            if (start == std::string::npos)
                return std::string("(missing)");
            start += name.size() + 2;
            std::string text = entry.substr(start, entry.find("</" + name + ">") - start);
            for (size_t amp = text.find("&amp;"); amp != std::string::npos; amp = text.find("&amp;", amp + 1))
                text.replace(amp, 5, "&");
            return text;
        };
        std::vector<std::string> names = Quoted(line);
        ASSERT_EQ(5u, names.size()) << line;
        // The subsystem's name where Adapter.ini knows it, else the device's. lspci may also find
        // subsystem names in the udev hardware database, which Adapter.ini does not hold.
        std::string name = child("DeviceName");
        EXPECT_TRUE(!Named(names[1]) || names[1] == child("VendorName")) << line;
        EXPECT_TRUE(!Named(names[2]) || name == names[2] || (Named(names[4]) && name == names[4])) << line;
        EXPECT_TRUE(!Named(names[3]) || names[3] == child("SubVendorName")) << line;
        ++nCompared;
    }
    EXPECT_EQ(19, nCompared);
}

// Today's firmware through the whole program: the report stays valid for the schema and the page
// shows the memory types, sizes and core counts that firmware of the SMBIOS 3.x era gives.
TEST_F(ProgramTest, CurrentFirmwareTablesReachThePage)
{
    const std::string tables = std::string(TRIAGIST_SOURCE_DIR) + "/tests/data/smbios/";
    const std::pair<const char*, const char*> kShown[] = {
        {"Dell-PowerEdge-R640.bin", "Synchronous Registered (Buffered)"},
        {"Beelink-EQ12.bin", "DDR5"}};
    for (const auto& shown : kShown) {
        SCOPED_TRACE(shown.first);
        m_profile = m_root + "/" + shown.first;
        Variant(m_profile, std::string("[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n[Firmware]\nSMBIOS=") +
                               tables + shown.first + "\n");
        std::string html = m_root + "/cwd/page.html";
        EXPECT_EQ(Run({"-DIAG", "-HTMLREPORT", WindowsPath(html)}, kDist), 0);
        ExpectValidReport(m_root + "/temp/Report.xml");
        std::string page = ReadText(html);
        EXPECT_NE(page.find(shown.second), std::string::npos);
        EXPECT_NE(page.find("Cores (enabled) / threads"), std::string::npos);
    }
    EXPECT_NE(ReadText(m_root + "/temp/Report.xml").find("<CoreCount>4</CoreCount>"), std::string::npos);
}

TEST_F(ProgramTest, InteractiveDiagnosisOnTheConsole)
{
    m_profile = kDist + "/lab/default";
    EXPECT_EQ(Console("-DIAG -LANG GER"), 2);
    std::string text = ReadText(m_root + "/out.txt");
    // German texts, in the terminal's UTF-8.
    EXPECT_EQ(text.find("Systemhardware wird gepr\xC3\xBC" "ft ...OK\n"), 0u) << text;
    EXPECT_NE(text.find("\nSNMP wird getestet...OK\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nAbgeschlossen: "), std::string::npos) << text;
    EXPECT_NE(text.find("\nHTML-Bericht: Z:" + WindowsPath(kDist).substr(2) + "\\HTML\\Status.htm\n"), std::string::npos)
        << text;
    // The window's report names its stylesheet, so that the XML alone also shows as a page.
    std::string report = m_root + "/temp/Status.xml";
    EXPECT_EQ(ReadText(report).find(kDeclaration + "<?xml-stylesheet type=\"text/xsl\" href=\"Z:"), 0u);
    EXPECT_TRUE(SchemaValid(report));
}

// A service's section of the lab's saved service states.
std::string SavedService(const std::string& stateDir, const std::string& service)
{
    std::string text = ReadText(stateDir + "/services.ini");
    size_t start = text.find("[" + service + "]\r\n");
    if (start == std::string::npos)
        return "";
    size_t end = text.find("\r\n\r\n[", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
}

TEST_F(ProgramTest, UnattendedRestartBringsTheAgentsBack)
{
    m_profile = m_root + "/restart";
    Variant(m_profile, "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n");

    EXPECT_EQ(Run({"-RESTART", "VERBOSE"}), 1);
    std::string state = m_root + "/state";
    EXPECT_EQ(SavedService(state, "Ravelind"), "[Ravelind]\r\nState=4\r\nStarts=1\r\n");
    EXPECT_EQ(SavedService(state, "QmFarlink"), "[QmFarlink]\r\nState=4\r\nStarts=1\r\n");
    EXPECT_EQ(SavedService(state, "SNMP"), "[SNMP]\r\nState=4\r\nStarts=1\r\n");

    // The keywords count wherever they stand, in any case.
    EXPECT_EQ(Run({"/RESTART", "-verbose", "x-rescan"}), 1);
    EXPECT_EQ(SavedService(state, "Ravelind"), "[Ravelind]\r\nState=4\r\nStarts=2\r\nArgument=/RESCAN\r\n");
}

TEST_F(ProgramTest, UnattendedRestartReportsAFailedStart)
{
    m_profile = m_root + "/nosnmp";
    ASSERT_TRUE(VariantWithService(m_profile, "SNMP", "State=running", "State=running\nStartError=1069"));

    EXPECT_EQ(Run({"-RESTART", "VERBOSE", "RESCAN"}), 0);
    std::string state = m_root + "/state";
    EXPECT_EQ(SavedService(state, "SNMP"), "[SNMP]\r\nState=1\r\nStarts=0\r\n");
    // The base service came back; the agent, which needs SNMP too, could not.
    EXPECT_EQ(SavedService(state, "Ravelind"), "[Ravelind]\r\nState=4\r\nStarts=1\r\nArgument=/RESCAN\r\n");
    EXPECT_EQ(SavedService(state, "QmFarlink"), "[QmFarlink]\r\nState=1\r\nStarts=0\r\n");
}

TEST_F(ProgramTest, RestartOnTheConsole)
{
    m_profile = m_root + "/console";
    Variant(m_profile, "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n");
    // One restart asked for, then the end of input: the dependency question takes its default, Yes.
    EXPECT_EQ(Console("-RESTART -LANG GER", "restart\n"), 2);
    std::string text = ReadText(m_root + "/out.txt");
    EXPECT_EQ(text.find("Beende Dienst: \"Quillmont Farlink\" ...\nQuillmont Farlink Dienst beendet!\n"), 0u) << text;
    EXPECT_NE(text.find("\nStarte Dienst: \"Quillmont Ravelin Base Service\" ...\n"), std::string::npos) << text;
    EXPECT_TRUE(EndsWith(text, "\nDer Neustart der Dienste wurde erfolgreich durchgef\xC3\xBChrt!\n")) << text;
    EXPECT_EQ(SavedService(m_root + "/state", "Ravelind"),
              "[Ravelind]\r\nState=4\r\nStarts=1\r\nArgument=/RESCAN\r\n");
}

TEST_F(ProgramTest, TraceSettingsOnTheConsole)
{
    m_profile = kDist + "/lab/default";
    EXPECT_EQ(Console("/TRACE", "exit\n"), 1);
    std::string text = ReadText(m_root + "/out.txt");
    EXPECT_EQ(text.find("Name                     Console    File  WinDbg  Trace file                       Sources\n"
                        "QmFarlink                      0       0       0  C:\\QmFarlink.txt                 RCS\n"),
              0u)
        << text;
    EXPECT_NE(text.find("\nRvSmbios                       0       0       0  C:\\Vexil.txt                     Ravelin\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(EndsWith(text, "\nTriagist                       0       0       0  C:\\Triagist.txt                  "
                               "Registered Modules\nVEXIL                          0       0       0  C:\\Vexil.txt"
                               "                     Ravelin\nVivIvud                        0       0       0  "
                               "C:\\VivIvud.txt                   Ravelin\n"))
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 14);
}

TEST_F(ProgramTest, TraceSettingsWithoutTheModuleFileEndAtOnce)
{
    m_profile = m_root + "/nomodules";
    Variant(m_profile, "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n"
                           "\"FileRoot\"=\"C:\\\\Nowhere\"\r\n\r\n");
    EXPECT_EQ(Console("-TRACE"), 0);
    EXPECT_EQ(ReadText(m_root + "/out.txt"), "Error: Could not read trace options! Check your access rights!\n");
}
