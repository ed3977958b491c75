#include "src/hardware/CheckSystem.h"

#include "src/hardware/SMBios.h"

#include <string>

namespace {

const char* PickFrom(const char* const* pNames, size_t nNames, unsigned value, unsigned first)
{
    return value >= first && value - first < nNames ? pNames[value - first] : "";
}

template <size_t N>
const char* Pick(const char* const (&names)[N], unsigned value, unsigned first = 1)
{
    return PickFrom(names, N, value, first);
}

std::string TypeDetail(WORD wDetail)
{
    if (wDetail & 0x0002)
        return "Other";
    if (wDetail & 0x0004)
        return "Unknown";
    static const char* const kBits[] = {"Fast-paged ", "Static column ", "Pseudo-static ", "RAMBUS ",
                                        "Synchronous ", "CMOS ", "EDO ", "Window DRAM ", "Cache DRAM ",
                                        "Non-volatile "};
    std::string text;
    for (int bit = 3; bit <= 12; ++bit)
        if (wDetail & (1u << bit))
            text += kBits[bit - 3];
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string GetDmiValueName(const BYTE* pStructure, int offset)
{
    if (!pStructure)
        return "";
    BYTE value = CSMBios::FieldByte(pStructure, offset);
    switch (pStructure[0] << 8 | offset) {
    case 4 << 8 | 0x18: {
        if (!(value & 0x40))
            return "Empty Socket";
        static const char* const kStatus[] = {"Enabled", "User disabled", "BIOS disabled", "Idle"};
        const char* pszName = Pick(kStatus, value & 0x07);
        return *pszName ? pszName : "Unknown";
    }
    case 16 << 8 | 4: {
        static const char* const kLocation[] = {"Other", "Unknown", "System board or motherboard",
            "ISA add-on card", "EISA add-on card", "PCI add-on card", "MCA add-on card", "PCMCIA add-on card",
            "Proprietary add-on card", "NuBus"};
        static const char* const kPc98[] = {"PC-98/C20 add-on card", "PC-98/C24 add-on card", "PC-98/E add-on card",
                                            "PC-98/Local bus add-on card"};
        return value >= 0xA0 ? Pick(kPc98, value, 0xA0) : Pick(kLocation, value);
    }
    case 16 << 8 | 5: {
        static const char* const kUse[] = {"Other", "Unknown", "System memory", "Video memory", "Flash memory",
                                           "Non-volatile memory", "Cache memory"};
        return Pick(kUse, value);
    }
    case 16 << 8 | 6: {
        static const char* const kCorrection[] = {"Other", "Unknown", "None", "Parity", "Single-bit ECC",
                                                  "Multi-bit ECC", "CRC"};
        return Pick(kCorrection, value);
    }
    case 17 << 8 | 14: {
        static const char* const kForm[] = {"Other", "Unknown", "SIMM", "SIP", "Chip", "DIP", "ZIP",
                                            "CProprietary Card", "DIMM", "TSOP", "Row of chips", "RIMM", "SODIMM",
                                            "SRIMM"};
        return Pick(kForm, value);
    }
    case 17 << 8 | 18: {
        static const char* const kType[] = {"Other", "Unknown", "DRAM", "EDRAM", "VRAM", "SRAM", "RAM", "ROM",
                                            "FLASH", "EEPROM", "FEPROM", "EPROM", "CDRAM", "3DRAM", "SDRAM",
                                            "SGRAM", "RDRAM", "DDR", "DDR2"};
        return Pick(kType, value);
    }
    case 17 << 8 | 19:
        return TypeDetail(CSMBios::FieldWord(pStructure, offset));
    case 38 << 8 | 4: {
        static const char* const kInterface[] = {"Unknown", "Keyboard Controller Style (KCS)",
                                                 "Server Management Interface Chip (SMIC)", "Block Transfer (BT)"};
        const char* pszName = Pick(kInterface, value, 0);
        return *pszName ? pszName : "other";
    }
    case 190 << 8 | 4: {
        static const char* const kFunction[] = {"Hotspare", "Scrubbing", "CPU-PDA"};
        const char* pszName = Pick(kFunction, value, 0);
        return *pszName ? pszName : "Unknown";
    }
    default:
        return "";
    }
}
