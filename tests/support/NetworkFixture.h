// The lab host's network as the network suites set it from a fixture's text, and addresses as dotted text.
#pragma once

#include "lab/host/Host.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <string>

namespace testsupport {

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
