// The operating system step on lab hosts: product, processes, product-specific event records, installed products.
#include "src/checks/CheckOperatingSystem.h"

#include "tests/support/MsiRegistration.h"
#include "tests/support/ReportText.h"
#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"
#include "tests/support/TraceFile.h"
#include "tests/support/XmlParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

using testsupport::Count;
using testsupport::ElementText;

const char WINDOWS_NT[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
    "\"ProductName\"=\"Microsoft  Windows Server 2003, Enterprise Edition\"\r\n"
    "\"CSDVersion\"=\"Service Pack 2\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\r\n"
    "\"ProductType\"=\"ServerNT\"\r\n"
    "\r\n";

// Every product source explains its records from the test message file.
std::string EventSources()
{
    std::string reg;
    for (const char* pszSource : {"Ravelind", "Service Control Manager", "DrWatson", "Tcpip"}) {
        reg += std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\System\\") +
               pszSource + "]\r\n\"EventMessageFile\"=\"C:\\\\Qm\\\\Messages.dll\"\r\n\r\n";
    }
    // Registered under another log than the one its record is in: found all the same.
    reg += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Security\\VexilServer]\r\n"
           "\"EventMessageFile\"=\"C:\\\\Qm\\\\Missing.dll;C:\\\\Qm\\\\Messages.dll\"\r\n\r\n";
    return reg;
}

std::string Record(const std::string& time, const std::string& type, const std::string& source,
                   const std::string& id, const std::string& strings)
{
    return "[Record]\nTime=" + time + "\nType=" + type + "\nSource=" + source + "\nEventID=" + id + "\n" + strings;
}

const char LAB_INI[] =
    "[System]\nLocale=1033\nUserLanguage=1033\nSystemLanguage=1031\nMajorVersion=5\nMinorVersion=2\n"
    "BuildNumber=3790\nCSDVersion=Service Pack 2\nProcessorArchitecture=AMD64\n"
    "[Environment]\nSystemRoot=C:\\Windows\n"
    "[Processes]\nSource=profile\n"
    "[FileTimes]\nC:\\Qm\\Ravelind.exe=2026-01-15 06:30:00\n";

const char PROCESSES[] =
    "[Process]\nPid=0\n\n"
    "[Process]\nPid=4\n\n"
    "[Process]\nPid=452\nImage=\\??\\C:\\Windows\\system32\\csrss.exe\n"
    "WorkingSet=5012K\nPeakWorkingSet=5820K\nPagefileUsage=1980K\nPeakPagefileUsage=2100K\nHandles=471\n\n"
    "[Process]\nPid=388\nImage=\\SystemRoot\\System32\\smss.exe\nWorkingSet=400K\n\n"
    "[Process]\nPid=1200\nImage=C:\\Qm\\Ravelind.exe\nWorkingSet=20M\nPagefileUsage=12M\nHandles=230\n\n"
    "[Process]\nPid=1300\nImage=C:\\Qm\\Guarded.exe\nAccess=none\n";

class CheckOperatingSystemTest : public ::testing::Test {
protected:
    CheckOperatingSystemTest()
    {
        const char* pszTz = std::getenv("TZ");
        m_strOldTz = pszTz ? pszTz : "";
        m_bHadTz = pszTz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~CheckOperatingSystemTest() override
    {
        if (m_bHadTz)
            setenv("TZ", m_strOldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    void Load(const std::string& strRegistry, const std::string& strLabIni)
    {
        m_pProfile = std::make_unique<CTempProfile>(strRegistry, strLabIni);
        std::filesystem::create_directories(m_pProfile->Dir() + "/eventlog");
        m_pProfile->PlaceFixture("Messages.dll", "Qm/Messages.dll");
        m_pProfile->PlaceFixture("OneTranslation.dll", "Qm/Ravelind.exe");
        m_pProfile->Write("processes.ini", PROCESSES);
        m_pProfile->Write("eventlog/System.txt",
                          Record("2026-03-01 10:00:00", "Error", "Ravelind", "0xC0000100", "String=RvRemote\n") +
                              Record("2026-03-01 10:00:01", "Information", "Ravelind", "0x2", "") +
                              Record("2026-03-01 10:00:02", "Error", "Service Control Manager", "0x5",
                                     "String=Print Spooler\n") +
                              Record("2026-03-01 10:00:03", "Warning", "Service Control Manager", "0x2",
                                     "String=Quillmont Farlink\nString=stopped\n") +
                              Record("2026-03-01 10:00:04", "Error", "Tcpip", "0x2", "String=SNMP\n") +
                              Record("2026-03-01 10:00:05", "Error", "DrWatson", "0x5", "String=C:\\snmp.exe\n") +
                              Record("2026-03-01 10:00:06", "Error", "Ravelind", "0x2",
                                     "String=\"bell\\x07\"\nString=\"tab\\there\"\n") +
                              Record("2026-03-01 10:00:07", "Warning", "VexilServer", "0x99", ""));
        m_pProfile->Write("eventlog/Application.txt",
                          Record("2026-02-28 23:59:59", "Warning", "VexilServer", "0x2", "String=a\nString=b\n"));
        lab::host::Host::Instance().LoadProfile(m_pProfile->Dir(), m_pProfile->StateDir());
    }

    DWORD Run()
    {
        testsupport::StartReport(m_report.m_Document);
        DWORD dwResult = CheckOperatingSystem(m_report, m_report.m_Document);
        EXPECT_TRUE(m_report.m_Document.CheckWellFormed());
        m_strText = m_report.m_Document.GetText();
        return dwResult;
    }

    std::unique_ptr<CTempProfile> m_pProfile;
    CDiagReport m_report{std::vector<DiagStep>{}};
    std::string m_strText;
    std::string m_strOldTz;
    bool m_bHadTz = false;
};

TEST_F(CheckOperatingSystemTest, ProductOfAnOlderServer)
{
    Load(WINDOWS_NT, LAB_INI);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(m_strText, "Product"),
              "<Product>\r\n<Version>5.2 Build 3790 Service Pack 2 </Version>\r\n"
              "<Name>Windows Server 2003, Enterprise Edition (x64 Edition)</Name>\r\n<Type>ServerNT</Type>\r\n"
              "<Language>\r\n<System>1031</System>\r\n<User>1033</User>\r\n</Language>\r\n</Product>");
}

TEST_F(CheckOperatingSystemTest, ProductNameFromTheVersionWhenTheRegistrySaysNothing)
{
    std::string strItanium = LAB_INI;
    strItanium.replace(strItanium.find("AMD64"), 5, "IA64");
    Load("", strItanium);
    Run();
    EXPECT_EQ(ElementText(m_strText, "Name"), "<Name>Windows NT 5.2</Name>");
    EXPECT_EQ(Count(ElementText(m_strText, "Product"), "<Type>"), 0u);

    Load("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
         "\"ProductName\"=\"Windows Server 2022 Datacenter\"\r\n",
         strItanium);
    Run();
    EXPECT_EQ(ElementText(m_strText, "Name"), "<Name>Windows Server 2022 Datacenter (iA64 Edition)</Name>");
}

TEST_F(CheckOperatingSystemTest, ProcessesWithTheirFilesAndCounters)
{
    Load(WINDOWS_NT, LAB_INI);
    CTraceFile trace(m_pProfile->Scratch() + "/trace.txt", 3);
    Run();

    // Ids 0 and 4 have no module: on 5.2 they are named by their ids; 1300 cannot be opened.
    std::string strProcesses = ElementText(m_strText, "Processes");
    EXPECT_EQ(Count(strProcesses, "<Process "), 5u);
    EXPECT_NE(strProcesses.find("<Process Name=\"System Idle Process\">"), std::string::npos);
    EXPECT_NE(strProcesses.find("<Process Name=\"System\">"), std::string::npos);
    EXPECT_NE(strProcesses.find("<Location>C:\\Windows\\System32\\smss.exe</Location>"), std::string::npos);
    std::string strTrace = trace.Take();
    EXPECT_NE(strTrace.find("\nTriagist            : 6 running processes found"), std::string::npos);
    EXPECT_NE(strTrace.find("\nTriagist            : ERROR 0x5! GetProcessInfo FAILED!"), std::string::npos);

    size_t nCsrss = strProcesses.find("<Process Name=\"csrss.exe\">");
    ASSERT_NE(nCsrss, std::string::npos);
    EXPECT_EQ(ElementText(strProcesses.substr(nCsrss), "Process"),
              "<Process Name=\"csrss.exe\">\r\n<Version>\r\n"
              "<Description>n/a</Description>\r\n<FileVersion>n/a</FileVersion>\r\n"
              "<ProductVersion>n/a</ProductVersion>\r\n<CompanyName>n/a</CompanyName>\r\n"
              "<Location>C:\\Windows\\system32\\csrss.exe</Location>\r\n<Created>n/a</Created>\r\n</Version>\r\n"
              "<Counters>\r\n<WorkingSetSize>\r\n<Current>5012</Current>\r\n<Peak>5820</Peak>\r\n</WorkingSetSize>\r\n"
              "<PagefileUsage>\r\n<Current>1980</Current>\r\n<Peak>2100</Peak>\r\n</PagefileUsage>\r\n"
              "<PrivateUsage>1980</PrivateUsage>\r\n<HandleCount>471</HandleCount>\r\n</Counters>\r\n</Process>");

    size_t nRavelind = strProcesses.find("<Process Name=\"Ravelind.exe\">");
    ASSERT_NE(nRavelind, std::string::npos);
    EXPECT_EQ(ElementText(strProcesses.substr(nRavelind), "Version"),
              "<Version>\r\n<Description>Fixture with one translation</Description>\r\n"
              "<FileVersion>4.20.1187.2</FileVersion>\r\n<ProductVersion>4.20.1187</ProductVersion>\r\n"
              "<CompanyName>Quillmont</CompanyName>\r\n<Location>C:\\Qm\\Ravelind.exe</Location>\r\n"
              "<Created>01/15/2026 06:30:00</Created>\r\n</Version>");
}

TEST_F(CheckOperatingSystemTest, NoProcessListWithoutPsapi)
{
    Load(WINDOWS_NT, std::string(LAB_INI) + "[Libraries]\nMissing=psapi\n");
    CTraceFile trace(m_pProfile->Scratch() + "/trace.txt", 3);
    Run();
    EXPECT_EQ(ElementText(m_strText, "Processes"), "<Processes/>");
    EXPECT_NE(trace.Take().find("\nTriagist            : 0 running processes found"), std::string::npos);
}

TEST_F(CheckOperatingSystemTest, ProductSpecificEventRecords)
{
    Load(WINDOWS_NT + EventSources(), std::string(LAB_INI) + "[EventLog]\nFailOpen=Security:5\n");
    CTraceFile trace(m_pProfile->Scratch() + "/trace.txt", 2);
    Run();

    // The summary files its messages under a category of the same name, before the section.
    EXPECT_EQ(ElementText(ElementText(m_strText, "OperatingSystem"), "Eventlog"),
              "<Eventlog>\r\n<Application>\r\n"
              "<Record Source=\"VexilServer\" Type=\"Warning\" Created=\"2026/02/28 23:59:59\">\r\n"
              "<Message>Inserts a and b, then a again.</Message>\r\n</Record>\r\n"
              "</Application>\r\n<System>\r\n"
              "<Record Source=\"Ravelind\" Type=\"Error\" Created=\"2026/03/01 10:00:06\">\r\n"
              "<Message>@@!!Modified!!@@: Inserts bell  and tab\there, then bell  again.</Message>\r\n</Record>\r\n"
              "<Record Source=\"DrWatson\" Type=\"Error\" Created=\"2026/03/01 10:00:05\">\r\n"
              "<Message>First line</Message>\r\n</Record>\r\n"
              "<Record Source=\"Service Control Manager\" Type=\"Warning\" Created=\"2026/03/01 10:00:03\">\r\n"
              "<Message>Inserts Quillmont Farlink and stopped, then Quillmont Farlink again.</Message>\r\n"
              "</Record>\r\n"
              "<Record Source=\"Ravelind\" Type=\"Error\" Created=\"2026/03/01 10:00:00\">\r\n"
              "<Message>Second block, error RvRemote.</Message>\r\n</Record>\r\n"
              "</System>\r\n<Security/>\r\n</Eventlog>");

    std::string strTrace = trace.Take();
    EXPECT_NE(strTrace.find("\nTriagist            : WARNING!! Not printable message \"Inserts bell\x07 and tab\there, "
                            "then bell\x07 again.\""),
              std::string::npos);
    EXPECT_NE(strTrace.find("\nTriagist            : Changed Message: \"Inserts bell  and tab\there, then bell  again.\""),
              std::string::npos);
    EXPECT_NE(strTrace.find("\nTriagist            : Event(System) 0xC0000100: Message: Second block, error RvRemote. "),
              std::string::npos);

    // One message per kind, whatever the number of records.
    EXPECT_EQ(ElementText(m_strText, "Errors"),
              "<Errors Count=\"1\">\r\n<Eventlog>\r\n<Message>3 product specific error(s) in event log!</Message>\r\n"
              "</Eventlog>\r\n</Errors>");
    EXPECT_EQ(ElementText(m_strText, "Warnings"),
              "<Warnings Count=\"1\">\r\n<Eventlog>\r\n<Message>2 product specific warning(s) in event log!"
              "</Message>\r\n</Eventlog>\r\n</Warnings>");
}

TEST_F(CheckOperatingSystemTest, HostileTextsOfTheServerLeaveAWellFormedReport)
{
    Load(std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n") +
             testsupport::RegLine("ProductName", testsupport::RegDword(0x07514d51)) +
             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\r\n" +
             testsupport::RegLine("ProductType", testsupport::RegHexText(std::string(260, 'S'), false)) +
             EventSources(),
         LAB_INI);
    m_pProfile->Write("processes.ini", "[Process]\nPid=1200\nImage=C:\\Qm\\Rave\x07lind\x1b.exe\nWorkingSet=20M\n");
    m_pProfile->Write("eventlog/System.txt",
                      Record("2026-03-01 10:00:00", "Error", "Ravelind", "0x2",
                             "String=\"vt\\x0b\"\nString=\"ff\\x0c\"\n") +
                          Record("2026-03-01 10:00:01", "Error", "Ravelind", "0x2",
                                 "String=\"esc\\x1b[1m\"\nString=\"bell\\x07\"\n"));
    m_pProfile->Write("eventlog/Application.txt", "");
    lab::host::Host::Instance().LoadProfile(m_pProfile->Dir(), m_pProfile->StateDir());
    Run();

    EXPECT_EQ(testsupport::XmlParseError(m_strText), "");
    EXPECT_NE(ElementText(m_strText, "Name").find("<Name>QMQ."), std::string::npos) << m_strText;
    EXPECT_EQ(ElementText(m_strText, "Type"), "<Type>" + std::string(259, 'S') + "</Type>");
    EXPECT_NE(m_strText.find("<Process Name=\"Rave.lind..exe\">"), std::string::npos) << m_strText;
    // Vertical tabs and form feeds are no white space of a report: the message is marked as changed.
    EXPECT_EQ(ElementText(ElementText(ElementText(m_strText, "OperatingSystem"), "Eventlog"), "System"),
              "<System>\r\n"
              "<Record Source=\"Ravelind\" Type=\"Error\" Created=\"2026/03/01 10:00:01\">\r\n"
              "<Message>@@!!Modified!!@@: Inserts esc [1m and bell , then esc [1m again.</Message>\r\n</Record>\r\n"
              "<Record Source=\"Ravelind\" Type=\"Error\" Created=\"2026/03/01 10:00:00\">\r\n"
              "<Message>@@!!Modified!!@@: Inserts vt  and ff , then vt  again.</Message>\r\n</Record>\r\n"
              "</System>");
}

TEST_F(CheckOperatingSystemTest, EmptyHostStillListsTheThreeLogs)
{
    Load("", "[Processes]\nSource=profile\n");
    m_pProfile->Write("processes.ini", "");
    lab::host::Host::Instance().LoadProfile(m_pProfile->Dir(), m_pProfile->StateDir());
    std::filesystem::remove_all(m_pProfile->Dir() + "/eventlog");
    lab::host::Host::Instance().LoadProfile(m_pProfile->Dir(), m_pProfile->StateDir());
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(ElementText(m_strText, "OperatingSystem"), "Eventlog"),
              "<Eventlog>\r\n<Application/>\r\n<System/>\r\n<Security/>\r\n</Eventlog>");
    EXPECT_EQ(ElementText(m_strText, "Software"), "<Software/>");
    EXPECT_EQ(ElementText(m_strText, "Summary"), "");
}

TEST_F(CheckOperatingSystemTest, InstalledProducts)
{
    testsupport::MsiProduct agents;
    agents.code = "{C8D76C36-5739-489D-BF03-9E58B3F89C09}";
    agents.name = "Quillmont SNMP Agents";
    agents.version = "4.20.1187";
    agents.publisher = "Quillmont";
    agents.installDate = "20251118";
    agents.location = "C:\\Program Files\\Quillmont\\Agents\\";
    testsupport::MsiProduct runtime;
    runtime.code = "{0A0B0C0D-1111-2222-3333-444455556666}";
    runtime.name = "Runtime";
    runtime.version = "14.38.33135";
    Load(testsupport::MsiRegistration(agents) + testsupport::MsiRegistration(runtime), LAB_INI);
    Run();

    std::string strSoftware = ElementText(m_strText, "Software");
    EXPECT_NE(strSoftware.find("<Product ProductCode=\"{C8D76C36-5739-489D-BF03-9E58B3F89C09}\">\r\n"
                               "<InstallDate>20251118</InstallDate>\r\n<Name>Quillmont SNMP Agents</Name>\r\n"
                               "<Manufacture>Quillmont</Manufacture>\r\n<Version>4.20.1187</Version>\r\n"
                               "<Location>C:\\Program Files\\Quillmont\\Agents\\</Location>\r\n</Product>"),
              std::string::npos);
    EXPECT_NE(strSoftware.find("<Product ProductCode=\"{0A0B0C0D-1111-2222-3333-444455556666}\">"),
              std::string::npos);
    size_t nRuntime = strSoftware.find("{0A0B0C0D");
    EXPECT_NE(strSoftware.find("<Location>n/a</Location>", nRuntime), std::string::npos);
}

TEST_F(CheckOperatingSystemTest, ReportWithoutRoot)
{
    Load(WINDOWS_NT, LAB_INI);
    m_report.m_Document.LoadText(nullptr);
    EXPECT_EQ(CheckOperatingSystem(m_report, m_report.m_Document), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(m_report.m_Document.GetTextLength(), 0u);
}

}  // namespace
