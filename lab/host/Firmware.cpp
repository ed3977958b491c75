// Stands in for the machine's firmware as the board driver sees it: physical memory, the routing
// interface and PCI configuration space, built from the profile's firmware/ files.
#include "lab/host/Firmware.h"

#include "lab/host/BlockFile.h"
#include "lab/host/IniFile.h"
#include "lab/host/SharedLibrary.h"

extern "C" {  // the header declares no C linkage of its own
#include <pci/pci.h>
}

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <tuple>

namespace lab::host {

namespace fs = std::filesystem;

namespace {

const size_t kHeaderBytes = 64;

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// A file named in lab.ini: absolute, or the nearest layer's copy.
std::string ProfilePath(const ProfileLayers& profile, const std::string& name)
{
    return !name.empty() && name[0] == '/' ? name : profile.Find(name);
}

uint32_t Le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe(uint8_t* p, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Sets the byte at checksumAt so that the bytes [from, from + length) add up to 0.
void FixChecksum(std::vector<uint8_t>& bytes, size_t from, size_t length, size_t checksumAt)
{
    if (from + length > bytes.size() || checksumAt >= bytes.size())
        return;
    bytes[checksumAt] = 0;
    uint8_t sum = 0;
    for (size_t i = from; i < from + length; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    bytes[checksumAt] = static_cast<uint8_t>(-sum);
}

bool IsHex(const std::string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

void Complain(const std::string& path, const std::string& text)
{
    std::fprintf(stderr, "lab: %s: %s\n", path.c_str(), text.c_str());
}

}  // namespace

void Firmware::Load(const ProfileLayers& profile, const IniFile& settings)
{
    *this = Firmware();
    const std::string section = "Firmware";
    m_bDriverMissing = EqualsNoCase(settings.Get(section, "Driver", "present"), "missing");
    std::string maps = settings.Get(section, "MapFails", "");
    m_bAllMapsFail = EqualsNoCase(maps, "all");
    if (!m_bAllMapsFail) {
        std::istringstream list(maps);
        std::string item;
        while (std::getline(list, item, ',')) {
            uint64_t address = 0;
            if (ParseNumber(TrimIni(item), address))
                m_failingMaps.push_back(address);
        }
    }
    uint64_t number = 0;
    if (ParseNumber(settings.Get(section, "InterfaceBytes", ""), number))
        m_interfaceBytes = static_cast<size_t>(std::min<uint64_t>(number, 4096));
    std::string routing = settings.Get(section, "RoutingInterface", "answer");
    m_routing = EqualsNoCase(routing, "fail") ? Routing::kFail
                : EqualsNoCase(routing, "short") ? Routing::kShort : Routing::kAnswer;
    if (ParseNumber(settings.Get(section, "EntryPointAddress", ""), number))
        m_entryPointAddress = number;
    if (ParseNumber(settings.Get(section, "TableAddress", ""), number))
        m_tableAddress = number;

    std::error_code ec;
    std::string area = settings.Get(section, "BiosArea", "");
    if (area.empty() && fs::exists(profile.Find("firmware/bios-area.bin"), ec))
        area = "firmware/bios-area.bin";
    if (!area.empty()) {
        std::vector<uint8_t> image;
        if (ReadFileBytes(ProfilePath(profile, area), image))
            Place(kBiosArea, image);
        else
            Complain(ProfilePath(profile, area), "cannot be read");
    }
    // Memory=0x7FF00000 firmware/table.bin puts a file's bytes at a physical address.
    for (const auto& entry : settings.Section(section)) {
        if (!EqualsNoCase(entry.first, "Memory"))
            continue;
        std::istringstream words(entry.second);
        std::string where, file;
        std::vector<uint8_t> bytes;
        if (!(words >> where >> file) || !ParseNumber(where, number) ||
            !ReadFileBytes(ProfilePath(profile, file), bytes))
            Complain(profile.Dirs()[0] + "/lab.ini", "bad Memory line: " + entry.second);
        else
            Place(number, bytes);
    }

    std::string smbios = settings.Get(section, "SMBIOS", area.empty() ? "firmware/smbios.bin" : "none");
    if (!EqualsNoCase(smbios, "none") && fs::exists(ProfilePath(profile, smbios), ec))
        LoadSmbios(ProfilePath(profile, smbios));

    std::string pir = settings.Get(section, "Routing", "firmware/pir.ini");
    if (!EqualsNoCase(pir, "none") && fs::exists(ProfilePath(profile, pir), ec))
        LoadRouting(ProfilePath(profile, pir));

    std::string pci = settings.Get(section, "PCI", "firmware/pci.txt");
    if (EqualsNoCase(pci, "live")) {
        ReadLivePci(m_functions);
    } else if (!EqualsNoCase(pci, "none") && fs::exists(ProfilePath(profile, pci), ec)) {
        std::ifstream in(ProfilePath(profile, pci), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string error;
        if (!ParseLspci(text, m_functions, error))
            Complain(ProfilePath(profile, pci), error);
    }
}

// The dump holds the entry point at 0 and the table where the entry point says (0x20 as dmidecode
// writes it). Real firmware keeps the entry point in the BIOS area and the table in reserved memory
// above it, so both move and the entry point's address and checksums follow.
void Firmware::LoadSmbios(const std::string& path)
{
    std::vector<uint8_t> dump;
    if (!ReadFileBytes(path, dump) || dump.size() < 0x18) {
        Complain(path, "not an SMBIOS dump");
        return;
    }
    bool bLegacy = std::memcmp(dump.data(), "_SM_", 4) == 0 && dump.size() >= 0x1F;
    bool b64 = std::memcmp(dump.data(), "_SM3_", 5) == 0;
    if (!bLegacy && !b64) {
        Complain(path, "no _SM_ or _SM3_ anchor at its start");
        return;
    }
    size_t epLength = bLegacy ? std::max<size_t>(dump[5], 0x1F) : std::max<size_t>(dump[6], 0x18);
    epLength = std::min(epLength, dump.size());
    uint64_t offset = bLegacy ? Le32(dump.data() + 0x18) : Le32(dump.data() + 0x10);
    uint64_t length = bLegacy ? (dump[0x16] | (dump[0x17] << 8)) : Le32(dump.data() + 0x0C);
    if (offset >= dump.size())
        offset = 0x20;
    length = std::min<uint64_t>(length, dump.size() > offset ? dump.size() - offset : 0);
    Place(m_tableAddress, std::vector<uint8_t>(dump.begin() + offset, dump.begin() + offset + length));

    std::vector<uint8_t> entry(dump.begin(), dump.begin() + epLength);
    if (bLegacy) {
        PutLe(&entry[0x18], m_tableAddress, 4);
        FixChecksum(entry, 0x10, 0x0F, 0x15);
        FixChecksum(entry, 0, dump[5], 4);
    } else {
        PutLe(&entry[0x10], m_tableAddress, 8);
        FixChecksum(entry, 0, dump[6], 5);
    }
    Place(m_entryPointAddress, entry);
}

// Each [Table] block is one routing table: Address (a paragraph, or "none" for a table only the
// interface knows), Version, Checksum=bad, Interface=yes and Entry=bus device slot lines.
void Firmware::LoadRouting(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Block> blocks;
    std::string error;
    if (!ParseBlocks(text, blocks, error)) {
        Complain(path, error);
        return;
    }
    for (const Block& block : blocks) {
        if (!EqualsNoCase(block.header, "Table"))
            continue;
        std::vector<uint8_t> entries;
        uint64_t address = 0;
        bool bInMemory = true, bBadChecksum = false, bInterface = false;
        unsigned major = 1, minor = 0;
        for (const BlockEntry& item : block.entries) {
            if (EqualsNoCase(item.key, "Address")) {
                bInMemory = !EqualsNoCase(item.value, "none");
                if (bInMemory && !ParseNumber(item.value, address))
                    Complain(path, "line " + std::to_string(item.line) + ": bad address");
            } else if (EqualsNoCase(item.key, "Version")) {
                std::sscanf(item.value.c_str(), "%u.%u", &major, &minor);
            } else if (EqualsNoCase(item.key, "Checksum")) {
                bBadChecksum = EqualsNoCase(item.value, "bad");
            } else if (EqualsNoCase(item.key, "Interface")) {
                bInterface = EqualsNoCase(item.value, "yes");
            } else if (EqualsNoCase(item.key, "Entry")) {
                // bus device slot; a device of "end" writes the device/function byte 0xFF.
                std::istringstream words(item.value);
                std::string bus, device, slot;
                uint64_t b = 0, d = 0, s = 0;
                bool bEnd = false;
                if (!(words >> bus >> device >> slot) || !ParseNumber(bus, b) || !ParseNumber(slot, s) ||
                    !((bEnd = EqualsNoCase(device, "end")) || (ParseNumber(device, d) && d < 32))) {
                    Complain(path, "line " + std::to_string(item.line) + ": Entry=bus device slot");
                    continue;
                }
                uint8_t record[16] = {};
                record[0] = static_cast<uint8_t>(b);
                record[1] = bEnd ? 0xFF : static_cast<uint8_t>(d << 3);
                // INTA to INTD on the chipset's four links, each able to take IRQs 3-7, 9-12, 14, 15.
                for (int pin = 0; pin < 4; ++pin) {
                    record[2 + 3 * pin] = static_cast<uint8_t>(0x60 + (pin + d) % 4);
                    PutLe(&record[3 + 3 * pin], 0xDEF8, 2);
                }
                record[14] = static_cast<uint8_t>(s);
                entries.insert(entries.end(), record, record + 16);
            }
        }
        if (bInterface)
            m_interfaceEntries = entries;
        if (!bInMemory)
            continue;
        std::vector<uint8_t> table(32);
        std::memcpy(table.data(), "$PIR", 4);
        table[4] = static_cast<uint8_t>(minor);
        table[5] = static_cast<uint8_t>(major);
        PutLe(&table[6], 32 + entries.size(), 2);
        table[9] = 0xF8;  // the interrupt router: the chipset's ISA bridge, device 31 function 0
        PutLe(&table[12], 0x24108086, 4);
        table.insert(table.end(), entries.begin(), entries.end());
        FixChecksum(table, 0, table.size(), 31);
        if (bBadChecksum)
            table[31] = static_cast<uint8_t>(table[31] + 1);
        Place(address, table);
    }
}

void Firmware::Place(uint64_t address, const std::vector<uint8_t>& bytes)
{
    m_memory.emplace_back(address, bytes);
}

void Firmware::Read(uint64_t address, uint32_t length, uint8_t* pOut) const
{
    std::memset(pOut, 0, length);
    uint64_t end = address + length;
    for (const auto& region : m_memory) {
        uint64_t from = std::max(address, region.first);
        uint64_t to = std::min(end, region.first + region.second.size());
        if (from < to)
            std::memcpy(pOut + (from - address), region.second.data() + (from - region.first), to - from);
    }
}

void Firmware::SetFunctions(std::vector<PciFunction> functions)
{
    for (PciFunction& f : functions)
        if (f.config.size() < kHeaderBytes)
            f.config.resize(kHeaderBytes, 0);
    std::stable_sort(functions.begin(), functions.end(), [](const PciFunction& a, const PciFunction& b) {
        return std::tie(a.bus, a.device, a.function) < std::tie(b.bus, b.device, b.function);
    });
    m_functions = std::move(functions);
}

bool Firmware::MapFails(uint64_t address) const
{
    return m_bAllMapsFail || std::find(m_failingMaps.begin(), m_failingMaps.end(), address) != m_failingMaps.end();
}

void Firmware::ReadHeader(uint32_t bus, uint32_t device, uint32_t function, uint8_t* pHeader) const
{
    std::memset(pHeader, 0xFF, kHeaderBytes);
    for (const PciFunction& f : m_functions) {
        if (f.bus == bus && f.device == device && f.function == function) {
            std::memcpy(pHeader, f.config.data(), std::min(kHeaderBytes, f.config.size()));
            return;
        }
    }
}

const PciFunction* Firmware::NextFunction(uint32_t bus, uint32_t device, uint32_t function) const
{
    auto key = std::make_tuple(bus, device, function);
    for (const PciFunction& f : m_functions)
        if (std::make_tuple(f.bus, f.device, f.function) > key)
            return &f;
    return nullptr;
}

// "[dddd:]bb:dd.f description" opens a function; "oo: xx xx ..." lines give its bytes from offset oo.
bool Firmware::ParseLspci(const std::string& text, std::vector<PciFunction>& functions, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    PciFunction* pCurrent = nullptr;
    bool bSkipping = false;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        unsigned domain = 0, bus = 0, device = 0, function = 0;
        int consumed = 0;
        std::string head = line.substr(0, line.find(' '));
        bool bWithDomain =
            std::sscanf(head.c_str(), "%4x:%2x:%2x.%1u%n", &domain, &bus, &device, &function, &consumed) == 4;
        if (!bWithDomain)
            domain = 0;
        if ((bWithDomain || std::sscanf(head.c_str(), "%2x:%2x.%1u%n", &bus, &device, &function, &consumed) == 3) &&
            consumed == static_cast<int>(head.size())) {
            // The board driver reaches domain 0 only.
            bSkipping = domain != 0 || device > 31 || function > 7 || bus > 255;
            pCurrent = nullptr;
            if (bSkipping)
                continue;
            functions.push_back(PciFunction{bus, device, function, std::vector<uint8_t>(kHeaderBytes, 0)});
            pCurrent = &functions.back();
            continue;
        }
        if (bSkipping)
            continue;
        size_t colon = line.find(':');
        std::string offsetText = colon == std::string::npos ? "" : line.substr(0, colon);
        if (!pCurrent || !IsHex(offsetText) || offsetText.size() > 3) {
            error = "line " + std::to_string(number) + ": neither a function nor its bytes";
            return false;
        }
        size_t offset = std::stoul(offsetText, nullptr, 16);
        std::istringstream bytes(line.substr(colon + 1));
        std::string byte;
        while (bytes >> byte) {
            if (!IsHex(byte) || byte.size() != 2 || offset >= 4096) {
                error = "line " + std::to_string(number) + ": bad byte " + byte;
                return false;
            }
            if (offset >= pCurrent->config.size())
                pCurrent->config.resize(offset + 1, 0);
            pCurrent->config[offset++] = static_cast<uint8_t>(std::stoul(byte, nullptr, 16));
        }
    }
    std::stable_sort(functions.begin(), functions.end(), [](const PciFunction& a, const PciFunction& b) {
        return std::tie(a.bus, a.device, a.function) < std::tie(b.bus, b.device, b.function);
    });
    return error.empty();
}

namespace {

// libpci reports a failure through a callback that must not return; it leaves the scan for good.
std::jmp_buf* g_pPciFailure = nullptr;

__attribute__((noreturn)) void PciFailed(char*, ...)  // the GNU spelling: part of the type, as the field wants
{
    std::longjmp(*g_pPciFailure, 1);
}

void PciQuiet(char*, ...) {}

// libpci with what it pulls in, loaded only when a live host's PCI functions are read.
struct Libpci {
    decltype(&pci_alloc) alloc;
    decltype(&pci_init) init;
    decltype(&pci_scan_bus) scanBus;
    decltype(&pci_read_block) readBlock;
    decltype(&pci_cleanup) cleanup;
};

const Libpci* LoadLibpci()
{
    static struct Loaded {
        SharedLibrary library{"libpci.so.3", "the live host's PCI functions cannot be read (Debian package libpci3)"};
        Libpci f{};
        bool bComplete = library.Bind("pci_alloc", f.alloc)
                             .Bind("pci_init", f.init)
                             .Bind("pci_scan_bus", f.scanBus)
                             .Bind("pci_read_block", f.readBlock)
                             .Bind("pci_cleanup", f.cleanup)
                             .Complete();
    } s_loaded;
    return s_loaded.bComplete ? &s_loaded.f : nullptr;
}

// The configuration space as far as the host lets us read it: all of it as root, the header otherwise.
size_t ReadConfig(const Libpci& pci, pci_dev* pDevice, uint8_t* pBuffer)
{
    for (size_t size : {size_t(4096), size_t(256), kHeaderBytes}) {
        if (pci.readBlock(pDevice, 0, pBuffer, static_cast<int>(size)))
            return size;
    }
    return 0;
}

}  // namespace

void Firmware::ReadLivePci(std::vector<PciFunction>& functions)
{
    std::error_code ec;
    if (!fs::is_directory("/sys/bus/pci/devices", ec))
        return;
    const Libpci* pPci = LoadLibpci();
    if (!pPci)
        return;
    static std::mutex s_lock;  // the failure callback has no context of its own
    std::lock_guard<std::mutex> guard(s_lock);
    pci_access* const pAccess = pPci->alloc();
    pAccess->method = PCI_ACCESS_SYS_BUS_PCI;
    pAccess->error = PciFailed;
    pAccess->warning = PciQuiet;
    pAccess->debug = PciQuiet;
    std::jmp_buf failure;
    g_pPciFailure = &failure;
    if (setjmp(failure) == 0) {
        pPci->init(pAccess);
        pPci->scanBus(pAccess);
        static uint8_t s_config[4096];
        for (pci_dev* pDevice = pAccess->devices; pDevice; pDevice = pDevice->next) {
            size_t size = pDevice->domain == 0 ? ReadConfig(*pPci, pDevice, s_config) : 0;
            if (size >= kHeaderBytes)
                functions.push_back(PciFunction{pDevice->bus, pDevice->dev, pDevice->func,
                                                std::vector<uint8_t>(s_config, s_config + size)});
        }
    }
    g_pPciFailure = nullptr;
    pPci->cleanup(pAccess);
    std::sort(functions.begin(), functions.end(), [](const PciFunction& a, const PciFunction& b) {
        return std::tie(a.bus, a.device, a.function) < std::tie(b.bus, b.device, b.function);
    });
}

}  // namespace lab::host
