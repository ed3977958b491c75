// The lab host's network as the network suites set it from a fixture's text, and addresses as dotted text.
#pragma once

#include "lab/host/Host.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <string>

namespace testsupport {

// The server's first Ethernet interface, as the IP Helper and the network check suites both describe it.
inline constexpr char kIntelInterface[] =
    "[Interface 11]\n"
    "Name=\\DEVICE\\TCPIP_{6A0C}\n"
    "AdapterName={6A0C}\n"
    "Description=Intel(R) I350 Gigabit Network Connection\n"
    "Speed=1000000000\n"
    "MAC=00-1B-21-3A-4F-10\n"
    "Address=10.1.4.21/255.255.0.0 primary\n";

inline lab::host::Network& Net()
{
    return lab::host::Host::Instance().TheNetwork();
}

// The machine's network becomes the fixture's.
inline void UseNetwork(const std::string& fixture)
{
    std::string error;
    ASSERT_TRUE(Net().ParseFixture(fixture, error)) << error;
}

inline std::string Dotted(DWORD dwAddress)
{
    in_addr addr;
    addr.s_addr = dwAddress;
    return inet_ntoa(addr);
}

}  // namespace testsupport
