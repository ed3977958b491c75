// The table of enumerated SMBIOS fields: each field found where it lies, its codes named from the
// first table, then the fallback; flag words and socket status decoded.
#include "src/hardware/CheckSystem.h"
#include "src/hardware/DmiFields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The field's value as it would be named in a structure of the field's type that holds it.
std::string NameOf(EDmiField eField, unsigned nValue)
{
    const SDmiField& field = GetDmiField(eField);
    std::vector<BYTE> structure(field.bOffset + 2u, 0);
    structure[0] = field.bType;
    structure[1] = static_cast<BYTE>(structure.size());
    structure[field.bOffset] = static_cast<BYTE>(nValue);
    structure[field.bOffset + 1u] = static_cast<BYTE>(nValue >> 8);
    return DmiValueName(field, structure.data());
}

struct Named {
    EDmiField eField;
    unsigned nValue;
    const char* pszName;
};

}  // namespace

// A row added at the place of another would be shadowed or shadow it.
TEST(DmiFieldsTest, EachFieldIsFoundWhereItLies)
{
    for (int i = 0; i < DMI_FIELD_COUNT; ++i) {
        const SDmiField& field = GetDmiField(static_cast<EDmiField>(i));
        EXPECT_EQ(&field, FindDmiField(field.bType, field.bOffset)) << i;
    }
    EXPECT_EQ(nullptr, FindDmiField(17, 0x15));
    // Looked up from a structure: a field of the table is named, any other place has no name.
    const BYTE array[] = {16, 7, 0, 0, 0xA3, 8, 0};
    EXPECT_EQ("PC-98/Local bus add-on card", GetDmiValueName(array, 4));
    EXPECT_EQ("", GetDmiValueName(array, 6));
    const BYTE other[] = {9, 5, 0, 0, 1};
    EXPECT_EQ("", GetDmiValueName(other, 4));
}

// The edges of each code table, the codes the standard keeps reserved between them and the fallback past them.
TEST(DmiFieldsTest, CodesFlagsAndSocketStatusAreNamed)
{
    const Named cases[] = {
        {DMI_DEVICE_MEMORY_TYPE, 0x00, ""},
        {DMI_DEVICE_MEMORY_TYPE, 0x01, "Other"},
        {DMI_DEVICE_MEMORY_TYPE, 0x14, "DDR2 FB-DIMM"},
        {DMI_DEVICE_MEMORY_TYPE, 0x15, ""},
        {DMI_DEVICE_MEMORY_TYPE, 0x17, ""},
        {DMI_DEVICE_MEMORY_TYPE, 0x18, "DDR3"},
        {DMI_DEVICE_MEMORY_TYPE, 0x22, "DDR5"},
        {DMI_DEVICE_MEMORY_TYPE, 0x24, "HBM3"},
        {DMI_DEVICE_MEMORY_TYPE, 0x25, ""},
        {DMI_DEVICE_FORM_FACTOR, 0x11, "CAMM"},
        {DMI_DEVICE_FORM_FACTOR, 0x12, ""},
        {DMI_IPMI_INTERFACE, 0x00, "Unknown"},
        {DMI_IPMI_INTERFACE, 0x04, "SMBus System Interface (SSIF)"},
        {DMI_IPMI_INTERFACE, 0x05, "other"},
        {DMI_ARRAY_LOCATION, 0x0A, "NuBus"},
        {DMI_ARRAY_LOCATION, 0x0B, ""},
        {DMI_ARRAY_LOCATION, 0xA0, "PC-98/C20 add-on card"},
        {DMI_ARRAY_LOCATION, 0xA4, "CXL add-on card"},
        {DMI_ARRAY_LOCATION, 0xA5, ""},
        {DMI_ADDON_FUNCTION, 0x02, "CPU-PDA"},
        {DMI_ADDON_FUNCTION, 0x03, "Unknown"},
        {DMI_PROCESSOR_STATUS, 0x01, "Empty Socket"},
        {DMI_PROCESSOR_STATUS, 0x43, "BIOS disabled"},
        {DMI_PROCESSOR_STATUS, 0x40, "Unknown"},
        {DMI_PROCESSOR_STATUS, 0x45, "Unknown"},
        {DMI_PROCESSOR_STATUS, 0x47, "Other"},
        // "Other" and "Unknown" say it all; other flags are listed; the reserved bit 0 adds nothing.
        {DMI_DEVICE_TYPE_DETAIL, 0x0086, "Other"},
        {DMI_DEVICE_TYPE_DETAIL, 0x0084, "Unknown"},
        {DMI_DEVICE_TYPE_DETAIL, 0x1088, "Fast-paged Synchronous Non-volatile"},
        {DMI_DEVICE_TYPE_DETAIL, 0xA000, "Registered (Buffered) LRDIMM"},
        {DMI_DEVICE_TYPE_DETAIL, 0x0001, ""},
    };
    for (const Named& named : cases)
        EXPECT_EQ(named.pszName, NameOf(named.eField, named.nValue)) << named.eField << " 0x" << std::hex << named.nValue;
}
