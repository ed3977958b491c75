// Stands in for the server's TCP/IP configuration: interfaces, adapters, IPv4 addresses, routes, DNS settings.
#pragma once

#include "lab/host/IniFile.h"
#include "lab/host/ProfileLayers.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace lab::host {

// Addresses and masks are kept as Windows keeps them: the four bytes in network order in memory.
struct NetAddress {
    uint32_t addr = 0;
    uint32_t mask = 0;
    uint16_t type = 0;  // MIB_IPADDR_* flags
};

struct NetInterface {
    uint32_t index = 0;       // the interface's identifier, dwIndex
    std::string name;         // the interface table's name
    std::string adapterName;  // the adapter list's name
    std::string description;
    uint32_t type = 6;
    uint32_t mtu = 1500;
    uint32_t speed = 0;  // bits per second
    std::vector<uint8_t> physical;
    bool bAdminUp = true;
    bool bConnected = true;
    bool bAdapter = true;  // listed by GetAdaptersInfo
    bool bDhcp = false;
    std::vector<NetAddress> addresses;
};

struct NetRoute {
    uint32_t dest = 0;
    uint32_t mask = 0;
    uint32_t nextHop = 0;
    uint32_t ifIndex = 0;
    uint32_t proto = 3;  // MIB_IPPROTO_NETMGMT: configured
    uint32_t metric = 0;
};

struct NetParams {
    std::string hostName;
    std::string domainName;
    std::vector<uint32_t> dnsServers;
    uint32_t nodeType = 1;
    bool bRouting = false;
    bool bDns = false;
};

struct NetHost {
    std::string name;
    uint32_t addr = 0;
};

struct NetState {
    NetParams params;
    std::vector<NetHost> hosts;  // the server's own table of names, [Hosts] of the fixture
    std::vector<NetInterface> interfaces;  // in the machine's own order, not sorted
    std::vector<NetRoute> routes;
};

class Network {
public:
    // From [Network] of the profile's lab.ini: the source and the switches.
    void Configure(const ProfileLayers& profile, const IniFile& settings);

    // The configuration at this moment: the fixture, or the live Linux host read now.
    NetState Snapshot() const;
    bool IsLive() const;
    // A name as the server resolves it without asking the network: an IPv4 address as it stands,
    // "localhost" and "loopback", and the names of the fixture's [Hosts]. False for any other.
    bool ResolveName(const std::string& name, uint32_t& addr) const;

    // Replaces the source with a fixture file, or its text; a malformed one leaves no network.
    bool LoadFixture(const std::string& path, std::string& error);
    bool ParseFixture(const std::string& text, std::string& error);
    void UseLive();

    // Switches: the named IP Helper function fails with this error (0 clears it), on every call or on
    // the next `calls` calls only.
    void SetFailure(const std::string& function, uint32_t error, uint32_t calls = 0);
    // The error this call of the function is to fail with, 0 for none; counts the call.
    uint32_t TakeFailure(const std::string& function);
    // Interfaces that GetNumberOfInterfaces counts beyond those the interface table shows.
    void SetHiddenInterfaces(uint32_t count);
    uint32_t HiddenInterfaces() const;

private:
    mutable std::mutex m_lock;
    bool m_bLive = false;
    NetState m_fixture;
    struct Failure {
        uint32_t error;
        uint32_t calls;  // 0: every call
    };
    std::map<std::string, Failure> m_failures;  // function name in lower case
    uint32_t m_hiddenInterfaces = 0;
};

// What the Linux host has now, seen the way Windows would report it.
NetState ReadLiveNetwork();

// "10.1.4.21" as the lab keeps it; false for anything else.
bool ParseIpv4(const std::string& text, uint32_t& addr);
std::string FormatIpv4(uint32_t addr);
uint32_t MaskFromPrefix(unsigned prefix);

}  // namespace lab::host
