// CNetworkInterfaceTable against a lab host whose network comes from a fixture.
#include "src/sysaccess/NetworkInterfaceTable.h"

#include "lab/win32/LibraryControl.h"
#include "tests/support/NetworkFixture.h"
#include "tests/support/TempProfile.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Interface positions (the table is sorted by identifier): 0 = 1, 1 = 11, 2 = 14, 3 = 19.
// Adapter positions (the machine's order, no loopback): 0 = 19, 1 = 11, 2 = 14.
const char kFixture[] =
    "[Parameters]\n"
    "EnableDns=yes\n"
    "DnsServer=10.1.0.10\n"
    "DnsServer=10.1.0.11\n"
    "\n"
    "[Interface 19]\n"
    "Name=Verbindung f\xFCr LAN \x80\n"
    "AdapterName={B2}\n"
    "Description=Broadcom NetXtreme Gigabit Ethernet\n"
    "Speed=100000000\n"
    "MAC=00-10-18-AA-BB-CC\n"
    "Address=172.16.0.5/24 primary\n"
    "Address=172.16.0.6/255.255.255.0\n"
    "Address=172.16.0.7/255.255.255.128 dynamic\n"
    "Address=172.16.0.8/255.255.255.0 primary transient\n"
    "Address=172.16.0.9/255.255.255.0 primary dynamic disconnected dns\n"
    "\n"
    "[Interface 1]\n"
    "Name=Loopback Pseudo-Interface 1\n"
    "Description=Software Loopback Interface 1\n"
    "Type=24\n"
    "Address=127.0.0.1/8 primary\n"
    "\n"
    "[Interface 11]\n"
    "Name=\\DEVICE\\TCPIP_{A1}\n"
    "AdapterName={A1}\n"
    "Description=Intel(R) I350 Gigabit Network Connection\n"
    "Speed=1000000000\n"
    "MAC=00-1B-21-3A-4F-10\n"
    "Address=10.1.4.21/16 primary\n"
    "\n"
    "[Interface 14]\n"
    "Name=wlan\n"
    "AdapterName={C3}\n"
    "Type=71\n"
    "MAC=02-00-5E-10-00-00-00-01\n"
    "Dhcp=yes\n"
    "\n"
    "[Routes]\n"
    "Route=10.1.0.0/16 0.0.0.0 11\n"
    "Route=0.0.0.0/0 10.1.0.1 11\n"
    "Route=0.0.0.0/0 10.0.0.254 19\n";

using testsupport::Dotted;
using testsupport::Net;

class NetworkInterfaceTableTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::UseNetwork(kFixture); }
    void TearDown() override { lab::win32::ResetLibrarySwitches(); }

    std::string TracePath() const { return m_profile.Scratch() + "/trace.log"; }

    CTempProfile m_profile{""};
    CNetworkInterfaceTable m_table;
};

}  // namespace

// ------------------------------------------------------------------ adapters

TEST_F(NetworkInterfaceTableTest, AdapterTextsAndAddressesAnswerTheirSizeFirst)
{
    EXPECT_EQ(3u, m_table.GetAdapterCount());

    DWORD cb = 0;
    ASSERT_TRUE(m_table.GetAdapterName(1, nullptr, &cb));
    EXPECT_EQ(sizeof("{A1}"), cb);
    std::vector<char> name(cb);
    ASSERT_TRUE(m_table.GetAdapterName(1, name.data(), &cb));
    EXPECT_STREQ("{A1}", name.data());
    cb = 4;
    EXPECT_FALSE(m_table.GetAdapterName(1, name.data(), &cb));
    EXPECT_EQ(5u, cb);
    cb = 0;
    ASSERT_TRUE(m_table.GetAdapterDescription(0, nullptr, &cb));
    std::vector<char> description(cb);
    ASSERT_TRUE(m_table.GetAdapterDescription(0, description.data(), &cb));
    EXPECT_STREQ("Broadcom NetXtreme Gigabit Ethernet", description.data());

    // A hardware address is copied whole or not at all; eight bytes are as good as six.
    BYTE address[8] = {};
    EXPECT_EQ(6u, m_table.GetAdapterAddress(1, address, sizeof address));
    EXPECT_EQ(0, std::memcmp(address, "\x00\x1B\x21\x3A\x4F\x10\x00\x00", 8));
    EXPECT_EQ(0u, m_table.GetAdapterAddress(1, address, 5));
    EXPECT_EQ(8u, m_table.GetAdapterAddress(2, address, sizeof address));
    EXPECT_EQ(0x01, address[7]);

    // Past the last adapter there is nothing.
    cb = 0;
    EXPECT_FALSE(m_table.GetAdapterName(3, nullptr, &cb));
    EXPECT_FALSE(m_table.GetAdapterDescription(3, nullptr, &cb));
    EXPECT_EQ(static_cast<UINT>(MIB_IF_TYPE_OTHER), m_table.GetAdapterType(3));
    EXPECT_EQ(0u, m_table.GetAdapterAddress(3, address, sizeof address));
}

TEST_F(NetworkInterfaceTableTest, AdapterLookupsWalkTheListFromItsHead)
{
    CTraceFile trace(TracePath(), 4);
    m_table.GetAdapterType(2);
    EXPECT_EQ("\n   checking adapter 0...\n   checking adapter 1...\n   checking adapter 2...", trace.Take());
    m_table.GetAdapterType(7);
    EXPECT_EQ("\n   checking adapter 0...\n   checking adapter 1...\n   checking adapter 2...", trace.Take());
    m_table.GetAdapterCount();
    EXPECT_EQ("", trace.Take());
}

// ------------------------------------------------------------------ interfaces

TEST_F(NetworkInterfaceTableTest, InterfacesByTablePosition)
{
    EXPECT_EQ(4u, m_table.GetNumberOfInterfaces());
    DWORD dwIfIndex = 0;
    ASSERT_TRUE(m_table.GetIfIndex(0, &dwIfIndex));
    EXPECT_EQ(1u, dwIfIndex);
    ASSERT_TRUE(m_table.GetIfIndex(3, &dwIfIndex));
    EXPECT_EQ(19u, dwIfIndex);

    // The wide name comes back in the ANSI code page, byte for byte.
    char szName[64];
    ASSERT_TRUE(m_table.GetInterfaceName(3, szName, sizeof szName));
    EXPECT_STREQ("Verbindung f\xFCr LAN \x80", szName);
    EXPECT_FALSE(m_table.GetInterfaceName(3, szName, 10));
    EXPECT_FALSE(m_table.GetInterfaceName(4, szName, sizeof szName));  // traced as the network check's suite shows

    DWORD cb = 0;
    ASSERT_TRUE(m_table.GetInterfaceDescription(0, nullptr, &cb));
    EXPECT_EQ(sizeof("Software Loopback Interface 1"), cb);
    std::vector<char> description(cb);
    cb -= 1;
    EXPECT_FALSE(m_table.GetInterfaceDescription(0, description.data(), &cb));
    ASSERT_TRUE(m_table.GetInterfaceDescription(0, description.data(), &cb));
    EXPECT_STREQ("Software Loopback Interface 1", description.data());
    cb = 0;
    ASSERT_TRUE(m_table.GetInterfaceDescription(2, nullptr, &cb));
    EXPECT_EQ(1u, cb);
}

// ------------------------------------------------------------------ addresses

TEST_F(NetworkInterfaceTableTest, AddressesCountOnlyThoseOfTheInterfaceAndType)
{
    const DWORD dwNic = 3;  // identifier 19, five addresses
    std::vector<std::string> all;
    for (DWORD n = 0; n < 6; ++n)
        all.push_back(Dotted(m_table.GetIpAddress(dwNic, n, 0)));
    EXPECT_EQ((std::vector<std::string>{"172.16.0.5", "172.16.0.6", "172.16.0.7", "172.16.0.8", "172.16.0.9",
                                        "0.0.0.0"}),
              all);
    EXPECT_EQ("255.255.255.128", Dotted(m_table.GetIpSubnetMask(dwNic, 2, 0)));

    // Dynamic ones only: static addresses are skipped.
    EXPECT_EQ("172.16.0.7", Dotted(m_table.GetIpAddress(dwNic, 0, 0x4)));
    EXPECT_EQ("172.16.0.9", Dotted(m_table.GetIpAddress(dwNic, 1, 0x4)));
    EXPECT_EQ(0u, m_table.GetIpAddress(dwNic, 2, 0x4));
    // Primary and transient at once.
    EXPECT_EQ("172.16.0.8", Dotted(m_table.GetIpAddress(dwNic, 0, 0x81)));
    EXPECT_EQ("255.255.255.0", Dotted(m_table.GetIpSubnetMask(dwNic, 0, 0x81)));
    EXPECT_EQ(0u, m_table.GetIpAddress(dwNic, 1, 0x81));

    // The type keeps the three known flags and drops the platform's others.
    EXPECT_EQ(0x1u, m_table.GetIpAddressType(dwNic, 0));
    EXPECT_EQ(0x0u, m_table.GetIpAddressType(dwNic, 1));
    EXPECT_EQ(0x81u, m_table.GetIpAddressType(dwNic, 3));
    EXPECT_EQ(0x5u, m_table.GetIpAddressType(dwNic, 4));
    EXPECT_EQ(0x0u, m_table.GetIpAddressType(dwNic, 5));
    // Bits of the mask outside the three known flags are no condition.
    EXPECT_TRUE(m_table.AddressTypeMatches(0x4, 0x104));
    EXPECT_FALSE(m_table.AddressTypeMatches(0x80, 0x81));

    // None of another interface is counted.
    EXPECT_EQ(0u, m_table.GetIpAddress(1, 1, 0));
}

TEST_F(NetworkInterfaceTableTest, AddressLookupsTraceTheMaskAndEachCandidate)
{
    CTraceFile trace(TracePath(), 3);
    m_table.GetIpAddress(3, 1, 0x4);
    EXPECT_EQ("\nGet IP address (Type 0x4) for interface at index 3"
              "\n                    : Address type: 0x1 - RCCI address type mask: 0x4"
              "\n                    : Address type: 0x0 - RCCI address type mask: 0x4"
              "\n                    : Address type: 0x4 - RCCI address type mask: 0x4"
              "\n                    : Address type: 0x81 - RCCI address type mask: 0x4"
              "\n                    : Address type: 0x10D - RCCI address type mask: 0x4",
              trace.Take());
    m_table.GetIpSubnetMask(1, 0, 0x81);
    EXPECT_EQ("\nGet IP subnet mask (Type 0x81) for interface at index 1"
              "\n                    : Address type: 0x1 - RCCI address type mask: 0x81",
              trace.Take());
}

// ------------------------------------------------------------------ freshness and failures

TEST_F(NetworkInterfaceTableTest, EveryLookupSeesTheMachineAsItIsNow)
{
    EXPECT_EQ(3u, m_table.GetAdapterCount());
    testsupport::UseNetwork("[Interface 4]\nAddress=192.168.1.2/24 primary\n");
    EXPECT_EQ(1u, m_table.GetAdapterCount());
    EXPECT_EQ(1u, m_table.GetNumberOfInterfaces());
    EXPECT_EQ("192.168.1.2", Dotted(m_table.GetIpAddress(0, 0, 0)));
    DWORD dwGateway = 0;
    EXPECT_FALSE(m_table.GetDefaultGateway(&dwGateway));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_DATA), m_table.LastError());
}

TEST_F(NetworkInterfaceTableTest, NetworkParametersOrThePlatformsError)
{
    std::shared_ptr<const FIXED_INFO> pInfo = m_table.GetNetworkParams();
    ASSERT_TRUE(pInfo);
    EXPECT_EQ(1u, pInfo->EnableDns);
    ASSERT_NE(nullptr, pInfo->DnsServerList.Next);
    EXPECT_STREQ("10.1.0.11", pInfo->DnsServerList.Next->IpAddress.String);

    Net().SetFailure("GetNetworkParams", ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(m_table.GetNetworkParams());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), m_table.LastError());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
}

TEST_F(NetworkInterfaceTableTest, FailedFetchesAnswerNotFoundWithThePlatformsError)
{
    lab::win32::SetModuleMissing("iphlpapi", true);
    EXPECT_EQ(0u, m_table.GetAdapterCount());
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), m_table.LastError());
    lab::win32::ResetLibrarySwitches();
    lab::win32::SetFunctionMissing("iphlpapi", "GetAdaptersInfo", true);
    EXPECT_EQ(static_cast<UINT>(MIB_IF_TYPE_OTHER), m_table.GetAdapterType(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), m_table.LastError());
    lab::win32::ResetLibrarySwitches();
    Net().SetFailure("GetAdaptersInfo", ERROR_NOT_ENOUGH_MEMORY);
    DWORD cb = 0;
    EXPECT_FALSE(m_table.GetAdapterName(0, nullptr, &cb));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());

    Net().SetFailure("GetIpAddrTable", ERROR_NO_DATA);
    EXPECT_EQ(0u, m_table.GetIpAddress(1, 0, 0));
    EXPECT_EQ(0u, m_table.GetIpSubnetMask(1, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_DATA), m_table.LastError());
    Net().SetFailure("GetIpAddrTable", 0);

    // The address and route tables are only taken after the size question was answered as too small,
    // even when the second call would have worked.
    Net().SetFailure("GetIpAddrTable", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(0u, m_table.GetIpAddress(1, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), m_table.LastError());
    EXPECT_EQ("10.1.4.21", Dotted(m_table.GetIpAddress(1, 0, 0)));
    Net().SetFailure("GetIpForwardTable", ERROR_NOT_SUPPORTED, 1);
    DWORD dwGateway = 0;
    EXPECT_FALSE(m_table.GetDefaultGateway(&dwGateway));
    EXPECT_TRUE(m_table.GetDefaultGateway(&dwGateway));

    Net().SetFailure("GetIfEntry", ERROR_NOT_SUPPORTED);
    DWORD dwSpeed = 0;
    EXPECT_FALSE(m_table.GetSpeed(1, &dwSpeed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), m_table.LastError());

    Net().SetFailure("GetNumberOfInterfaces", ERROR_INVALID_FUNCTION);
    EXPECT_EQ(0u, m_table.GetNumberOfInterfaces());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), m_table.LastError());

    // Without the interface table there is no size to name, so nothing is traced.
    CTraceFile trace(TracePath(), 6);
    Net().SetFailure("GetIfTable", ERROR_NOT_ENOUGH_MEMORY);
    DWORD dwIfIndex = 0;
    EXPECT_FALSE(m_table.GetIfIndex(0, &dwIfIndex));
    char szName[32];
    EXPECT_FALSE(m_table.GetInterfaceName(0, szName, sizeof szName));
    BYTE address[8];
    EXPECT_EQ(0u, m_table.GetPhysicalAddress(1, address, sizeof address));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), m_table.LastError());
    EXPECT_EQ("", trace.Take());
}
