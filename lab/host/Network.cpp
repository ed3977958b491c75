// Stands in for the server's TCP/IP configuration: interfaces, adapters, IPv4 addresses, routes, DNS settings.
#include "lab/host/Network.h"

#include "lab/host/ProfileValues.h"
#include "lab/host/SharedLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <linux/if.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <net/route.h>
#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/socket.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lab::host {

namespace fs = std::filesystem;

namespace {

// The IP Helper values the model speaks in; the lab's Win32 layer shares them through its own header.
const uint16_t kPrimary = 0x0001;
const uint16_t kDynamic = 0x0004;
const uint16_t kDisconnected = 0x0008;
const uint16_t kDeleted = 0x0040;
const uint16_t kTransient = 0x0080;
const uint16_t kDnsEligible = 0x0100;
const uint32_t kTypeOther = 1;
const uint32_t kTypeLoopback = 24;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

bool ParseBool(const std::string& text, bool& value)
{
    std::string word = Lower(text);
    if (word == "yes" || word == "true" || word == "1" || word == "on")
        value = true;
    else if (word == "no" || word == "false" || word == "0" || word == "off")
        value = false;
    else
        return false;
    return true;
}

// "10.1.4.21/255.255.0.0" or "10.1.4.21/16".
bool ParseAddressAndMask(const std::string& text, uint32_t& addr, uint32_t& mask)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos || !ParseIpv4(text.substr(0, slash), addr))
        return false;
    std::string maskText = text.substr(slash + 1);
    if (maskText.find('.') != std::string::npos)
        return ParseIpv4(maskText, mask);
    uint32_t prefix = 0;
    if (!ParseNumber(maskText, prefix) || prefix > 32)
        return false;
    mask = MaskFromPrefix(prefix);
    return true;
}

bool ParseAddressFlags(const std::vector<std::string>& words, size_t first, uint16_t& flags)
{
    static const struct {
        const char* word;
        uint16_t flag;
    } kWords[] = {{"primary", kPrimary},     {"dynamic", kDynamic},     {"disconnected", kDisconnected},
                  {"deleted", kDeleted},     {"transient", kTransient}, {"dns", kDnsEligible}};
    flags = 0;
    for (size_t i = first; i < words.size(); ++i) {
        bool bKnown = false;
        for (const auto& entry : kWords) {
            if (Lower(words[i]) == entry.word) {
                flags = static_cast<uint16_t>(flags | entry.flag);
                bKnown = true;
            }
        }
        uint32_t number = 0;
        if (!bKnown && ParseNumber(words[i], number) && number <= 0xFFFF) {
            flags = static_cast<uint16_t>(flags | number);
            bKnown = true;
        }
        if (!bKnown)
            return false;
    }
    return true;
}

bool ParseParameters(const IniFile& ini, const std::string& section, NetParams& params, std::string& error)
{
    for (const auto& entry : ini.Section(section)) {
        std::string key = Lower(entry.first);
        const std::string& value = entry.second;
        bool bOk = true;
        if (key == "hostname") {
            params.hostName = value;
        } else if (key == "domainname") {
            params.domainName = value;
        } else if (key == "enabledns") {
            bOk = ParseBool(value, params.bDns);
        } else if (key == "enablerouting") {
            bOk = ParseBool(value, params.bRouting);
        } else if (key == "nodetype") {
            bOk = ParseNumber(value, params.nodeType);
        } else if (key == "dnsserver") {
            uint32_t addr = 0;
            bOk = ParseIpv4(value, addr);
            params.dnsServers.push_back(addr);
        } else {
            error = "[" + section + "] unknown key " + entry.first;
            return false;
        }
        if (!bOk) {
            error = "[" + section + "] " + entry.first + ": bad value \"" + value + "\"";
            return false;
        }
    }
    return true;
}

bool ParseInterface(const IniFile& ini, const std::string& section, uint32_t index, NetInterface& net,
                    std::string& error)
{
    net.index = index;
    bool bAdapterGiven = false;
    bool bAdapterNameGiven = false;
    for (const auto& entry : ini.Section(section)) {
        std::string key = Lower(entry.first);
        const std::string& value = entry.second;
        bool bOk = true;
        if (key == "name") {
            net.name = value;
        } else if (key == "adaptername") {
            net.adapterName = value;
            bAdapterNameGiven = true;
        } else if (key == "description") {
            net.description = value;
        } else if (key == "type") {
            bOk = ParseNumber(value, net.type);
        } else if (key == "mtu") {
            bOk = ParseNumber(value, net.mtu);
        } else if (key == "speed") {
            bOk = ParseNumber(value, net.speed);
        } else if (key == "mac") {
            bOk = ParseHexBytes(value, net.physical) && net.physical.size() <= 8;
        } else if (key == "status") {
            std::string status = Lower(value);
            bOk = status == "up" || status == "down" || status == "disconnected";
            net.bAdminUp = status != "down";
            net.bConnected = status == "up";
        } else if (key == "adapter") {
            bOk = ParseBool(value, net.bAdapter);
            bAdapterGiven = true;
        } else if (key == "dhcp") {
            bOk = ParseBool(value, net.bDhcp);
        } else if (key == "address") {
            std::vector<std::string> words = Words(value);
            NetAddress address;
            bOk = !words.empty() && ParseAddressAndMask(words[0], address.addr, address.mask) &&
                  ParseAddressFlags(words, 1, address.type);
            net.addresses.push_back(address);
        } else {
            error = "[" + section + "] unknown key " + entry.first;
            return false;
        }
        if (!bOk) {
            error = "[" + section + "] " + entry.first + ": bad value \"" + value + "\"";
            return false;
        }
    }
    if (!bAdapterNameGiven)
        net.adapterName = net.name;
    // Windows leaves the software loopback out of the adapter list.
    if (!bAdapterGiven)
        net.bAdapter = net.type != kTypeLoopback;
    return true;
}

// Route=<destination>/<mask> <next hop> <interface index> [<metric> [<protocol>]]
bool ParseRoute(const std::string& text, NetRoute& route)
{
    std::vector<std::string> words = Words(text);
    if (words.size() < 3 || words.size() > 5)
        return false;
    if (!ParseAddressAndMask(words[0], route.dest, route.mask) || !ParseIpv4(words[1], route.nextHop) ||
        !ParseNumber(words[2], route.ifIndex))
        return false;
    if (words.size() > 3 && !ParseNumber(words[3], route.metric))
        return false;
    if (words.size() > 4 && !ParseNumber(words[4], route.proto))
        return false;
    return true;
}

// ------------------------------------------------------------------ the live Linux host

std::string ReadFirstLine(const std::string& path, bool& bOk)
{
    std::ifstream in(path);
    std::string line;
    bOk = static_cast<bool>(std::getline(in, line));
    return line;
}

std::string ReadFirstLine(const std::string& path)
{
    bool bOk = false;
    return ReadFirstLine(path, bOk);
}

uint32_t WindowsType(unsigned long arphrd, bool bWireless)
{
    switch (arphrd) {
    case ARPHRD_ETHER:
        return bWireless ? 71 : 6;
    case ARPHRD_LOOPBACK:
        return kTypeLoopback;
    case ARPHRD_PPP:
        return 23;
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
    case ARPHRD_SLIP6:
    case ARPHRD_CSLIP6:
        return 28;
    case ARPHRD_FDDI:
        return 15;
    case ARPHRD_IEEE802_TR:
        return 9;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
        return 131;
    case ARPHRD_NONE:
        return 53;
    default:
        return kTypeOther;
    }
}

// The facts netlink does not carry: whether an Ethernet link is wireless, its speed and its driver.
void ReadLiveSysfsFacts(NetInterface& net, unsigned long arphrd)
{
    std::string base = "/sys/class/net/" + net.name + "/";
    std::error_code ec;
    bool bWireless = arphrd == ARPHRD_ETHER && (fs::exists(base + "wireless", ec) || fs::exists(base + "phy80211", ec));
    net.type = WindowsType(arphrd, bWireless);
    net.bAdapter = net.type != kTypeLoopback;
    if (!net.bAdapter)
        return;
    // Megabits per second; virtual and disconnected links refuse to tell or say -1.
    bool bSpeed = false;
    std::string speed = ReadFirstLine(base + "speed", bSpeed);
    long long mbits = bSpeed ? std::strtoll(speed.c_str(), nullptr, 10) : 0;
    if (mbits > 0)
        net.speed = static_cast<uint32_t>(std::min<long long>(mbits * 1000000LL, 0xFFFFFFFFLL));
    fs::path driver = fs::read_symlink(base + "device/driver", ec);
    if (!ec)
        net.description = driver.filename().string();
}

// libnl's routing part with libnl itself, loaded only when a live host's links are read; the slots keep
// the functions' own names.
struct Libnl {
    decltype(&::nl_socket_alloc) nl_socket_alloc;
    decltype(&::nl_connect) nl_connect;
    decltype(&::rtnl_link_alloc_cache) rtnl_link_alloc_cache;
    decltype(&::rtnl_addr_alloc_cache) rtnl_addr_alloc_cache;
    decltype(&::nl_cache_free) nl_cache_free;
    decltype(&::nl_socket_free) nl_socket_free;
    decltype(&::nl_cache_get_first) nl_cache_get_first;
    decltype(&::nl_cache_get_next) nl_cache_get_next;
    decltype(&::rtnl_link_get_name) rtnl_link_get_name;
    decltype(&::rtnl_link_get_ifindex) rtnl_link_get_ifindex;
    decltype(&::rtnl_link_get_mtu) rtnl_link_get_mtu;
    decltype(&::rtnl_link_get_arptype) rtnl_link_get_arptype;
    decltype(&::rtnl_link_get_addr) rtnl_link_get_addr;
    decltype(&::nl_addr_get_len) nl_addr_get_len;
    decltype(&::nl_addr_get_binary_addr) nl_addr_get_binary_addr;
    decltype(&::rtnl_link_get_operstate) rtnl_link_get_operstate;
    decltype(&::rtnl_link_get_flags) rtnl_link_get_flags;
    decltype(&::rtnl_addr_get_family) rtnl_addr_get_family;
    decltype(&::rtnl_addr_get_local) rtnl_addr_get_local;
    decltype(&::rtnl_addr_get_prefixlen) rtnl_addr_get_prefixlen;
    decltype(&::rtnl_addr_get_flags) rtnl_addr_get_flags;
    decltype(&::rtnl_addr_get_ifindex) rtnl_addr_get_ifindex;
};

const Libnl* LoadLibnl()
{
    static struct Loaded {
        SharedLibrary library{"libnl-route-3.so.200",
                              "the live host's network links cannot be read (Debian package libnl-route-3-200)"};
        Libnl f{};
        bool bComplete = library.Bind("nl_socket_alloc", f.nl_socket_alloc)
                             .Bind("nl_connect", f.nl_connect)
                             .Bind("rtnl_link_alloc_cache", f.rtnl_link_alloc_cache)
                             .Bind("rtnl_addr_alloc_cache", f.rtnl_addr_alloc_cache)
                             .Bind("nl_cache_free", f.nl_cache_free)
                             .Bind("nl_socket_free", f.nl_socket_free)
                             .Bind("nl_cache_get_first", f.nl_cache_get_first)
                             .Bind("nl_cache_get_next", f.nl_cache_get_next)
                             .Bind("rtnl_link_get_name", f.rtnl_link_get_name)
                             .Bind("rtnl_link_get_ifindex", f.rtnl_link_get_ifindex)
                             .Bind("rtnl_link_get_mtu", f.rtnl_link_get_mtu)
                             .Bind("rtnl_link_get_arptype", f.rtnl_link_get_arptype)
                             .Bind("rtnl_link_get_addr", f.rtnl_link_get_addr)
                             .Bind("nl_addr_get_len", f.nl_addr_get_len)
                             .Bind("nl_addr_get_binary_addr", f.nl_addr_get_binary_addr)
                             .Bind("rtnl_link_get_operstate", f.rtnl_link_get_operstate)
                             .Bind("rtnl_link_get_flags", f.rtnl_link_get_flags)
                             .Bind("rtnl_addr_get_family", f.rtnl_addr_get_family)
                             .Bind("rtnl_addr_get_local", f.rtnl_addr_get_local)
                             .Bind("rtnl_addr_get_prefixlen", f.rtnl_addr_get_prefixlen)
                             .Bind("rtnl_addr_get_flags", f.rtnl_addr_get_flags)
                             .Bind("rtnl_addr_get_ifindex", f.rtnl_addr_get_ifindex)
                             .Complete();
    } s_loaded;
    return s_loaded.bComplete ? &s_loaded.f : nullptr;
}

// The links and their IPv4 addresses from the kernel's routing socket (libnl), which alone tells secondary
// and permanent addresses apart.
class LiveLinks {
public:
    LiveLinks()
    {
        if (!m_pNl)
            return;
        m_pSocket = m_pNl->nl_socket_alloc();
        if (!m_pSocket || m_pNl->nl_connect(m_pSocket, NETLINK_ROUTE) != 0)
            return;
        if (m_pNl->rtnl_link_alloc_cache(m_pSocket, AF_UNSPEC, &m_pLinks) != 0)
            m_pLinks = nullptr;
        if (m_pNl->rtnl_addr_alloc_cache(m_pSocket, &m_pAddresses) != 0)
            m_pAddresses = nullptr;
    }
    ~LiveLinks()
    {
        if (m_pAddresses)
            m_pNl->nl_cache_free(m_pAddresses);
        if (m_pLinks)
            m_pNl->nl_cache_free(m_pLinks);
        if (m_pSocket)
            m_pNl->nl_socket_free(m_pSocket);
    }
    LiveLinks(const LiveLinks&) = delete;
    LiveLinks& operator=(const LiveLinks&) = delete;

    std::vector<NetInterface> Interfaces() const
    {
        std::vector<NetInterface> interfaces;
        for (nl_object* pObject = m_pLinks ? m_pNl->nl_cache_get_first(m_pLinks) : nullptr; pObject;
             pObject = m_pNl->nl_cache_get_next(pObject))
            interfaces.push_back(Interface(reinterpret_cast<rtnl_link*>(pObject)));
        std::sort(interfaces.begin(), interfaces.end(),
                  [](const NetInterface& a, const NetInterface& b) { return a.index < b.index; });
        for (nl_object* pObject = m_pAddresses ? m_pNl->nl_cache_get_first(m_pAddresses) : nullptr; pObject;
             pObject = m_pNl->nl_cache_get_next(pObject))
            AddAddress(reinterpret_cast<rtnl_addr*>(pObject), interfaces);
        return interfaces;
    }

private:
    NetInterface Interface(rtnl_link* pLink) const
    {
        NetInterface net;
        const char* pszName = m_pNl->rtnl_link_get_name(pLink);
        net.name = pszName ? pszName : "";
        net.adapterName = net.name;
        net.description = net.name;
        net.index = static_cast<uint32_t>(m_pNl->rtnl_link_get_ifindex(pLink));
        net.mtu = m_pNl->rtnl_link_get_mtu(pLink);
        unsigned arphrd = m_pNl->rtnl_link_get_arptype(pLink);
        ReadLiveSysfsFacts(net, arphrd);
        // Windows gives the software loopback no hardware address at all.
        nl_addr* pPhysical = m_pNl->rtnl_link_get_addr(pLink);
        if (net.type != kTypeLoopback && pPhysical && m_pNl->nl_addr_get_len(pPhysical) > 0) {
            const auto* pBytes = static_cast<const uint8_t*>(m_pNl->nl_addr_get_binary_addr(pPhysical));
            net.physical.assign(pBytes, pBytes + std::min<unsigned>(m_pNl->nl_addr_get_len(pPhysical), 8));
        }
        uint8_t operstate = m_pNl->rtnl_link_get_operstate(pLink);
        net.bAdminUp = (m_pNl->rtnl_link_get_flags(pLink) & IFF_UP) != 0;
        net.bConnected = net.bAdminUp && (operstate == IF_OPER_UP || operstate == IF_OPER_UNKNOWN);
        return net;
    }

    void AddAddress(rtnl_addr* pAddress, std::vector<NetInterface>& interfaces) const
    {
        if (m_pNl->rtnl_addr_get_family(pAddress) != AF_INET)
            return;
        // On a point-to-point link the other address is the peer's.
        nl_addr* pLocal = m_pNl->rtnl_addr_get_local(pAddress);
        if (!pLocal || m_pNl->nl_addr_get_len(pLocal) < 4)
            return;
        NetAddress entry;
        std::memcpy(&entry.addr, m_pNl->nl_addr_get_binary_addr(pLocal), 4);
        entry.mask = MaskFromPrefix(static_cast<unsigned>(m_pNl->rtnl_addr_get_prefixlen(pAddress)));
        unsigned flags = m_pNl->rtnl_addr_get_flags(pAddress);
        if (!(flags & IFA_F_SECONDARY))
            entry.type |= kPrimary;
        // Addresses with a lease (DHCP) are not permanent.
        if (!(flags & IFA_F_PERMANENT))
            entry.type |= kDynamic;
        for (NetInterface& net : interfaces) {
            if (net.index == static_cast<uint32_t>(m_pNl->rtnl_addr_get_ifindex(pAddress))) {
                if (!net.bConnected)
                    entry.type |= kDisconnected;
                net.addresses.push_back(entry);
                if (entry.type & kDynamic)
                    net.bDhcp = true;
            }
        }
    }

    const Libnl* m_pNl = LoadLibnl();
    nl_sock* m_pSocket = nullptr;
    nl_cache* m_pLinks = nullptr;
    nl_cache* m_pAddresses = nullptr;
};

// /proc/net/route prints each address as the hexadecimal of its in-memory value, so that value is
// already in network byte order.
void ReadLiveRoutes(NetState& state)
{
    std::ifstream in("/proc/net/route");
    std::string line;
    std::getline(in, line);  // the column titles
    while (std::getline(in, line)) {
        std::vector<std::string> fields = Words(line);
        if (fields.size() < 8)
            continue;
        unsigned long flags = std::strtoul(fields[3].c_str(), nullptr, 16);
        if (!(flags & RTF_UP))
            continue;
        NetRoute route;
        route.dest = static_cast<uint32_t>(std::strtoul(fields[1].c_str(), nullptr, 16));
        route.nextHop = static_cast<uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 16));
        route.metric = static_cast<uint32_t>(std::strtoul(fields[6].c_str(), nullptr, 10));
        route.mask = static_cast<uint32_t>(std::strtoul(fields[7].c_str(), nullptr, 16));
        for (const NetInterface& net : state.interfaces) {
            if (net.name == fields[0])
                route.ifIndex = net.index;
        }
        state.routes.push_back(route);
    }
}

void ReadLiveParams(NetParams& params)
{
    char hostName[256] = "";
    if (gethostname(hostName, sizeof hostName - 1) == 0) {
        std::string name = hostName;
        params.hostName = name.substr(0, name.find('.'));
    }
    std::ifstream in("/etc/resolv.conf");
    std::string line;
    std::string search;
    while (std::getline(in, line)) {
        std::vector<std::string> words = Words(line);
        if (words.size() < 2)
            continue;
        uint32_t addr = 0;
        if (words[0] == "nameserver" && ParseIpv4(words[1], addr))
            params.dnsServers.push_back(addr);
        else if (words[0] == "domain")
            params.domainName = words[1];
        else if (words[0] == "search" && search.empty())
            search = words[1];
    }
    if (params.domainName.empty())
        params.domainName = search;
    // Name resolution through DNS is on when there is a server to ask.
    params.bDns = !params.dnsServers.empty();
    params.bRouting = ReadFirstLine("/proc/sys/net/ipv4/ip_forward") == "1";
}

}  // namespace

bool ParseIpv4(const std::string& text, uint32_t& addr)
{
    in_addr parsed;
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    addr = parsed.s_addr;
    return true;
}

std::string FormatIpv4(uint32_t addr)
{
    const auto* pBytes = reinterpret_cast<const unsigned char*>(&addr);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", pBytes[0], pBytes[1], pBytes[2], pBytes[3]);
    return text;
}

uint32_t MaskFromPrefix(unsigned prefix)
{
    uint32_t host = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - std::min(prefix, 32u));
    return htonl(host);
}

NetState ReadLiveNetwork()
{
    NetState state;
    ReadLiveParams(state.params);
    state.interfaces = LiveLinks().Interfaces();
    ReadLiveRoutes(state);
    return state;
}

void Network::Configure(const ProfileLayers& profile, const IniFile& settings)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bLive = false;
        m_fixture = NetState();
        m_failures.clear();
        m_hiddenInterfaces = 0;
    }
    std::string source = settings.Get("Network", "Source", "");
    std::error_code ec;
    const std::string& profileDir = profile.Dirs()[0];
    if (source.empty() && fs::exists(profile.Find("network.ini"), ec))
        source = "network.ini";
    if (EqualsNoCase(source, "live")) {
        UseLive();
    } else if (!source.empty() && !EqualsNoCase(source, "none")) {
        std::string path = source[0] == '/' ? source : profile.Find(source);
        std::string error;
        if (!LoadFixture(path, error))
            std::fprintf(stderr, "lab: %s: %s\n", path.c_str(), error.c_str());
    }

    for (const auto& entry : settings.Section("Network")) {
        if (EqualsNoCase(entry.first, "Fail")) {
            // Fail=GetIfTable:50 or Fail=GetIfTable:50:1 (the next call only)
            std::string text = entry.second;
            size_t colon = text.find(':');
            size_t second = colon == std::string::npos ? colon : text.find(':', colon + 1);
            uint32_t error = 0, calls = 0;
            bool bOk = colon != std::string::npos &&
                       ParseNumber(text.substr(colon + 1, second == std::string::npos ? second : second - colon - 1),
                                   error) &&
                       (second == std::string::npos || ParseNumber(text.substr(second + 1), calls));
            if (bOk)
                SetFailure(text.substr(0, colon), error, calls);
            else
                std::fprintf(stderr, "lab: %s/lab.ini: [Network] bad Fail=%s\n", profileDir.c_str(), text.c_str());
        } else if (EqualsNoCase(entry.first, "HiddenInterfaces")) {
            uint32_t count = 0;
            if (ParseNumber(entry.second, count))
                SetHiddenInterfaces(count);
            else
                std::fprintf(stderr, "lab: %s/lab.ini: [Network] bad HiddenInterfaces=%s\n", profileDir.c_str(),
                             entry.second.c_str());
        }
    }
}

NetState Network::Snapshot() const
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_bLive)
            return m_fixture;
    }
    return ReadLiveNetwork();
}

bool Network::IsLive() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bLive;
}

bool Network::ResolveName(const std::string& name, uint32_t& addr) const
{
    if (EqualsNoCase(name, "localhost") || EqualsNoCase(name, "loopback"))
        return ParseIpv4("127.0.0.1", addr);
    if (ParseIpv4(name, addr))
        return true;
    std::lock_guard<std::mutex> guard(m_lock);
    for (const NetHost& host : m_fixture.hosts) {
        if (EqualsNoCase(host.name, name)) {
            addr = host.addr;
            return true;
        }
    }
    return false;
}

bool Network::LoadFixture(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ParseFixture("", error);  // no network rather than the previous one
        error = "cannot be read";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseFixture(text.str(), error);
}

bool Network::ParseFixture(const std::string& text, std::string& error)
{
    IniFile ini;
    ini.Parse(text);
    NetState state;
    bool bOk = true;
    for (const std::string& section : ini.Sections()) {
        std::vector<std::string> words = Words(section);
        std::string kind = words.empty() ? "" : Lower(words[0]);
        if (kind == "parameters" && words.size() == 1) {
            bOk = ParseParameters(ini, section, state.params, error);
        } else if (kind == "interface" && words.size() == 2) {
            uint32_t index = 0;
            if (!ParseNumber(words[1], index) || index == 0) {
                error = "[" + section + "] needs the interface index, 1 or more";
                bOk = false;
            }
            for (const NetInterface& net : state.interfaces) {
                if (bOk && net.index == index) {
                    error = "[" + section + "] index used twice";
                    bOk = false;
                }
            }
            NetInterface net;
            bOk = bOk && ParseInterface(ini, section, index, net, error);
            state.interfaces.push_back(net);
        } else if (kind == "hosts" && words.size() == 1) {
            for (const auto& entry : ini.Section(section)) {
                NetHost host{entry.first, 0};
                if (!ParseIpv4(entry.second, host.addr)) {
                    error = "[" + section + "] bad address " + entry.first + "=" + entry.second;
                    bOk = false;
                    break;
                }
                state.hosts.push_back(host);
            }
        } else if (kind == "routes" && words.size() == 1) {
            for (const auto& entry : ini.Section(section)) {
                NetRoute route;
                if (!EqualsNoCase(entry.first, "Route") || !ParseRoute(entry.second, route)) {
                    error = "[" + section + "] bad line " + entry.first + "=" + entry.second;
                    bOk = false;
                    break;
                }
                state.routes.push_back(route);
            }
        } else {
            error = "unknown section [" + section + "]";
            bOk = false;
        }
        if (!bOk)
            break;
    }
    for (const NetRoute& route : state.routes) {
        bool bKnown = false;
        for (const NetInterface& net : state.interfaces)
            bKnown = bKnown || net.index == route.ifIndex;
        if (bOk && !bKnown) {
            error = "route to " + FormatIpv4(route.dest) + " names no interface " + std::to_string(route.ifIndex);
            bOk = false;
        }
    }

    std::lock_guard<std::mutex> guard(m_lock);
    m_bLive = false;
    m_fixture = bOk ? state : NetState();
    return bOk;
}

void Network::UseLive()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bLive = true;
    m_fixture = NetState();
}

void Network::SetFailure(const std::string& function, uint32_t error, uint32_t calls)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (error == 0)
        m_failures.erase(Lower(function));
    else
        m_failures[Lower(function)] = Failure{error, calls};
}

uint32_t Network::TakeFailure(const std::string& function)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_failures.find(Lower(function));
    if (found == m_failures.end())
        return 0;
    uint32_t error = found->second.error;
    if (found->second.calls != 0 && --found->second.calls == 0)
        m_failures.erase(found);
    return error;
}

void Network::SetHiddenInterfaces(uint32_t count)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_hiddenInterfaces = count;
}

uint32_t Network::HiddenInterfaces() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hiddenInterfaces;
}

}  // namespace lab::host
