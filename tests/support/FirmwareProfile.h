// A lab host with the board driver and the firmware a test describes: SMBIOS tables, BIOS area
// images, routing tables and PCI functions, written into a temporary profile.
#pragma once

#include "lab/host/Host.h"
#include "tests/support/TempProfile.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

// One SMBIOS structure: its formatted bytes after the 4-byte header, and its strings.
struct SmbiosStructure {
    uint8_t type;
    uint16_t handle;
    std::vector<uint8_t> data;
    std::vector<std::string> strings;
};

inline std::vector<uint8_t> SmbiosTable(const std::vector<SmbiosStructure>& structures)
{
    std::vector<uint8_t> table;
    for (const SmbiosStructure& s : structures) {
        table.push_back(s.type);
        table.push_back(static_cast<uint8_t>(4 + s.data.size()));
        table.push_back(static_cast<uint8_t>(s.handle));
        table.push_back(static_cast<uint8_t>(s.handle >> 8));
        table.insert(table.end(), s.data.begin(), s.data.end());
        for (const std::string& text : s.strings)
            table.insert(table.end(), text.c_str(), text.c_str() + text.size() + 1);
        if (s.strings.empty())
            table.push_back(0);
        table.push_back(0);
    }
    return table;
}

inline void FixChecksum(std::vector<uint8_t>& bytes, size_t from, size_t length, size_t at)
{
    bytes[at] = 0;
    uint8_t sum = 0;
    for (size_t i = from; i < from + length; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    bytes[at] = static_cast<uint8_t>(-sum);
}

// A 31-byte "_SM_" entry point for a table at an address; count 0 means the table's own count.
inline std::vector<uint8_t> EntryPoint(uint32_t address, size_t length, size_t count, uint8_t major = 2,
                                       uint8_t minor = 5)
{
    std::vector<uint8_t> ep(0x1F, 0);
    const char* pAnchor = "_SM_";
    std::copy(pAnchor, pAnchor + 4, ep.begin());
    ep[5] = 0x1F;
    ep[6] = major;
    ep[7] = minor;
    const char* pDmi = "_DMI_";
    std::copy(pDmi, pDmi + 5, ep.begin() + 0x10);
    ep[0x16] = static_cast<uint8_t>(length);
    ep[0x17] = static_cast<uint8_t>(length >> 8);
    for (int i = 0; i < 4; ++i)
        ep[0x18 + i] = static_cast<uint8_t>(address >> (8 * i));
    ep[0x1C] = static_cast<uint8_t>(count);
    ep[0x1D] = static_cast<uint8_t>(count >> 8);
    ep[0x1E] = static_cast<uint8_t>(major << 4 | minor);
    FixChecksum(ep, 0x10, 0x0F, 0x15);
    FixChecksum(ep, 0, 0x1F, 4);
    return ep;
}

// A 24-byte "_SM3_" entry point: the table's 64-bit address and maximum size, no structure count.
inline std::vector<uint8_t> EntryPoint64(uint64_t address, uint32_t maxSize, uint8_t major = 3, uint8_t minor = 5)
{
    std::vector<uint8_t> ep(0x18, 0);
    const char* pAnchor = "_SM3_";
    std::copy(pAnchor, pAnchor + 5, ep.begin());
    ep[6] = 0x18;
    ep[7] = major;
    ep[8] = minor;
    ep[0x0A] = 1;
    for (int i = 0; i < 4; ++i)
        ep[0x0C + i] = static_cast<uint8_t>(maxSize >> (8 * i));
    for (int i = 0; i < 8; ++i)
        ep[0x10 + i] = static_cast<uint8_t>(address >> (8 * i));
    FixChecksum(ep, 0, 0x18, 5);
    return ep;
}

// The "dmidecode --dump-bin" layout: entry point, then the table at 0x20.
inline std::vector<uint8_t> SmbiosDump(const std::vector<SmbiosStructure>& structures, size_t count = 0)
{
    std::vector<uint8_t> table = SmbiosTable(structures);
    std::vector<uint8_t> dump = EntryPoint(0x20, table.size(), count ? count : structures.size());
    dump.resize(0x20, 0);
    dump.insert(dump.end(), table.begin(), table.end());
    return dump;
}

class CFirmwareProfile {
public:
    // A server whose board driver runs (or not); labIni is its lab.ini.
    explicit CFirmwareProfile(const std::string& labIni = "", bool bDriverRunning = true) : m_profile("", labIni)
    {
        m_profile.Write("services.ini", bDriverRunning ? "[Gorrel]\nType=0x1\nState=running\n" : "");
        std::filesystem::create_directories(m_profile.Dir() + "/firmware");
        Reload();
    }
    CFirmwareProfile(const CFirmwareProfile&) = delete;
    CFirmwareProfile& operator=(const CFirmwareProfile&) = delete;

    void Write(const std::string& name, const std::string& text) const { m_profile.Write(name, text); }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(m_profile.Dir() + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // Loads the profile again with what the test wrote since.
    void Reload() const { lab::host::Host::Instance().LoadProfile(m_profile.Dir(), m_profile.StateDir()); }
    const CTempProfile& Profile() const { return m_profile; }

private:
    CTempProfile m_profile;
};

}  // namespace testsupport
