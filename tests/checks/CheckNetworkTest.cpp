// The network configuration check: the report subtree it writes for a lab host's network.
#include "src/checks/CheckNetwork.h"

#include "lab/win32/LibraryControl.h"
#include "tests/support/NetworkFixture.h"
#include "tests/support/ReportText.h"
#include "tests/support/TempProfile.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Interfaces sort by identifier (1, 11, 14, 19, 23); adapters keep this order and leave out the loopback.
const std::string kServer = std::string(
    "[Parameters]\n"
    "EnableDns=yes\n"
    "DnsServer=10.1.0.10\n"
    "\n")
    + testsupport::kIntelInterface +
    "Address=10.1.4.22/255.255.0.0 transient\n"
    "\n"
    "[Interface 1]\n"
    "Name=Loopback Pseudo-Interface 1\n"
    "Description=Software Loopback Interface 1\n"
    "Type=24\n"
    "Speed=1073741824\n"
    "Address=127.0.0.1/255.0.0.0 primary\n"
    "\n"
    "[Interface 14]\n"
    "Name=wlan\n"
    "AdapterName={C3}\n"
    "Description=Wireless-AC 9560\n"
    "Type=71\n"
    "Speed=300000000\n"
    "MAC=A4-C3-F0-11-22-33\n"
    "Address=192.168.10.57/24 primary dynamic\n"
    "\n"
    "[Interface 19]\n"
    "Name=team\n"
    "AdapterName={B2}\n"
    "Description=Broadcom NetXtreme\n"
    "Speed=100000000\n"
    "MAC=00-10-18-AA-BB-CC\n"
    "Address=172.16.0.5/24 primary\n"
    "Address=172.16.0.6/24\n"
    "Address=172.16.0.7/24 dynamic\n"
    "Address=172.16.0.8/24 transient\n"
    "Address=172.16.0.9/24 primary\n"
    "\n"
    "[Interface 23]\n"
    "Name=ppp\n"
    "AdapterName={D4}\n"
    "Description=WAN Miniport (PPP)\n"
    "Type=23\n"
    "Address=0.0.0.0/0.0.0.0\n"
    "Address=10.99.0.1/0.0.0.0\n"
    "\n"
    "[Routes]\n"
    "Route=10.1.0.0/16 0.0.0.0 11\n"
    "Route=0.0.0.0/0 10.1.0.1 11 10\n"
    "Route=0.0.0.0/0 10.0.0.254 19 20\n";

std::string Entry(int n, const std::string& address, const std::string& type, const std::string& mask,
                  const std::string& gateway)
{
    return "<Entry Index=\"" + std::to_string(n) + "\">\r\n<IPAddress>" + address + "</IPAddress>\r\n" +
           (type.empty() ? "<IPAddressType/>\r\n" : "<IPAddressType>" + type + "</IPAddressType>\r\n") +
           "<IPSubnetMask>" + mask + "</IPSubnetMask>\r\n<IPGateway>" + gateway + "</IPGateway>\r\n</Entry>\r\n";
}

using testsupport::Net;
using testsupport::UseNetwork;
using testsupport::Count;

class CheckNetworkTest : public ::testing::Test {
protected:
    void TearDown() override { lab::win32::ResetLibrarySwitches(); }

    // The check on a report holding only Root; the document's text afterwards.
    std::string Run()
    {
        CXmlDocument doc;
        testsupport::StartReport(doc);
        EXPECT_EQ(0u, CheckNetwork(m_report, doc));
        EXPECT_TRUE(doc.CheckWellFormed());
        return doc.GetText();
    }

    CTempProfile m_profile{""};
    CDiagReport m_report{std::vector<DiagStep>{}};
};

}  // namespace

TEST_F(CheckNetworkTest, WritesTheWholeConfiguration)
{
    UseNetwork(kServer);
    const std::string gw = "10.0.0.254";  // the first default route of the sorted table
    std::string expected =
        "<Root>\r\n<Network>\r\n"
        "<Global>\r\n<DNS>enabled</DNS>\r\n</Global>\r\n"
        "<Adapters>\r\n"
        "<Adapter Index=\"0\">\r\n<Name>{6A0C}</Name>\r\n"
        "<Description>Intel(R) I350 Gigabit Network Connection</Description>\r\n"
        "<MACAddress>00:1B:21:3A:4F:10</MACAddress>\r\n<Type>Ethernet</Type>\r\n</Adapter>\r\n"
        "<Adapter Index=\"1\">\r\n<Name>{C3}</Name>\r\n<Description>Wireless-AC 9560</Description>\r\n"
        "<MACAddress>A4:C3:F0:11:22:33</MACAddress>\r\n<Type>Other</Type>\r\n</Adapter>\r\n"
        "<Adapter Index=\"2\">\r\n<Name>{B2}</Name>\r\n<Description>Broadcom NetXtreme</Description>\r\n"
        "<MACAddress>00:10:18:AA:BB:CC</MACAddress>\r\n<Type>Ethernet</Type>\r\n</Adapter>\r\n"
        "<Adapter Index=\"3\">\r\n<Name>{D4}</Name>\r\n<Description>WAN Miniport (PPP)</Description>\r\n"
        "<MACAddress>n/a</MACAddress>\r\n<Type>PPP</Type>\r\n</Adapter>\r\n"
        "</Adapters>\r\n"
        "<Interfaces>\r\n"
        "<Interface Index=\"0\">\r\n<Name>Loopback Pseudo-Interface 1</Name>\r\n"
        "<Description>Software Loopback Interface 1</Description>\r\n<Speed>1073</Speed>\r\n"
        "<MACAddress>n/a</MACAddress>\r\n<IPConfig>\r\n" +
        Entry(0, "127.0.0.1", "primary", "255.0.0.0", gw) +
        "</IPConfig>\r\n</Interface>\r\n"
        "<Interface Index=\"1\">\r\n<Name>\\DEVICE\\TCPIP_{6A0C}</Name>\r\n"
        "<Description>Intel(R) I350 Gigabit Network Connection</Description>\r\n<Speed>1000</Speed>\r\n"
        "<MACAddress>00:1B:21:3A:4F:10</MACAddress>\r\n<IPConfig>\r\n" +
        Entry(0, "10.1.4.21", "primary", "255.255.0.0", gw) + Entry(1, "10.1.4.22", "transient", "255.255.0.0", gw) +
        "</IPConfig>\r\n</Interface>\r\n"
        "<Interface Index=\"2\">\r\n<Name>wlan</Name>\r\n<Description>Wireless-AC 9560</Description>\r\n"
        "<Speed>300</Speed>\r\n<MACAddress>A4:C3:F0:11:22:33</MACAddress>\r\n<IPConfig>\r\n" +
        Entry(0, "192.168.10.57", "primary dynamic", "255.255.255.0", gw) +
        "</IPConfig>\r\n</Interface>\r\n"
        "<Interface Index=\"3\">\r\n<Name>team</Name>\r\n<Description>Broadcom NetXtreme</Description>\r\n"
        "<Speed>100</Speed>\r\n<MACAddress>00:10:18:AA:BB:CC</MACAddress>\r\n<IPConfig>\r\n" +
        Entry(0, "172.16.0.5", "primary", "255.255.255.0", gw) + Entry(1, "172.16.0.6", "", "255.255.255.0", gw) +
        Entry(2, "172.16.0.7", "dynamic", "255.255.255.0", gw) +
        Entry(3, "172.16.0.8", "transient", "255.255.255.0", gw) +
        "</IPConfig>\r\n</Interface>\r\n"
        "<Interface Index=\"4\">\r\n<Name>ppp</Name>\r\n<Description>WAN Miniport (PPP)</Description>\r\n"
        "<Speed>0</Speed>\r\n<MACAddress>n/a</MACAddress>\r\n<IPConfig>\r\n" +
        Entry(1, "10.99.0.1", "", "n/a", gw) +
        "</IPConfig>\r\n</Interface>\r\n"
        "</Interfaces>\r\n"
        "</Network>\r\n</Root>\r\n";
    EXPECT_EQ(expected, Run());
    EXPECT_EQ(0u, m_report.m_dwErrors + m_report.m_dwWarnings);
}

TEST_F(CheckNetworkTest, AdapterTypesByName)
{
    UseNetwork("[Interface 1]\nType=9\n[Interface 2]\nType=15\n[Interface 3]\nType=24\nAdapter=yes\n"
               "[Interface 4]\nType=28\n[Interface 5]\nType=1\n[Interface 6]\nType=131\n[Interface 7]\nType=6\n"
               "[Interface 8]\nType=23\n");
    std::string text = Run();
    std::vector<std::string> types;
    for (size_t at = text.find("<Type>"); at != std::string::npos; at = text.find("<Type>", at + 1))
        types.push_back(text.substr(at + 6, text.find("</Type>", at) - at - 6));
    EXPECT_EQ((std::vector<std::string>{"Token-Ring", "FDDI", "Loopback", "SLIP", "Other", "Other", "Ethernet", "PPP"}),
              types);
}

TEST_F(CheckNetworkTest, WithoutDefaultRouteEveryGatewayIsNotAvailable)
{
    std::string server = kServer;
    server.erase(server.find("Route=0.0.0.0/0"));
    UseNetwork(server);
    std::string text = Run();
    EXPECT_EQ(9u, Count(text, "<IPGateway>n/a</IPGateway>"));
    EXPECT_EQ(9u, Count(text, "<IPGateway>"));

    // No route at all, which the platform reports as an error of its own.
    server.erase(server.find("[Routes]"));
    UseNetwork(server);
    EXPECT_EQ(9u, Count(Run(), "<IPGateway>n/a</IPGateway>"));
}

TEST_F(CheckNetworkTest, InterfaceCountBeyondTheTableIsTracedAndWrittenEmpty)
{
    UseNetwork("[Interface 3]\nName=eth\nDescription=NIC\nSpeed=10000000\nMAC=00-11-22-33-44-55\n"
               "Address=10.0.0.5/8 primary\n");
    Net().SetHiddenInterfaces(1);
    CTraceFile trace(m_profile.Scratch() + "/trace.log", 1);
    std::string text = Run();
    EXPECT_NE(std::string::npos, text.find("<Interface Index=\"0\">\r\n<Name>eth</Name>\r\n"));
    EXPECT_NE(std::string::npos, text.find("<Interface Index=\"1\">\r\n<Name/>\r\n<Description/>\r\n"
                                           "<Speed>n/a</Speed>\r\n<MACAddress>n/a</MACAddress>\r\n<IPConfig/>\r\n"
                                           "</Interface>\r\n</Interfaces>\r\n"))
        << text;
    // Speed and the four address positions each ask for the identifier.
    std::string line = "\n\nCNetworkInterfaceTable: ERROR! GetIfIndex(): Index (1) out of range (1)!\n";
    EXPECT_EQ(line + line + line + line + line, trace.Take());
}

TEST_F(CheckNetworkTest, UnreadableValuesAreEmptyOrNotAvailable)
{
    UseNetwork(kServer);
    Net().SetFailure("GetNetworkParams", ERROR_NOT_SUPPORTED);
    Net().SetFailure("GetIfTable", ERROR_NOT_ENOUGH_MEMORY);
    Net().SetHiddenInterfaces(0);
    lab::win32::SetModuleMissing("iphlpapi", true);
    std::string text = Run();
    std::string oneInterface = "<Name/>\r\n<Description/>\r\n<Speed>n/a</Speed>\r\n<MACAddress>n/a</MACAddress>\r\n"
                               "<IPConfig/>\r\n</Interface>\r\n";
    std::string expected = "<Root>\r\n<Network>\r\n<Global>\r\n<DNS>disabled</DNS>\r\n</Global>\r\n<Adapters/>\r\n"
                           "<Interfaces>\r\n";
    for (int i = 0; i < 5; ++i)
        expected += "<Interface Index=\"" + std::to_string(i) + "\">\r\n" + oneInterface;
    expected += "</Interfaces>\r\n</Network>\r\n</Root>\r\n";
    EXPECT_EQ(expected, text);

    // Nothing to count: nothing under Interfaces.
    Net().SetFailure("GetNumberOfInterfaces", ERROR_NOT_SUPPORTED);
    EXPECT_NE(std::string::npos, Run().find("<Adapters/>\r\n<Interfaces/>\r\n</Network>"));
}

TEST_F(CheckNetworkTest, FindsRootAndAnExistingNetwork)
{
    UseNetwork("[Parameters]\nEnableDns=no\n");
    CXmlDocument empty;
    empty.LoadText(nullptr);
    EXPECT_EQ(0u, CheckNetwork(m_report, empty));
    EXPECT_EQ(0u, empty.GetTextLength());

    CXmlDocument doc;
    doc.LoadText(nullptr);
    doc.AddElement("Root", nullptr, 0);
    doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD);
    doc.AddElement("Network", nullptr, CXmlDocument::ADD_CHILD);
    doc.AddElement("Other", nullptr, CXmlDocument::ADD_CHILD);
    CheckNetwork(m_report, doc);
    EXPECT_EQ(std::string("<Root>\r\n<Summary/>\r\n<Network>\r\n<Global>\r\n<DNS>disabled</DNS>\r\n</Global>\r\n"
                          "<Adapters/>\r\n<Interfaces/>\r\n</Network>\r\n<Other/>\r\n</Root>\r\n"),
              doc.GetText());
}

TEST_F(CheckNetworkTest, LiveHostShowsItsLoopback)
{
    Net().UseLive();
    std::string text = Run();
    size_t loopback = text.find("<Name>lo</Name>");
    ASSERT_NE(std::string::npos, loopback) << text;
    std::string rest = text.substr(loopback, text.find("</Interface>", loopback) - loopback);
    EXPECT_NE(std::string::npos, rest.find("<MACAddress>n/a</MACAddress>"));
    EXPECT_NE(std::string::npos, rest.find("<IPAddress>127.0.0.1</IPAddress>\r\n<IPAddressType>primary</IPAddressType>"
                                           "\r\n<IPSubnetMask>255.0.0.0</IPSubnetMask>"))
        << rest;
    // The loopback is an interface, not an adapter.
    EXPECT_EQ(std::string::npos, text.find("<Type>Loopback</Type>"));
}
