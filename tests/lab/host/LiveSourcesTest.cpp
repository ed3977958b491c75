// The live host's processes, network and PCI functions as the lab reads them, checked against what the C library and
// sysfs say of the same host.
#include "lab/host/Firmware.h"
#include "lab/host/Network.h"
#include "lab/host/Processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <arpa/inet.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ifaddrs.h>
#include <map>
#include <net/if.h>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string SysfsLine(const std::string& interface, const char* pszLeaf)
{
    std::ifstream in("/sys/class/net/" + interface + "/" + pszLeaf);
    std::string line;
    std::getline(in, line);
    return line;
}

// Every IPv4 address of the host by interface name, from getifaddrs.
std::map<std::string, std::set<uint32_t>> HostAddresses()
{
    std::map<std::string, std::set<uint32_t>> addresses;
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0)
        return addresses;
    for (ifaddrs* p = pList; p; p = p->ifa_next) {
        if (p->ifa_addr && p->ifa_addr->sa_family == AF_INET)
            addresses[p->ifa_name].insert(reinterpret_cast<sockaddr_in*>(p->ifa_addr)->sin_addr.s_addr);
    }
    freeifaddrs(pList);
    return addresses;
}

}  // namespace

// Processes in increasing order, this one and its parent among them, and none of their other threads.
TEST(LabLiveProcesses, ProcessesNotThreads)
{
    lab::host::Processes processes;
    processes.UseLive();
    std::atomic<pid_t> threadId{0};
    std::atomic<bool> bListed{false};
    std::thread worker([&] {
        threadId = gettid();
        while (!bListed)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (threadId == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<uint32_t> ids = processes.Ids();
    bListed = true;
    worker.join();

    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(ids.end(), std::adjacent_find(ids.begin(), ids.end()));
    auto listed = [&](pid_t pid) { return std::count(ids.begin(), ids.end(), static_cast<uint32_t>(pid)) == 1; };
    EXPECT_TRUE(listed(getpid()));
    EXPECT_TRUE(listed(getppid()));
    EXPECT_FALSE(listed(threadId));
    lab::host::ProcessEntry self;
    ASSERT_TRUE(processes.Find(static_cast<uint32_t>(getpid()), self));
    EXPECT_EQ(lab::host::ProcessAccess::Full, self.access);
}

TEST(LabLiveNetwork, InterfacesAndAddressesAreTheHosts)
{
    lab::host::Network network;
    network.UseLive();
    lab::host::NetState state = network.Snapshot();

    // The interfaces in the order of their indexes, each under its own.
    std::set<std::string> names;
    uint32_t previous = 0;
    for (const lab::host::NetInterface& net : state.interfaces) {
        EXPECT_LT(previous, net.index);
        previous = net.index;
        EXPECT_EQ(if_nametoindex(net.name.c_str()), net.index) << net.name;
        EXPECT_EQ(SysfsLine(net.name, "mtu"), std::to_string(net.mtu)) << net.name;
        names.insert(net.name);
    }
    struct if_nameindex* pIndex = if_nameindex();
    ASSERT_NE(nullptr, pIndex);
    for (struct if_nameindex* p = pIndex; p->if_index != 0; ++p)
        EXPECT_EQ(1u, names.count(p->if_name)) << p->if_name;
    if_freenameindex(pIndex);

    std::map<std::string, std::set<uint32_t>> expected = HostAddresses();
    for (const lab::host::NetInterface& net : state.interfaces) {
        std::set<uint32_t> seen;
        for (const lab::host::NetAddress& address : net.addresses)
            seen.insert(address.addr);
        EXPECT_EQ(expected[net.name], seen) << net.name;
    }
}

TEST(LabLiveNetwork, LoopbackAsWindowsShowsIt)
{
    lab::host::Network network;
    network.UseLive();
    lab::host::NetState state = network.Snapshot();
    const lab::host::NetInterface* pLoopback = nullptr;
    for (const lab::host::NetInterface& net : state.interfaces) {
        if (net.name == "lo")
            pLoopback = &net;
    }
    ASSERT_NE(nullptr, pLoopback);
    EXPECT_EQ(24u, pLoopback->type);
    EXPECT_TRUE(pLoopback->physical.empty());
    EXPECT_FALSE(pLoopback->bAdapter);
    EXPECT_TRUE(pLoopback->bConnected);
    ASSERT_EQ(1u, pLoopback->addresses.size());
    EXPECT_EQ(inet_addr("127.0.0.1"), pLoopback->addresses[0].addr);
    EXPECT_EQ(inet_addr("255.0.0.0"), pLoopback->addresses[0].mask);
    EXPECT_EQ(1u, pLoopback->addresses[0].type & 0x0001u);  // primary
    EXPECT_EQ(0u, pLoopback->addresses[0].type & 0x0004u);  // configured, not leased
}

// Every function of PCI domain 0 that sysfs lists, in bus, device, function order, with at least the header
// its config file holds.
TEST(LabLivePci, FunctionsAndHeadersAreTheHosts)
{
    std::vector<lab::host::PciFunction> functions;
    lab::host::Firmware::ReadLivePci(functions);

    std::vector<std::string> expected;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/devices", ec)) {
        if (entry.path().filename().string().rfind("0000:", 0) == 0)
            expected.push_back(entry.path().filename().string());
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(expected.size(), functions.size());
    for (size_t i = 0; i < functions.size(); ++i) {
        const lab::host::PciFunction& f = functions[i];
        char szName[32];
        std::snprintf(szName, sizeof szName, "0000:%02x:%02x.%u", f.bus, f.device, f.function);
        EXPECT_EQ(expected[i], szName);
        std::ifstream in("/sys/bus/pci/devices/" + expected[i] + "/config", std::ios::binary);
        std::vector<char> header(64);
        in.read(header.data(), 64);
        ASSERT_GE(f.config.size(), 64u) << szName;
        EXPECT_TRUE(std::equal(header.begin(), header.end(), f.config.begin(),
                               [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            << szName;
    }
}
