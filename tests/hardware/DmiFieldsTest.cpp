// The table of enumerated SMBIOS fields: each field found where it lies, its codes named from the
// first, the fallback for the others.
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

}  // namespace

// A row added at the place of another would be shadowed or shadow it.
TEST(DmiFieldsTest, EachFieldIsFoundWhereItLies)
{
    for (int i = 0; i < DMI_FIELD_COUNT; ++i) {
        const SDmiField& field = GetDmiField(static_cast<EDmiField>(i));
        EXPECT_EQ(&field, FindDmiField(field.bType, field.bOffset)) << i;
    }
    EXPECT_EQ(nullptr, FindDmiField(17, 0x15));
}

TEST(DmiFieldsTest, CodesFromTheFirstThenTheFallback)
{
    EXPECT_EQ("Other", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x01));
    EXPECT_EQ("DDR2", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x13));
    EXPECT_EQ("DDR2 FB-DIMM", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x14));
    EXPECT_EQ("", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x00));
    EXPECT_EQ("Unknown", NameOf(DMI_IPMI_INTERFACE, 0x00));
    EXPECT_EQ("SMBus System Interface (SSIF)", NameOf(DMI_IPMI_INTERFACE, 0x04));
    EXPECT_EQ("other", NameOf(DMI_IPMI_INTERFACE, 0x05));
    EXPECT_EQ("NuBus", NameOf(DMI_ARRAY_LOCATION, 0x0A));
    EXPECT_EQ("", NameOf(DMI_ARRAY_LOCATION, 0x0B));
    EXPECT_EQ("PC-98/C20 add-on card", NameOf(DMI_ARRAY_LOCATION, 0xA0));
    EXPECT_EQ("CXL add-on card", NameOf(DMI_ARRAY_LOCATION, 0xA4));
    EXPECT_EQ("", NameOf(DMI_ARRAY_LOCATION, 0xA5));
    EXPECT_EQ("CPU-PDA", NameOf(DMI_ADDON_FUNCTION, 0x02));
    EXPECT_EQ("Unknown", NameOf(DMI_ADDON_FUNCTION, 0x03));
}

TEST(DmiFieldsTest, SocketStatusAndTypeDetailFlags)
{
    EXPECT_EQ("Empty Socket", NameOf(DMI_PROCESSOR_STATUS, 0x01));
    EXPECT_EQ("BIOS disabled", NameOf(DMI_PROCESSOR_STATUS, 0x43));
    EXPECT_EQ("Unknown", NameOf(DMI_PROCESSOR_STATUS, 0x40));
    EXPECT_EQ("Unknown", NameOf(DMI_PROCESSOR_STATUS, 0x45));
    EXPECT_EQ("Other", NameOf(DMI_PROCESSOR_STATUS, 0x47));
    EXPECT_EQ("Other", NameOf(DMI_DEVICE_TYPE_DETAIL, 0x0086));
    EXPECT_EQ("Unknown", NameOf(DMI_DEVICE_TYPE_DETAIL, 0x0084));
    EXPECT_EQ("Fast-paged Synchronous Non-volatile", NameOf(DMI_DEVICE_TYPE_DETAIL, 0x1088));
    EXPECT_EQ("Synchronous Registered (Buffered)", NameOf(DMI_DEVICE_TYPE_DETAIL, 0x2080));
    EXPECT_EQ("Synchronous Unbuffered (Unregistered)", NameOf(DMI_DEVICE_TYPE_DETAIL, 0x4080));
    EXPECT_EQ("Registered (Buffered) LRDIMM", NameOf(DMI_DEVICE_TYPE_DETAIL, 0xA000));
    // The reserved bit 0 adds nothing.
    EXPECT_EQ("", NameOf(DMI_DEVICE_TYPE_DETAIL, 0x0001));
}

// The memory types of today's modules, and the codes the standard keeps reserved between them.
TEST(DmiFieldsTest, CurrentMemoryTypesAndFormFactors)
{
    EXPECT_EQ("", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x15));
    EXPECT_EQ("", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x17));
    EXPECT_EQ("DDR3", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x18));
    EXPECT_EQ("DDR4", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x1A));
    EXPECT_EQ("LPDDR4", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x1E));
    EXPECT_EQ("DDR5", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x22));
    EXPECT_EQ("LPDDR5", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x23));
    EXPECT_EQ("HBM3", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x24));
    EXPECT_EQ("", NameOf(DMI_DEVICE_MEMORY_TYPE, 0x25));
    EXPECT_EQ("SRIMM", NameOf(DMI_DEVICE_FORM_FACTOR, 0x0E));
    EXPECT_EQ("FB-DIMM", NameOf(DMI_DEVICE_FORM_FACTOR, 0x0F));
    EXPECT_EQ("Die", NameOf(DMI_DEVICE_FORM_FACTOR, 0x10));
    EXPECT_EQ("CAMM", NameOf(DMI_DEVICE_FORM_FACTOR, 0x11));
    EXPECT_EQ("", NameOf(DMI_DEVICE_FORM_FACTOR, 0x12));
}
