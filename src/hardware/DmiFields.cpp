// The table of enumerated SMBIOS fields and the names of their codes.
#include "src/hardware/DmiFields.h"

namespace {

// The codes the standard reserves are null: they keep the field's fallback.
const char* const kProcessorStatus[] = {"Enabled", "User disabled", "BIOS disabled", "Idle", nullptr, nullptr, "Other"};

const char* const kArrayLocation[] = {"Other", "Unknown", "System board or motherboard", "ISA add-on card",
                                      "EISA add-on card", "PCI add-on card", "MCA add-on card", "PCMCIA add-on card",
                                      "Proprietary add-on card", "NuBus"};
const char* const kArrayLocationPc98[] = {"PC-98/C20 add-on card", "PC-98/C24 add-on card", "PC-98/E add-on card",
                                          "PC-98/Local bus add-on card", "CXL add-on card"};

const char* const kArrayUse[] = {"Other", "Unknown", "System memory", "Video memory", "Flash memory",
                                 "Non-volatile memory", "Cache memory"};

const char* const kErrorCorrection[] = {"Other", "Unknown", "None", "Parity", "Single-bit ECC", "Multi-bit ECC", "CRC"};

const char* const kFormFactor[] = {"Other", "Unknown", "SIMM", "SIP", "Chip", "DIP", "ZIP", "CProprietary Card",
                                   "DIMM", "TSOP", "Row of chips", "RIMM", "SODIMM", "SRIMM", "FB-DIMM", "Die", "CAMM"};

const char* const kMemoryType[] = {"Other", "Unknown", "DRAM", "EDRAM", "VRAM", "SRAM", "RAM", "ROM", "FLASH",
                                   "EEPROM", "FEPROM", "EPROM", "CDRAM", "3DRAM", "SDRAM", "SGRAM", "RDRAM", "DDR",
                                   "DDR2", "DDR2 FB-DIMM", nullptr, nullptr, nullptr, "DDR3", "FBD2", "DDR4", "LPDDR",
                                   "LPDDR2", "LPDDR3", "LPDDR4", "Logical non-volatile device", "HBM", "HBM2", "DDR5",
                                   "LPDDR5", "HBM3"};

// Bits 1 and up of the type detail word.
const char* const kTypeDetail[] = {"Other", "Unknown", "Fast-paged", "Static column", "Pseudo-static", "RAMBUS",
                                   "Synchronous", "CMOS", "EDO", "Window DRAM", "Cache DRAM", "Non-volatile",
                                   "Registered (Buffered)", "Unbuffered (Unregistered)", "LRDIMM"};

const char* const kIpmiInterface[] = {"Unknown", "Keyboard Controller Style (KCS)",
                                      "Server Management Interface Chip (SMIC)", "Block Transfer (BT)",
                                      "SMBus System Interface (SSIF)"};

const char* const kAddOnFunction[] = {"Hotspare", "Scrubbing", "CPU-PDA"};

constexpr SDmiNames kNone = {0, nullptr, 0};

// In the order of EDmiField.
constexpr SDmiField kFields[] = {
    {DMI_PROCESSOR_STATUS, 4, 0x18, "Status", DMI_SOCKET_STATUS, DmiNames(1, kProcessorStatus), kNone, "Unknown"},
    {DMI_ARRAY_LOCATION, 16, 0x04, "Location", DMI_CODE_BYTE, DmiNames(1, kArrayLocation),
     DmiNames(0xA0, kArrayLocationPc98), ""},
    {DMI_ARRAY_USE, 16, 0x05, "Use", DMI_CODE_BYTE, DmiNames(1, kArrayUse), kNone, ""},
    {DMI_ARRAY_ERROR_CORRECTION, 16, 0x06, "ErrorCorrection", DMI_CODE_BYTE, DmiNames(1, kErrorCorrection), kNone, ""},
    {DMI_DEVICE_FORM_FACTOR, 17, 0x0E, "FormFactor", DMI_CODE_BYTE, DmiNames(1, kFormFactor), kNone, ""},
    {DMI_DEVICE_MEMORY_TYPE, 17, 0x12, "MemoryType", DMI_CODE_BYTE, DmiNames(1, kMemoryType), kNone, ""},
    {DMI_DEVICE_TYPE_DETAIL, 17, 0x13, "TypeDetail", DMI_FLAG_WORD, DmiNames(1, kTypeDetail), kNone, ""},
    {DMI_IPMI_INTERFACE, 38, 0x04, "Interface", DMI_CODE_BYTE, DmiNames(0, kIpmiInterface), kNone, "other"},
    {DMI_ADDON_FUNCTION, 190, 0x04, nullptr, DMI_CODE_BYTE, DmiNames(0, kAddOnFunction), kNone, "Unknown"},
};

constexpr bool InFieldOrder()
{
    for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i)
        if (kFields[i].eField != static_cast<EDmiField>(i))
            return false;
    return sizeof kFields / sizeof kFields[0] == DMI_FIELD_COUNT;
}
static_assert(InFieldOrder(), "one row per field, in the order of EDmiField");

}  // namespace

const SDmiField& GetDmiField(EDmiField eField)
{
    return kFields[eField];
}

const SDmiField* FindDmiField(int type, int offset)
{
    for (const SDmiField& field : kFields)
        if (field.bType == type && field.bOffset == offset)
            return &field;
    return nullptr;
}
