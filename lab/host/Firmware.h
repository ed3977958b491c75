// Stands in for the machine's firmware as the board driver sees it: physical memory (the BIOS area
// with the SMBIOS entry point and the "$PIR" table, the structure table above it), the firmware's
// routing interface and PCI configuration space.
#pragma once

#include "lab/host/ProfileLayers.h"

#include <cstdint>
#include <utility>
#include <string>
#include <vector>

namespace lab::host {

struct PciFunction {
    uint32_t bus = 0, device = 0, function = 0;
    std::vector<uint8_t> config;  // at least the 64-byte header
};

class Firmware {
public:
    static constexpr uint64_t kBiosArea = 0xE0000;
    static constexpr uint32_t kBiosAreaLength = 0x20000;
    static constexpr size_t kInterfaceInfoBytes = 34;

    // From the profile's firmware/ files and the [Firmware] section of lab.ini (lab/README.md).
    // Problems go to standard error as "lab: <file>: ..."; what cannot be read stays absent.
    void Load(const ProfileLayers& profile, const IniFile& settings);

    // Physical memory; addresses nothing backs read as zero.
    void Read(uint64_t address, uint32_t length, uint8_t* pOut) const;
    // Places bytes in physical memory (tests and the loader).
    void Place(uint64_t address, const std::vector<uint8_t>& bytes);
    // For tests and fuzzing: forgets all firmware, or puts in what the profile would give.
    void Reset() { *this = Firmware(); }
    void SetFunctions(std::vector<PciFunction> functions);
    void SetInterfaceEntries(std::vector<uint8_t> entries) { m_interfaceEntries = std::move(entries); }

    // Switches.
    bool DriverMissing() const { return m_bDriverMissing; }
    bool MapFails(uint64_t address) const;
    size_t InterfaceBytes() const { return m_interfaceBytes; }
    enum class Routing { kAnswer, kFail, kShort };
    Routing RoutingInterface() const { return m_routing; }

    // The entries the firmware's routing interface hands out (16 bytes each); empty when it knows none.
    const std::vector<uint8_t>& InterfaceEntries() const { return m_interfaceEntries; }

    // The 64-byte header of a function; all ones for one that is not present, as the bus answers.
    void ReadHeader(uint32_t bus, uint32_t device, uint32_t function, uint8_t* pHeader) const;
    // The present function after bus/device/function in bus, device, function order.
    const PciFunction* NextFunction(uint32_t bus, uint32_t device, uint32_t function) const;
    const std::vector<PciFunction>& Functions() const { return m_functions; }

    // Readers of the profile's formats, for the loader and the tests.
    static bool ParseLspci(const std::string& text, std::vector<PciFunction>& functions, std::string& error);
    static void ReadLivePci(std::vector<PciFunction>& functions);

private:
    void LoadSmbios(const std::string& path);
    void LoadRouting(const std::string& path);

    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> m_memory;  // later regions cover earlier ones
    std::vector<PciFunction> m_functions;               // sorted
    std::vector<uint8_t> m_interfaceEntries;
    bool m_bDriverMissing = false;
    bool m_bAllMapsFail = false;
    std::vector<uint64_t> m_failingMaps;
    size_t m_interfaceBytes = kInterfaceInfoBytes;
    Routing m_routing = Routing::kAnswer;
    uint64_t m_entryPointAddress = 0xFAC00;
    uint64_t m_tableAddress = 0x7FFBE000;
};

}  // namespace lab::host
