// The server's system event log step: the entries through the lab's base service, and the walk over damaged data.
#include "src/checks/CheckSystemEventlog.h"

#include "tests/support/ReportText.h"
#include "tests/support/RouterProfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

using testsupport::Count;
using testsupport::ElementText;
using testsupport::StartReport;

const char LOG[] =
    "[Event]\nTime=0\nSeverity=1\nErrorCode=0x0001\nMessage=Log cleared\n"
    "[Event]\nTime=2026-02-27 16:44:09\nSeverity=2\nErrorCode=0xA317\nMessage=Fan <2> & more\n"
    "[Event]\nTime=-5\nSeverity=3\nErrorCode=0x0410\nMessage=\n"
    "[Event]\nTime=2038-01-19 03:14:07\nSeverity=7\nErrorCode=0xFFFF\nMessage=Last second\n";

std::string Child(const std::string& strName, const std::string& strText)
{
    return strText.empty() ? "<" + strName + "/>\r\n" : "<" + strName + ">" + strText + "</" + strName + ">\r\n";
}

std::string Entry(const char* pszDate, const char* pszSeverity, const char* pszCode, const char* pszMessage)
{
    return "<Entry>\r\n" + Child("Date", pszDate) + Child("Severity", pszSeverity) + Child("ErrorCode", pszCode) +
           Child("Message", pszMessage) + "</Entry>\r\n";
}

// An entry of the reply's data: length, severity, error code, time stamp and message.
std::string RawEntry(uint16_t wLength, uint8_t bSeverity, const std::string& strMessage)
{
    std::string entry(16, '\0');
    entry[0] = static_cast<char>(wLength & 0xFF);
    entry[1] = static_cast<char>(wLength >> 8);
    entry[3] = static_cast<char>(bSeverity);
    entry[4] = 0x34;
    entry[5] = 0x12;
    return entry + strMessage + '\0';
}

class CheckSystemEventlogTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(lab::win32::LiveComObjects(), 0); }

    DWORD Run()
    {
        StartReport(m_report.m_Document);
        DWORD dwResult = 0;
        std::thread([&] { dwResult = CheckSystemEventlog(m_report, m_report.m_Document); }).join();
        EXPECT_TRUE(m_report.m_Document.CheckWellFormed());
        m_strText = m_report.m_Document.GetText();
        return dwResult;
    }

    // What the walk writes for reply data, inside an element of its own.
    static std::string Walk(const std::string& strData, size_t* pnEntries = nullptr)
    {
        CXmlDocument doc;
        StartReport(doc);
        doc.FindSibling("Root");
        size_t nEntries = WriteSystemEventlogEntries(doc, reinterpret_cast<const BYTE*>(strData.data()),
                                                     strData.size());
        if (pnEntries)
            *pnEntries = nEntries;
        return doc.GetText();
    }

    CDiagReport m_report{std::vector<DiagStep>{}};
    std::string m_strText;
};

TEST_F(CheckSystemEventlogTest, EveryEntryIsCopiedAsItStands)
{
    CRouterProfile profile(LOG);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(m_strText, "System"),
              "<System>\r\n<SystemEventlog>\r\n" + Entry(" &lt;no date/no time&gt; ", "INFO", "0001", "Log cleared") +
                  Entry("27.02.2026 16:44:09", "MAJOR", "A317", "Fan &lt;2&gt; &amp; more") +
                  Entry(" &lt;no date/no time&gt; ", "CRITICAL", "0410", "") +
                  Entry("19.01.2038 03:14:07", "", "FFFF", "Last second") + "</SystemEventlog>\r\n</System>");
    EXPECT_EQ(m_report.m_dwErrors + m_report.m_dwWarnings, 0u);
    auto calls = profile.Service().Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 0x0B10u);
    EXPECT_EQ(calls[0].timeout, 90);
}

TEST_F(CheckSystemEventlogTest, AcceptedStatusesAndTheRest)
{
    for (uint32_t status : {0u, 12u, 21u, 255u, 7u, 0x0Fu}) {
        CRouterProfile profile(LOG);
        if (status != 0)
            profile.Service().SetReplyStatus(0x0B10, -1, status);
        EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
        // The lab's service sends no data with a status other than 0: accepted or not, nothing to walk.
        EXPECT_EQ(Count(m_strText, "<Entry>"), status == 0 ? 4u : 0u) << status;
        EXPECT_NE(m_strText.find(status == 0 ? "<SystemEventlog>" : "<SystemEventlog/>"), std::string::npos);
    }
}

TEST_F(CheckSystemEventlogTest, StoppedBaseServiceLeavesAnEmptyLogAndNoMessage)
{
    CRouterProfile profile(LOG);
    profile.SetRunning(false);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_EQ(ElementText(m_strText, "System"), "<System>\r\n<SystemEventlog/>\r\n</System>");
    EXPECT_EQ(ElementText(m_strText, "Summary"), "");
}

TEST_F(CheckSystemEventlogTest, WithoutRootNothingIsWritten)
{
    CRouterProfile profile(LOG);
    m_report.m_Document.LoadText(nullptr);
    DWORD dwResult = 0;
    std::thread([&] { dwResult = CheckSystemEventlog(m_report, m_report.m_Document); }).join();
    EXPECT_EQ(dwResult, static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_STREQ(m_report.m_Document.GetText(), "");
}

TEST_F(CheckSystemEventlogTest, WalkEndsWhereTheDataCannotBeTrusted)
{
    size_t nEntries = 0;
    // 17 bytes left are not an entry.
    std::string strTwo = RawEntry(18, 0, "A") + RawEntry(18, 1, "B");
    Walk(strTwo + std::string(17, 'x'), &nEntries);
    EXPECT_EQ(nEntries, 2u);
    Walk(strTwo + RawEntry(18, 2, "C"), &nEntries);
    EXPECT_EQ(nEntries, 3u);

    // A length of 0, or beyond the end, ends the walk after that entry.
    Walk(RawEntry(0, 0, "stuck") + RawEntry(22, 0, "never"), &nEntries);
    EXPECT_EQ(nEntries, 1u);
    Walk(RawEntry(18, 0, "A") + RawEntry(500, 3, "long"), &nEntries);
    EXPECT_EQ(nEntries, 2u);

    // A message without its NUL stops at the end of the data.
    std::string strCut = RawEntry(40, 3, "abc");
    strCut.pop_back();
    std::string strText = Walk(strCut, &nEntries);
    EXPECT_EQ(nEntries, 1u);
    EXPECT_NE(strText.find("<ErrorCode>1234</ErrorCode>\r\n<Message>abc</Message>"), std::string::npos);

    Walk("", &nEntries);
    EXPECT_EQ(nEntries, 0u);
}

}  // namespace
