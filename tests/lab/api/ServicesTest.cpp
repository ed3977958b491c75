// The service control manager's contract on a service every Windows has, the remote procedure call service:
// handles, rights, buffer protocols and the enumeration.
#include "tests/lab/ApiTestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

using apitest::ErrorOf;

namespace {

const char kRpc[] = "RpcSs";

// Service names ignore case.
bool SameName(const char* pszA, const char* pszB)
{
    std::string a = pszA, b = pszB;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

class ApiServices : public apitest::PlainMachine {
protected:
    void SetUp() override
    {
        PlainMachine::SetUp();
        m_hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
        ASSERT_NE(nullptr, m_hManager) << GetLastError();
    }
    void TearDown() override
    {
        for (SC_HANDLE h : m_opened)
            CloseServiceHandle(h);
        if (m_hManager)
            CloseServiceHandle(m_hManager);
        PlainMachine::TearDown();
    }

    SC_HANDLE Manager() const { return m_hManager; }
    SC_HANDLE Open(const char* pszName, DWORD dwAccess)
    {
        SC_HANDLE h = OpenServiceA(m_hManager, pszName, dwAccess);
        if (h)
            m_opened.push_back(h);
        return h;
    }

private:
    SC_HANDLE m_hManager = nullptr;
    std::vector<SC_HANDLE> m_opened;
};

}  // namespace

TEST_F(ApiServices, HandlesAndRightsAsThePlatformGivesThem)
{
    for (const char* pszLocal : {"", "."}) {
        SC_HANDLE h = OpenSCManagerA(pszLocal, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT);
        EXPECT_NE(h, nullptr) << pszLocal;
        CloseServiceHandle(h);
    }
    EXPECT_EQ(ErrorOf(OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT)),
              1065u);

    EXPECT_EQ(ErrorOf(Open("TriagistNoSuchService", SERVICE_QUERY_STATUS)), 1060u);
    EXPECT_EQ(ErrorOf(Open("", SERVICE_QUERY_STATUS)), 123u);
    EXPECT_EQ(ErrorOf(OpenServiceA(nullptr, kRpc, SERVICE_QUERY_STATUS)), 6u);

    // Each call needs its right on the handle; names ignore case.
    SC_HANDLE hStatus = Open("rpcss", SERVICE_QUERY_STATUS);
    ASSERT_NE(hStatus, nullptr);
    SERVICE_STATUS status{};
    DWORD cbNeeded = 0;
    EXPECT_TRUE(QueryServiceStatus(hStatus, &status));
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(hStatus, nullptr, 0, &cbNeeded)), 5u);
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(Open(kRpc, SERVICE_QUERY_CONFIG), nullptr, 0, &cbNeeded)), 122u);
    EXPECT_EQ(ErrorOf(QueryServiceStatus(Manager(), &status)), 6u);  // a manager is no service

    SC_HANDLE hExtra = OpenServiceA(Manager(), kRpc, SERVICE_QUERY_STATUS);
    EXPECT_TRUE(CloseServiceHandle(hExtra));
    EXPECT_EQ(ErrorOf(CloseServiceHandle(hExtra)), 6u);
    EXPECT_EQ(ErrorOf(QueryServiceStatus(hExtra, &status)), 6u);
}

TEST_F(ApiServices, ConfigurationFollowsTheSizeProtocol)
{
    SC_HANDLE h = Open(kRpc, SERVICE_QUERY_CONFIG);
    ASSERT_NE(h, nullptr);
    // The size asked for is enough (the ANSI function may ask for more than it uses); what it fills lies within it.
    DWORD cbNeeded = 0;
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(h, nullptr, 0, &cbNeeded)), 122u);
    ASSERT_GT(cbNeeded, sizeof(QUERY_SERVICE_CONFIGA));
    std::vector<BYTE> buffer(cbNeeded + 16, 0xEE);
    auto* pConfig = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data());
    DWORD cbAgain = 0;
    ASSERT_TRUE(QueryServiceConfigA(h, pConfig, cbNeeded, &cbAgain));
    EXPECT_EQ(buffer[cbNeeded], 0xEE);  // nothing written past the size it asked for
    EXPECT_NE(0u, pConfig->dwServiceType & SERVICE_WIN32);
    EXPECT_LE(pConfig->dwStartType, static_cast<DWORD>(SERVICE_DISABLED));
    EXPECT_NE(std::string(pConfig->lpBinaryPathName), "");
    for (LPSTR psz : {pConfig->lpBinaryPathName, pConfig->lpLoadOrderGroup, pConfig->lpDependencies,
                      pConfig->lpServiceStartName, pConfig->lpDisplayName}) {
        ASSERT_NE(nullptr, psz);
        EXPECT_GE(reinterpret_cast<BYTE*>(psz), buffer.data() + sizeof(QUERY_SERVICE_CONFIGA));
        EXPECT_LT(reinterpret_cast<BYTE*>(psz), buffer.data() + cbNeeded);
    }
    cbAgain = 0;
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(h, pConfig, sizeof(QUERY_SERVICE_CONFIGA), &cbAgain)), 122u);
    EXPECT_GE(cbAgain, sizeof(QUERY_SERVICE_CONFIGA) + std::strlen(pConfig->lpDisplayName));

    // The display name, and back to the key name; a buffer without room for the terminator is too small.
    const std::string display = pConfig->lpDisplayName;
    char szName[256];
    DWORD cch = static_cast<DWORD>(display.size() + 1);
    ASSERT_TRUE(GetServiceDisplayNameA(Manager(), kRpc, szName, &cch));
    EXPECT_EQ(display, szName);
    cch = static_cast<DWORD>(display.size());
    EXPECT_EQ(ErrorOf(GetServiceDisplayNameA(Manager(), kRpc, szName, &cch)), 122u);
    EXPECT_GE(cch, display.size());
    cch = sizeof szName;
    EXPECT_EQ(ErrorOf(GetServiceDisplayNameA(Manager(), "TriagistNoSuchService", szName, &cch)), 1060u);
    cch = sizeof szName;
    ASSERT_TRUE(GetServiceKeyNameA(Manager(), display.c_str(), szName, &cch));
    EXPECT_STREQ(kRpc, szName);
}

// The enumeration lists the service with the state a query gives, its names inside the block.
TEST_F(ApiServices, EnumerationFollowsTheMoreDataProtocol)
{
    DWORD cbNeeded = 0, dwCount = 99, dwResume = 0;
    EXPECT_EQ(ErrorOf(EnumServicesStatusA(Manager(), SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &cbNeeded,
                                          &dwCount, &dwResume)),
              234u);
    EXPECT_EQ(dwCount, 0u);
    ASSERT_GT(cbNeeded, 0u);

    std::vector<BYTE> block(cbNeeded);
    auto* pEntries = reinterpret_cast<LPENUM_SERVICE_STATUSA>(block.data());
    dwResume = 0;
    ASSERT_TRUE(EnumServicesStatusA(Manager(), SERVICE_WIN32, SERVICE_STATE_ALL, pEntries, cbNeeded, &cbNeeded,
                                    &dwCount, &dwResume))
        << GetLastError();
    ASSERT_GT(dwCount, 0u);
    const ENUM_SERVICE_STATUSA* pRpc = nullptr;
    for (DWORD i = 0; i < dwCount; ++i) {
        EXPECT_GE(reinterpret_cast<BYTE*>(pEntries[i].lpServiceName), block.data() + dwCount * sizeof *pEntries);
        EXPECT_LT(reinterpret_cast<BYTE*>(pEntries[i].lpDisplayName), block.data() + block.size());
        EXPECT_NE(0u, pEntries[i].ServiceStatus.dwServiceType & SERVICE_WIN32) << pEntries[i].lpServiceName;
        if (SameName(pEntries[i].lpServiceName, kRpc))
            pRpc = &pEntries[i];
    }
    ASSERT_NE(nullptr, pRpc);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(Open(kRpc, SERVICE_QUERY_STATUS), &status));
    EXPECT_EQ(status.dwCurrentState, pRpc->ServiceStatus.dwCurrentState);
}

// The count a successful call gives back is the name's length without its terminator.
TEST_F(ApiServices, DisplayNameLengthLeavesOutTheTerminator)
{
    if (apitest::UnderWine())
        GTEST_SKIP() << "Wine: GetServiceDisplayNameA counts the terminator in the length it gives back";
    char szName[256];
    DWORD cch = sizeof szName;
    ASSERT_TRUE(GetServiceDisplayNameA(Manager(), kRpc, szName, &cch));
    EXPECT_EQ(std::strlen(szName), cch);
}

// Only active, inactive or all: any other state is an invalid parameter.
TEST_F(ApiServices, EnumerationRefusesAnUnknownState)
{
    if (apitest::UnderWine())
        GTEST_SKIP() << "Wine: EnumServicesStatusA accepts a service state other than active, inactive or all";
    DWORD cbNeeded = 0, dwCount = 0, dwResume = 0;
    EXPECT_EQ(ErrorOf(EnumServicesStatusA(Manager(), SERVICE_WIN32, 4, nullptr, 0, &cbNeeded, &dwCount, &dwResume)),
              87u);
}
