// The SNMP manager session: object identifier text, the community lookup, and requests to the lab's real agent.
#include "src/sysaccess/SnmpMgr.h"

#include "lab/win32/LibraryControl.h"
#include "tests/support/DefaultServer.h"
#include "tests/support/SnmpHost.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using testsupport::CSnmpHost;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::SnmpKey;

const char SYS_DESCR[] = ".1.3.6.1.2.1.1.1.0";

std::string ReadOnly(const std::string& strCommunity)
{
    return SnmpKey("ValidCommunities", RegLine(strCommunity, RegDword(4)));
}

class SnmpMgrTest : public ::testing::Test {
protected:
    void TearDown() override { lab::win32::ResetLibrarySwitches(); }

    void Host(const std::string& strParameters = ReadOnly("monitor"), const char* pszState = "running")
    {
        m_pHost = std::make_unique<CSnmpHost>(strParameters, "", pszState);
    }
    std::string TracePath() const { return m_pHost->Profile().Scratch() + "/trace.log"; }

    // One binding named by the text, sent with the session's own list.
    BOOL Send(CSnmpMgr& snmp, const char* pszOid, BYTE bType)
    {
        EXPECT_TRUE(snmp.SetVarBindCount(1, FALSE));
        EXPECT_TRUE(snmp.StringToOid(pszOid, &snmp.m_VarBindList.list[0].name));
        return snmp.Request(bType, nullptr, nullptr, nullptr);
    }

    std::unique_ptr<CSnmpHost> m_pHost;
};

TEST_F(SnmpMgrTest, ObjectIdentifierText)
{
    Host();
    CSnmpMgr snmp(nullptr, nullptr, 1000, 0);
    AsnObjectIdentifier oid{0, nullptr};
    ASSERT_TRUE(snmp.StringToOid("  .1.3.6.1.2.1", &oid));
    EXPECT_STREQ(CSnmpMgr::OidToString(&oid), "1.3.6.1.2.1");
    EXPECT_STREQ(CSnmpMgr::OidToString(&oid, 3), "1.3.6");
    ASSERT_TRUE(snmp.StringToOid("1.3.\"ab\"", &oid));
    EXPECT_STREQ(CSnmpMgr::OidToString(&oid), "1.3.2.97.98");
    EXPECT_FALSE(snmp.StringToOid("1", &oid));
    EXPECT_EQ(oid.idLength, 0u);
    EXPECT_TRUE(oid.ids == nullptr);  // packed as the platform packs it: no reference to the member
    EXPECT_FALSE(snmp.StringToOid("1.3.x.4", &oid));
    EXPECT_FALSE(snmp.StringToOid("1.3.", &oid));
    EXPECT_STREQ(CSnmpMgr::OidToString(nullptr), "");
    EXPECT_STREQ(CSnmpMgr::GetErrorStatusText(18), "inconsistent name");
    EXPECT_STREQ(CSnmpMgr::GetErrorStatusText(19), "unknown");
    EXPECT_STREQ(CSnmpMgr::GetRequestTypeName(0xA4), "<<Unknown>>");
}

TEST_F(SnmpMgrTest, CommunityComesFromTheServiceRegistry)
{
    char szCommunity[8] = "";
    // Notify gives no access: the next one, read-only, is taken by its name, and cut to the buffer.
    Host(SnmpKey("ValidCommunities", RegLine("traps", RegDword(2)) + RegLine("readers-only", RegDword(4))));
    CSnmpMgr snmp(nullptr, nullptr, 1000, 0);
    ASSERT_TRUE(snmp.FindCommunity(szCommunity, sizeof szCommunity));
    EXPECT_STREQ(szCommunity, "readers");

    // A string value names its community by its data.
    Host(SnmpKey("ValidCommunities", RegLine("none", RegDword(1)) + RegLine("x", "\"from-data\"")));
    ASSERT_TRUE(snmp.FindCommunity(szCommunity, sizeof szCommunity));
    EXPECT_STREQ(szCommunity, "from-da");

    // Nothing usable: the session falls back to the default community.
    Host(SnmpKey("ValidCommunities", RegLine("traps", RegDword(2))));
    EXPECT_FALSE(snmp.FindCommunity(szCommunity, sizeof szCommunity));
    CTraceFile trace(TracePath(), 4);
    ASSERT_TRUE(snmp.OpenSession(nullptr, nullptr, 1500, 2));
    EXPECT_EQ(trace.Take(),
              "\nCSnmpMgr            : OpenSession: IP=127.0.0.1, community=vazovu, timeout=1500 msec., retries=2");
}

TEST_F(SnmpMgrTest, GetAndGetNextReachTheAgent)
{
    Host();
    CSnmpMgr snmp(nullptr, nullptr, 5000, 10);
    ASSERT_TRUE(snmp.OpenSession(nullptr, nullptr, 2000, 3));
    ASSERT_TRUE(Send(snmp, SYS_DESCR, SNMP_PDU_GET));
    EXPECT_EQ(snmp.m_nErrorStatus, 0);
    AsnAny& value = snmp.m_VarBindList.list[0].value;
    std::string strExpected = testsupport::SnmpMachineDescription();
    EXPECT_EQ(snmp.GetValueString(&value, nullptr, 0), strExpected.size());
    EXPECT_EQ(snmp.GetString(&value), strExpected);
    // The length stays the octet string's, however often it is read as text.
    EXPECT_EQ(snmp.GetString(&value), strExpected);
    char szShort[8] = "";
    EXPECT_EQ(snmp.GetValueString(&value, szShort, sizeof szShort), strExpected.size());
    EXPECT_STREQ(szShort, "");

    CTraceFile trace(TracePath(), 5);
    ASSERT_TRUE(Send(snmp, ".1.3.6.1.2.0", SNMP_PDU_GETNEXT));
    EXPECT_STREQ(CSnmpMgr::OidToString(&snmp.m_VarBindList.list[0].name), "1.3.6.1.2.1.1.1.0");
    std::string strTrace = trace.Take();
    EXPECT_NE(strTrace.find("\nCSnmpMgr            : -> Request - type = \"GETNEXT\""
                            "\nCSnmpMgr            :       session "),
              std::string::npos)
        << strTrace;
    EXPECT_NE(strTrace.find(" Type (A1) GETNEXT\nCSnmpMgr            :  request OID [0] : 1.3.6.1.2.0"
                            "\nCSnmpMgr            :    call SnmpMgrRequest()..."
                            "\nCSnmpMgr            : after SnmpMgrRequest(), errorStatus=0, errorIndex=0"
                            "\nCSnmpMgr            :  return OID [0] :  1.3.6.1.2.1.1.1.0"
                            "\nCSnmpMgr            : <- Request (LastError = 0x0)"),
              std::string::npos)
        << strTrace;
    EXPECT_TRUE(snmp.CloseSession());
    EXPECT_FALSE(Send(snmp, SYS_DESCR, SNMP_PDU_GET));
    EXPECT_EQ(snmp.m_nErrorStatus, SNMP_ERRORSTATUS_GENERR);
}

TEST_F(SnmpMgrTest, AgentsErrorStatusFailsTheRequest)
{
    Host();
    CSnmpMgr snmp("127.0.0.1", "monitor", 2000, 1);
    CTraceFile trace(TracePath(), 4);
    EXPECT_FALSE(Send(snmp, ".1.3.6.1.2.1.1.99.0", SNMP_PDU_GET));
    EXPECT_EQ(snmp.m_nErrorStatus, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(snmp.m_nErrorIndex, 1);
    EXPECT_EQ(snmp.LastError(), 0u);
    std::string strTrace = trace.Take();
    EXPECT_NE(strTrace.find("\nCSnmpMgr            : SNMP error status: <<no such name>> at index 1"), std::string::npos)
        << strTrace;
}

TEST_F(SnmpMgrTest, TableWalkEndsWhereTheTableDoes)
{
    Host();
    CSnmpMgr snmp(nullptr, nullptr, 0, 0);
    EXPECT_FALSE(snmp.OidWithinRange());
    ASSERT_TRUE(snmp.OpenSession("localhost", "monitor", 2000, 1));
    ASSERT_TRUE(snmp.SetVarBindCount(1, FALSE));
    ASSERT_TRUE(snmp.StringToOid("1.3.6.1.2.1.1.5", &snmp.m_VarBindList.list[0].name));
    ASSERT_TRUE(snmp.SetBaseOid("1.3.6.1.2.1.1.5", 0));
    ASSERT_TRUE(snmp.Request(SNMP_PDU_GETNEXT, nullptr, nullptr, nullptr));
    EXPECT_STREQ(CSnmpMgr::OidToString(&snmp.m_VarBindList.list[0].name), "1.3.6.1.2.1.1.5.0");
    EXPECT_STREQ(snmp.GetString(&snmp.m_VarBindList.list[0].value), "QMFS-SNMP");
    EXPECT_TRUE(snmp.OidWithinRange());
    ASSERT_TRUE(snmp.Request(SNMP_PDU_GETNEXT, nullptr, nullptr, nullptr));
    EXPECT_FALSE(snmp.OidWithinRange());
}

TEST_F(SnmpMgrTest, UnansweredRequestTimesOutOnTheSessionsTerms)
{
    Host();
    CSnmpMgr snmp("127.0.0.1", "nobody", 3000, 2);
    ASSERT_TRUE(snmp.IsOpen());
    uint64_t before = CSnmpHost::Now();
    CTraceFile trace(TracePath(), 1);
    EXPECT_FALSE(Send(snmp, SYS_DESCR, SNMP_PDU_GET));
    EXPECT_EQ(CSnmpHost::Now() - before, 9000u);
    EXPECT_EQ(snmp.m_nErrorStatus, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(snmp.LastError(), static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
    EXPECT_EQ(trace.Take(), "\nCSnmpMgr            : ## ERROR: SnmpMgrRequest() failed, LastError=40");
}

TEST_F(SnmpMgrTest, MissingManagerLibraryFailsTheSession)
{
    Host();
    for (const char* pszMissing : {"mgmtapi", "snmpapi!SnmpUtilOidNCmp"}) {
        lab::win32::ResetLibrarySwitches();
        std::string strMissing = pszMissing;
        size_t bang = strMissing.find('!');
        if (bang == std::string::npos)
            lab::win32::SetModuleMissing(pszMissing, true);
        else
            lab::win32::SetFunctionMissing(strMissing.substr(0, bang).c_str(), strMissing.c_str() + bang + 1, true);
        CTraceFile trace(TracePath(), 1);
        CSnmpMgr snmp(nullptr, nullptr, 1000, 0);
        EXPECT_FALSE(snmp.OpenSession(nullptr, nullptr, 2000, 3)) << pszMissing;
        EXPECT_FALSE(snmp.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr));
        EXPECT_EQ(trace.Take(), "\nCSnmpMgr            : OpenSession: ### Exception loading SNMP libraries ###"
                                "\nCSnmpMgr            : ## ERROR: CSnmpMgr::Request - no open session!");
    }
}

// An agent may hand out rows for ever: a walk stops after more rows than any real table holds.
TEST_F(SnmpMgrTest, EveryTableWalkIsBounded)
{
    std::string service = testsupport::DefaultProfileFile("baseservice.ini");
    std::string components = "[Subsystem]\nName=Endless\n";
    for (int i = 0; i < 10001; ++i)
        components += "Component=1|no|C" + std::to_string(i) + "|-\n";
    service.insert(service.find("[Subsystem]"), components + "\n");
    testsupport::CDefaultServer server("", "[SNMP]\nAgent=scripted\n");
    server.Write("baseservice.ini", service);
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 1);
    CSnmpMgr snmp("127.0.0.1", nullptr, 10000, 1);  // generous: 10,000 requests on a loaded machine
    ASSERT_TRUE(snmp.SetVarBindCount(1, FALSE));
    ASSERT_TRUE(snmp.StringToOid("1.3.6.1.4.1.99999.2.10.2.11.4.1.1.5", &snmp.m_VarBindList.list[0].name));
    ASSERT_TRUE(snmp.SetBaseOid("1.3.6.1.4.1.99999.2.10.2.11.4.1.1.5", 0));
    int nRows = 0;
    while (snmp.NextRow())
        ++nRows;
    EXPECT_EQ(nRows, 10000);
    EXPECT_NE(trace.Take().find("CSnmpMgr            : ## ERROR: table walk stopped after 10000 rows"),
              std::string::npos);
}

}  // namespace
