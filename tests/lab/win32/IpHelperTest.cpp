// The lab's IP Helper: size-first protocols, sorting, the profile's fixture and switches, the live host.
#include "tests/lab/LabTestSupport.h"
#include "tests/support/NetworkFixture.h"
#include "tests/support/TempProfile.h"

#include <cstring>
#include <fstream>
#include <vector>

using namespace labtest;
using testsupport::Dotted;
using testsupport::Net;
using testsupport::UseNetwork;

namespace {

const std::string kFixture = std::string(
    "[Parameters]\n"
    "HostName=QMFS-TEST07\n"
    "DomainName=harrowgate.local\n"
    "EnableDns=yes\n"
    "DnsServer=10.1.0.10\n"
    "DnsServer=10.1.0.11\n"
    "DnsServer=10.1.0.12\n"
    "\n")
    + testsupport::kIntelInterface +
    "Address=9.255.0.1/8 transient dynamic\n"
    "\n"
    "[Interface 1]\n"
    "Name=Loopback Pseudo-Interface 1\n"
    "Description=Software Loopback Interface 1\n"
    "Type=24\n"
    "Address=127.0.0.1/8 primary\n"
    "\n"
    "[Interface 7]\n"
    "Name=wlan\n"
    "Description=Wireless\n"
    "Type=71\n"
    "MAC=A4:C3:F0:11:22:33\n"
    "Status=disconnected\n"
    "Dhcp=yes\n"
    "\n"
    "[Routes]\n"
    "Route=10.1.0.0/16 0.0.0.0 11\n"
    "Route=0.0.0.0/0 10.1.0.1 11 10\n"
    "Route=0.0.0.0/0 10.0.0.254 11 20 2\n"
    "Route=0.0.0.0/0 10.0.0.9 7 5\n";

// Asks for the size, then fetches a table of the MIB's protocol.
template <class TABLE>
std::vector<BYTE> Fetch(DWORD(WINAPI* pfn)(TABLE*, PULONG, BOOL), BOOL bOrder)
{
    ULONG cb = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), pfn(nullptr, &cb, bOrder));
    std::vector<BYTE> block(cb);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), pfn(reinterpret_cast<TABLE*>(block.data()), &cb, bOrder));
    return block;
}

template <class TABLE>
const TABLE& As(const std::vector<BYTE>& block)
{
    return *reinterpret_cast<const TABLE*>(block.data());
}

}  // namespace

// ------------------------------------------------------------------ size-first protocols

TEST(LabIpHelper, MibTablesAnswerInsufficientBufferWithTheSize)
{
    CTempProfile profile("");
    UseNetwork(kFixture);

    ULONG cb = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetIfTable(nullptr, nullptr, TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetIfTable(nullptr, &cb, TRUE));
    ULONG cbNeeded = cb;
    EXPECT_GE(cbNeeded, offsetof(MIB_IFTABLE, table) + 3 * sizeof(MIB_IFROW));
    std::vector<BYTE> block(cbNeeded);
    cb = cbNeeded - 1;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              GetIfTable(reinterpret_cast<PMIB_IFTABLE>(block.data()), &cb, TRUE));
    EXPECT_EQ(cbNeeded, cb);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetIfTable(reinterpret_cast<PMIB_IFTABLE>(block.data()), &cb, TRUE));
    EXPECT_EQ(3u, As<MIB_IFTABLE>(block).dwNumEntries);

    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetIpAddrTable(nullptr, nullptr, FALSE));
    EXPECT_EQ(3u, As<MIB_IPADDRTABLE>(Fetch(&GetIpAddrTable, FALSE)).dwNumEntries);
    EXPECT_EQ(4u, As<MIB_IPFORWARDTABLE>(Fetch(&GetIpForwardTable, FALSE)).dwNumEntries);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetIpForwardTable(nullptr, nullptr, FALSE));

    // An empty machine still has an interface table (with no rows), but no routes at all.
    UseNetwork("");
    EXPECT_EQ(0u, As<MIB_IFTABLE>(Fetch(&GetIfTable, TRUE)).dwNumEntries);
    EXPECT_EQ(0u, As<MIB_IPADDRTABLE>(Fetch(&GetIpAddrTable, TRUE)).dwNumEntries);
    cb = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_DATA), GetIpForwardTable(nullptr, &cb, TRUE));
}

TEST(LabIpHelper, RecordsAnswerBufferOverflowAndLinkWithinTheBuffer)
{
    CTempProfile profile("");
    UseNetwork(kFixture);

    ULONG cb = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetNetworkParams(nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetNetworkParams(nullptr, &cb));
    EXPECT_EQ(sizeof(FIXED_INFO) + 2 * sizeof(IP_ADDR_STRING), cb);
    std::vector<BYTE> params(cb);
    auto* pInfo = reinterpret_cast<PFIXED_INFO>(params.data());
    cb = sizeof(FIXED_INFO);
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetNetworkParams(pInfo, &cb));
    cb = static_cast<ULONG>(params.size());
    ASSERT_EQ(static_cast<DWORD>(NO_ERROR), GetNetworkParams(pInfo, &cb));
    std::vector<std::string> servers;
    for (const IP_ADDR_STRING* p = &pInfo->DnsServerList; p; p = p->Next) {
        servers.push_back(p->IpAddress.String);
        EXPECT_TRUE(reinterpret_cast<const BYTE*>(p) >= params.data() &&
                    reinterpret_cast<const BYTE*>(p + 1) <= params.data() + params.size());
    }
    EXPECT_EQ((std::vector<std::string>{"10.1.0.10", "10.1.0.11", "10.1.0.12"}), servers);

    cb = 0;
    EXPECT_EQ(static_cast<ULONG>(ERROR_INVALID_PARAMETER), GetAdaptersInfo(nullptr, nullptr));
    EXPECT_EQ(static_cast<ULONG>(ERROR_BUFFER_OVERFLOW), GetAdaptersInfo(nullptr, &cb));
    std::vector<BYTE> adapters(cb);
    cb -= 1;
    EXPECT_EQ(static_cast<ULONG>(ERROR_BUFFER_OVERFLOW),
              GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(adapters.data()), &cb));
    ASSERT_EQ(static_cast<ULONG>(NO_ERROR), GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(adapters.data()), &cb));

    UseNetwork("[Interface 1]\nType=24\nAddress=127.0.0.1/8 primary\n");
    cb = 0;
    EXPECT_EQ(static_cast<ULONG>(ERROR_NO_DATA), GetAdaptersInfo(nullptr, &cb));
}

// ------------------------------------------------------------------ contents and order

TEST(LabIpHelper, TablesSortOnlyWhenAsked)
{
    CTempProfile profile("");
    UseNetwork(kFixture);

    // Interfaces sort by index (the network check's suite sees that); addresses by value, the first octet most
    // significant, not by their bytes in memory; unsorted, both keep the machine's order.
    std::vector<std::string> addresses;
    for (BOOL bOrder : {FALSE, TRUE}) {
        auto block = Fetch(&GetIpAddrTable, bOrder);
        const MIB_IPADDRTABLE& table = As<MIB_IPADDRTABLE>(block);
        for (DWORD i = 0; i < table.dwNumEntries; ++i)
            addresses.push_back(Dotted(table.table[i].dwAddr));
    }
    EXPECT_EQ((std::vector<std::string>{"10.1.4.21", "9.255.0.1", "127.0.0.1", "9.255.0.1", "10.1.4.21", "127.0.0.1"}),
              addresses);

    // Routes: destination, then protocol, then next hop.
    std::vector<std::string> hops;
    auto block = Fetch(&GetIpForwardTable, TRUE);
    const MIB_IPFORWARDTABLE& routes = As<MIB_IPFORWARDTABLE>(block);
    for (DWORD i = 0; i < routes.dwNumEntries; ++i)
        hops.push_back(Dotted(routes.table[i].dwForwardDest) + " " + Dotted(routes.table[i].dwForwardNextHop));
    EXPECT_EQ((std::vector<std::string>{"0.0.0.0 10.0.0.254", "0.0.0.0 10.0.0.9", "0.0.0.0 10.1.0.1",
                                        "10.1.0.0 0.0.0.0"}),
              hops);
}

// ------------------------------------------------------------------ profile, switches, library

TEST(LabIpHelper, ProfileChoosesTheSourceAndSetsTheSwitches)
{
    CTempProfile profile("");
    profile.Write("network.ini", kFixture);
    profile.Write("lab.ini", "[Network]\nSource=network.ini\nFail=GetIpAddrTable:8\nHiddenInterfaces=1\n");
    lab::host::Host::Instance().LoadProfile(profile.Dir(), profile.StateDir());
    ULONG cb = 0;
    EXPECT_EQ(8u, GetIpAddrTable(nullptr, &cb, TRUE));
    DWORD dwCount = 0;
    GetNumberOfInterfaces(&dwCount);
    EXPECT_EQ(4u, dwCount);

    // Without a choice, a network.ini of the profile is taken; the switches are the profile's only.
    profile.Write("lab.ini", "");
    lab::host::Host::Instance().LoadProfile(profile.Dir(), profile.StateDir());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetIpAddrTable(nullptr, &cb, TRUE));
    GetNumberOfInterfaces(&dwCount);
    EXPECT_EQ(3u, dwCount);

    profile.Write("lab.ini", "[Network]\nSource=none\n");
    lab::host::Host::Instance().LoadProfile(profile.Dir(), profile.StateDir());
    GetNumberOfInterfaces(&dwCount);
    EXPECT_EQ(0u, dwCount);

    // A failure the profile limits holds for that many calls.
    profile.Write("lab.ini", "[Network]\nSource=network.ini\nFail=GetIfEntry:31:2\n");
    lab::host::Host::Instance().LoadProfile(profile.Dir(), profile.StateDir());
    MIB_IFROW row;
    std::memset(&row, 0, sizeof row);
    row.dwIndex = 11;
    EXPECT_EQ(31u, GetIfEntry(&row));
    EXPECT_EQ(31u, GetIfEntry(&row));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetIfEntry(&row));
}

TEST(LabIpHelper, MalformedFixtureLeavesNoNetwork)
{
    CTempProfile profile("");
    std::string error;
    for (const char* text : {"[Interface 3]\nAddress=10.1.2.300/24\n", "[Interface 3]\nMAC=00-11-22-33-44-55-66-77-88\n",
                             "[Interface 0]\n", "[Interface 3]\n[Interface 03]\n", "[Routes]\nRoute=0.0.0.0/0 10.0.0.1 4\n",
                             "[Interface 3]\nAddress=10.1.2.3/24 primary sticky\n", "[Gateways]\n",
                             "[Interface 3]\nSpeed=fast\n"}) {
        UseNetwork("[Interface 5]\n");
        EXPECT_FALSE(Net().ParseFixture(text, error)) << text;
        EXPECT_FALSE(error.empty());
        DWORD dwCount = 99;
        GetNumberOfInterfaces(&dwCount);
        EXPECT_EQ(0u, dwCount) << text;
    }
    EXPECT_FALSE(Net().LoadFixture(profile.Dir() + "/missing.ini", error));
}

// ------------------------------------------------------------------ the live Linux host

TEST(LabIpHelper, LiveProfileSeesTheLiveHost)
{
    ScratchDir sampleState, state;
    lab::host::Host::Instance().LoadProfile(std::string(TRIAGIST_SOURCE_DIR) + "/lab/profiles/default",
                                            sampleState.Path());
    EXPECT_FALSE(Net().IsLive());
    lab::host::Host::Instance().LoadProfile(std::string(TRIAGIST_SOURCE_DIR) + "/lab/profiles/live", state.Path());
    EXPECT_TRUE(Net().IsLive());

    // The live sources' suite checks each interface; here, that every one of them reaches the table.
    size_t onHost = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net"))
        onHost += entry.is_directory() ? 1 : 0;
    auto block = Fetch(&GetIfTable, TRUE);
    EXPECT_EQ(onHost, As<MIB_IFTABLE>(block).dwNumEntries);
    DWORD dwCount = 0;
    GetNumberOfInterfaces(&dwCount);
    EXPECT_EQ(onHost, dwCount);

    // The routes are the kernel's main table: as many default routes as it has.
    std::ifstream in("/proc/net/route");
    std::string name, dest, rest;
    std::getline(in, rest);
    size_t kernelDefaults = 0;
    while (in >> name >> dest && std::getline(in, rest))
        kernelDefaults += dest == "00000000" ? 1 : 0;
    size_t defaults = 0;
    ULONG cb = 0;
    if (GetIpForwardTable(nullptr, &cb, TRUE) == ERROR_INSUFFICIENT_BUFFER) {
        auto routeBlock = Fetch(&GetIpForwardTable, TRUE);
        const MIB_IPFORWARDTABLE& routes = As<MIB_IPFORWARDTABLE>(routeBlock);
        for (DWORD i = 0; i < routes.dwNumEntries; ++i)
            defaults += routes.table[i].dwForwardDest == 0 ? 1 : 0;
    }
    EXPECT_EQ(kernelDefaults, defaults);
}
