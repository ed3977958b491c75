// The base service installation step: the Ravelin subtree and its findings for lab hosts set up per test.
#include "src/checks/CheckRavelin.h"

#include "tests/support/ReportText.h"
#include "tests/support/ServiceProfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using testsupport::ElementText;
using testsupport::StartReport;

const char INSTALLATION[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n"
    "\"BinRoot\"=\"C:\\\\Qm\\\\Bin\\\\\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\ModuleStatus]\r\n"
    "\"RvOne\"=\"Loaded\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\Detected]\r\n"
    "\"RvOne\"=dword:00000001\r\n"
    "\"RvTwo\"=dword:00000001\r\n"
    "\"RvFour\"=dword:00000001\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\RvTwo]\r\n"
    "\"CurrentVersion\"=\"C:\\\\Qm\\\\Update\\\\RvTwo.dll\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\AppID\\{9730B9A2-1CDF-11D2-950E-0000E817385C}]\r\n"
    "@=\"Vexil\"\r\n";

// Modules 1, 2 and 4: the list ends at the gap.
const char MODULE_INI[] =
    "[Modules]\r\n1=RvOne\r\n2=RvTwo\r\n4=RvFour\r\n\r\n"
    "[RvTwo]\r\nInstall=0\r\n";

const char SERVICES[] =
    "[Gorrel]\nType=0x1\nState=running\n\n"
    "[Fennock]\nType=0x1\nState=stopped\n\n"
    "[Ravelind]\nType=0x10\nState=running\nAccept=0x1\nDependOnService=Gorrel\n";

const char FILE_TIMES[] =
    "[FileTimes]\n"
    "C:\\Qm\\Bin\\Vexil.dll=2026-02-01 08:00:00\n"
    "C:\\Qm\\Bin\\RvOne.dll=2026-02-01 08:00:01\n"
    "C:\\Qm\\Update\\RvTwo.dll=2026-02-14 17:45:09\n"
    "C:\\Qm\\Bin\\Fennock.sys=2026-02-01 08:00:02\n"
    "C:\\Qm\\Bin\\Gorrel.sys=2026-02-01 08:00:03\n";

class CheckRavelinTest : public ::testing::Test {
protected:
    void Install(const std::string& strServices = SERVICES, const std::string& strRegistry = INSTALLATION,
                 const std::string& strLabIni = FILE_TIMES)
    {
        m_pHost = std::make_unique<CServiceProfile>(strServices, strRegistry, strLabIni);
        const CTempProfile& profile = m_pHost->Profile();
        profile.PlaceFixture("OneTranslation.dll", "Qm/Bin/Vexil.dll");
        profile.PlaceFixture("TwoTranslations.dll", "Qm/Bin/RvOne.dll");
        profile.PlaceFixture("NoVersion.dll", "Qm/Update/RvTwo.dll");
        profile.PlaceFixture("Driver.sys", "Qm/Bin/Fennock.sys");
        profile.PlaceFixture("Driver.sys", "Qm/Bin/Gorrel.sys");
        testsupport::WriteText(profile.Dir() + "/drive_c/Qm/Bin/Module.ini", MODULE_INI);
        m_pHost->Reload();
    }

    // The check on a report holding only Root: its result, and the document afterwards.
    DWORD Run()
    {
        StartReport(m_report.m_Document);
        DWORD dwResult = CheckRavelin(m_report, m_report.m_Document);
        EXPECT_TRUE(m_report.m_Document.CheckWellFormed());
        m_strText = m_report.m_Document.GetText();
        return dwResult;
    }

    std::unique_ptr<CServiceProfile> m_pHost;
    CDiagReport m_report{std::vector<DiagStep>{}};
    std::string m_strText;
};

TEST_F(CheckRavelinTest, InstallationWithModulesAndDrivers)
{
    Install();
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));

    const std::string strExpected =
        "<Ravelin>\r\n"
        "<ProductVersion>4.20.1187</ProductVersion>\r\n"
        "<Service>\r\n<Status>running</Status>\r\n</Service>\r\n"
        "<DCOM>\r\n<Registered>yes</Registered>\r\n</DCOM>\r\n"
        "<Modules>\r\n"
        "<Module Name=\"RvOne\">\r\n<Installed>yes</Installed>\r\n<Detected>yes</Detected>\r\n"
        "<Status>Loaded</Status>\r\n<Version>\r\n"
        "<Description>Testdatei in zwei Sprachen f\xFCr Pr\xFC" "fungen</Description>\r\n"
        "<FileVersion>1.2.3.4</FileVersion>\r\n<ProductVersion>1.2</ProductVersion>\r\n"
        "<Location>C:\\Qm\\Bin\\RvOne.dll</Location>\r\n<Created>02/01/2026 08:00:01</Created>\r\n"
        "</Version>\r\n</Module>\r\n"
        "<Module Name=\"RvTwo\">\r\n<Installed>no</Installed>\r\n<Detected>yes</Detected>\r\n"
        "<Status>n/a</Status>\r\n<Version>\r\n"
        "<Description>n/a</Description>\r\n<FileVersion>n/a</FileVersion>\r\n"
        "<ProductVersion>n/a</ProductVersion>\r\n<Location>n/a</Location>\r\n"
        "<Created>02/14/2026 17:45:09</Created>\r\n"
        "</Version>\r\n</Module>\r\n"
        "</Modules>\r\n"
        "<Drivers>\r\n"
        "<Driver Name=\"Fennock.sys\">\r\n<Version>\r\n"
        "<Description>Fixture driver</Description>\r\n<FileVersion>4.20.1150.3</FileVersion>\r\n"
        "<ProductVersion>4.20.1187</ProductVersion>\r\n<Location>C:\\Qm\\Bin\\Fennock.sys</Location>\r\n"
        "<Created>02/01/2026 08:00:02</Created>\r\n</Version>\r\n<Status>stopped</Status>\r\n</Driver>\r\n"
        "<Driver Name=\"Gorrel.sys\">\r\n<Version>\r\n"
        "<Description>Fixture driver</Description>\r\n<FileVersion>4.20.1150.3</FileVersion>\r\n"
        "<ProductVersion>4.20.1187</ProductVersion>\r\n<Location>C:\\Qm\\Bin\\Gorrel.sys</Location>\r\n"
        "<Created>02/01/2026 08:00:03</Created>\r\n</Version>\r\n<Status>running</Status>\r\n</Driver>\r\n"
        "</Drivers>\r\n"
        "</Ravelin>";
    EXPECT_EQ(ElementText(m_strText, "Ravelin"), strExpected);
    EXPECT_EQ(ElementText(m_strText, "Summary"), "");
    EXPECT_EQ(m_report.m_dwErrors, 0u);
}

TEST_F(CheckRavelinTest, NothingInstalledGivesAnEmptyElementAndOneError)
{
    m_pHost = std::make_unique<CServiceProfile>("");
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_EQ(ElementText(m_strText, "Ravelin"), "<Ravelin/>");
    EXPECT_EQ(ElementText(m_strText, "Errors"),
              "<Errors Count=\"1\">\r\n<Quillmont>\r\n<Message>Ravelin service is not running!</Message>\r\n"
              "</Quillmont>\r\n</Errors>");
    EXPECT_EQ(m_report.m_dwErrors, 1u);
}

TEST_F(CheckRavelinTest, BaseServiceThatDoesNotRun)
{
    struct {
        const char* pszServices;
        const char* pszStatus;
    } const cases[] = {
        {"[Ravelind]\nType=0x10\nState=paused\nAccept=0x3\n", "paused"},
        {"[Ravelind]\nType=0x10\nState=stopped\n", "stopped"},
        {"[Ravelind]\nType=0x10\nState=2\nStartHangs=1\n", "starting"},
        {"", "not installed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszStatus);
        Install(c.pszServices);
        m_report.m_dwErrors = 0;
        EXPECT_EQ(Run(), static_cast<DWORD>(STEP_FINDINGS));
        EXPECT_EQ(ElementText(m_strText, "Service"),
                  std::string("<Service>\r\n<Status>") + c.pszStatus + "</Status>\r\n</Service>");
        EXPECT_EQ(ElementText(m_strText, "Quillmont"),
                  "<Quillmont>\r\n<Message>Ravelin service is not running!</Message>\r\n</Quillmont>");
        EXPECT_EQ(m_report.m_dwErrors, 1u);
    }
}

TEST_F(CheckRavelinTest, DriversMarkedForDeletion)
{
    Install("[Gorrel]\nType=0x1\nState=running\nMarkedForDelete=1\n\n"
            "[Fennock]\nType=0x1\nMarkedForDelete=1\n\n"
            "[ZorEziVE]\nType=0x1\n\n"
            "[Ravelind]\nType=0x10\nState=running\n");
    m_pHost->Profile().PlaceFixture("Driver.sys", "Qm/Bin/ZorEziVE.sys");
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));

    EXPECT_NE(m_strText.find("<Location>C:\\Qm\\Bin\\Gorrel.sys</Location>\r\n<Created>02/01/2026 08:00:03</Created>\r\n"
                             "</Version>\r\n<Status>marked for deletion</Status>"),
              std::string::npos);
    EXPECT_NE(m_strText.find("<Location>C:\\Qm\\Bin\\ZorEziVE.sys</Location>"), std::string::npos);
    EXPECT_EQ(ElementText(m_strText, "Errors"),
              "<Errors Count=\"2\">\r\n<Quillmont>\r\n<Message>Fennock marked for deletion!</Message>\r\n"
              "<Message>Gorrel marked for deletion! Try setup repair option to fix that!</Message>\r\n"
              "</Quillmont>\r\n</Errors>");
}

TEST_F(CheckRavelinTest, ServiceManagerOutOfReach)
{
    Install(SERVICES, INSTALLATION, std::string(FILE_TIMES) + "[Services]\nDeniedAccess=0x20\n");
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_FINDINGS));

    EXPECT_EQ(ElementText(m_strText, "Service"), "<Service>\r\n<Status>not installed</Status>\r\n</Service>");
    EXPECT_EQ(testsupport::Count(ElementText(m_strText, "Drivers"), "<Status>n/a</Status>"), 2u);
    EXPECT_EQ(ElementText(m_strText, "Errors"),
              "<Errors Count=\"2\">\r\n<Quillmont>\r\n"
              "<Message>Mandatory device driver Gorrel not found! Use setup repair option to fix that!</Message>\r\n"
              "<Message>Ravelin service is not running!</Message>\r\n"
              "</Quillmont>\r\n</Errors>");
}

TEST_F(CheckRavelinTest, MissingFilesAndRegistrations)
{
    Install(SERVICES,
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n"
            "\"BinRoot\"=\"C:\\\\Qm\\\\Bin\"\r\n");
    const std::string strBin = m_pHost->Profile().Dir() + "/drive_c/Qm/Bin";
    std::filesystem::remove(strBin + "/Vexil.dll");
    std::filesystem::remove(strBin + "/Fennock.sys");
    std::filesystem::remove(strBin + "/Module.ini");
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));

    EXPECT_EQ(ElementText(m_strText, "ProductVersion"), "<ProductVersion>n/a</ProductVersion>");
    EXPECT_EQ(ElementText(m_strText, "DCOM"), "<DCOM>\r\n<Registered>no</Registered>\r\n</DCOM>");
    EXPECT_EQ(ElementText(m_strText, "Modules"), "<Modules/>");
    EXPECT_EQ(testsupport::Count(m_strText, "<Driver "), 1u);
    EXPECT_NE(m_strText.find("<Driver Name=\"Gorrel.sys\">"), std::string::npos);
}

TEST_F(CheckRavelinTest, ReportWithoutRoot)
{
    Install();
    CXmlDocument& doc = m_report.m_Document;
    doc.LoadText(nullptr);
    EXPECT_EQ(CheckRavelin(m_report, doc), static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_EQ(doc.GetTextLength(), 0u);
    EXPECT_EQ(m_report.m_dwErrors, 0u);
}

}  // namespace
