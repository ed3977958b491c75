// The SMBIOS table: finding the entry point in the BIOS area and walking the structures, over
// dumps and raw BIOS area images in lab profiles.
#include "src/hardware/SMBios.h"

#include "tests/support/FirmwareProfile.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CFirmwareProfile;
using testsupport::EntryPoint;
using testsupport::SmbiosStructure;

namespace {

const std::vector<SmbiosStructure> kMemory = {
    {0, 0x0000, {1, 2, 0x00, 0xF0, 3, 0x0F}, {"Brennock", "H420.2.14.0", "04/17/2009"}},
    {17, 0x1100, {0x00, 0x10}, {"DIMM 1A", "Branch 0"}},
    {17, 0x1101, {0x00, 0x10}, {}},
    {127, 0x7F00, {}, {}}};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A raw BIOS area (from 0xE0000) with entry points placed at offsets, the table at 0x7FF00000.
class BiosAreaTest : public ::testing::Test {
protected:
    void Place(size_t offset, const std::vector<uint8_t>& bytes)
    {
        if (m_area.size() < offset + bytes.size())
            m_area.resize(offset + bytes.size(), 0);
        std::copy(bytes.begin(), bytes.end(), m_area.begin() + offset);
    }
    std::string Connect(DWORD dwExpected = 1)
    {
        m_server.Write("firmware/bios-area.bin", m_area);
        m_server.Write("firmware/table.bin", m_table);
        m_server.Write("lab.ini", "[Firmware]\nMemory=0x7FF00000 firmware/table.bin\n");
        m_server.Reload();
        CTraceFile trace(m_server.Profile().Scratch() + "/trace.txt", 6);
        m_pSmbios.reset(new CSMBios);
        EXPECT_EQ(dwExpected, m_pSmbios->Connect());
        return trace.Take();
    }

    CFirmwareProfile m_server;
    std::vector<uint8_t> m_area;
    std::vector<uint8_t> m_table = testsupport::SmbiosTable(kMemory);
    std::unique_ptr<CSMBios> m_pSmbios;
};

}  // namespace

TEST_F(BiosAreaTest, AnchorOffTheParagraphIsIgnored)
{
    Place(0x1008, EntryPoint(0x7FF00000, m_table.size(), kMemory.size()));
    std::string trace = Connect();
    EXPECT_TRUE(Contains(trace, "\n\nCSMBios (Connect)   : ## ERROR! No DMI structures found!\n"));
    EXPECT_EQ(255, m_pSmbios->GetMajorVersion());
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(0, 0));
}

TEST_F(BiosAreaTest, BadChecksumIsPassedForALaterGoodEntryPoint)
{
    std::vector<uint8_t> bad = EntryPoint(0x7FF00000, m_table.size(), 1, 2, 3);
    bad[4] ^= 1;
    Place(0x10000, bad);
    Place(0x1FA00, EntryPoint(0x7FF00000, m_table.size(), kMemory.size(), 2, 5));
    std::string trace = Connect();
    EXPECT_TRUE(Contains(trace, "\n\nScan_SM_DMI         : ## CHECKSUM ERROR in DMI structure header!\n"));
    EXPECT_TRUE(Contains(trace, "\nScan_SM_DMI         : Dump of SM BIOS header:"
                                "\nScan_SM_DMI         :   5F 53 4D 5F "));
    EXPECT_TRUE(Contains(trace, "\nScan_SM_DMI         :   DMI Version:    2.5 (BCD Rev: 25)"
                                "\nScan_SM_DMI         :   anchor string:  _SM_") ||
                Contains(trace, "\nScan_SM_DMI         : Checksum OK"));
    EXPECT_EQ(2, m_pSmbios->GetMajorVersion());
    EXPECT_EQ(5, m_pSmbios->GetMinorVersion());

    // Two memory devices in table order, and no third.
    const BYTE* pFirst = m_pSmbios->getDmiStructureByType(17, 0);
    const BYTE* pSecond = m_pSmbios->getDmiStructureByType(17, 1);
    ASSERT_NE(nullptr, pFirst);
    ASSERT_NE(nullptr, pSecond);
    EXPECT_EQ(0x1100, pFirst[2] | pFirst[3] << 8);
    EXPECT_EQ(0x1101, pSecond[2] | pSecond[3] << 8);
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(17, 2));

    EXPECT_STREQ("Branch 0", m_pSmbios->getDmiString(pFirst, 2));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiString(pFirst, 0));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiString(pFirst, 3));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiString(pSecond, 1));
    EXPECT_STREQ("04/17/2009", m_pSmbios->getDmiString(m_pSmbios->getDmiStructureByType(0, 0), 3));
}

TEST_F(BiosAreaTest, TableShorterThanItsCountKeepsWhatWasWhole)
{
    // Six structures announced, four in the table, the last of them cut in its strings.
    std::vector<uint8_t> table = m_table;
    table.resize(table.size() - 1);
    m_table = table;
    Place(0x0, EntryPoint(0x7FF00000, table.size(), 6));
    std::string trace = Connect();
    EXPECT_TRUE(Contains(trace, "\nScanSMDmi           : !!! NO END OF STRUCTURE FOUND, POINTER BEYOND END !!!"
                                "\nScanSMDmi           : !!! DMI SRTUCTURES INCOMPLETE !!!"));
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(17, 1));
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(127, 0));

    // A structure whose formatted area runs past the table is not filed at all.
    m_table = testsupport::SmbiosTable({{4, 0x400, std::vector<uint8_t>(40, 0), {}}});
    m_table.resize(20);
    Place(0x0, EntryPoint(0x7FF00000, m_table.size(), 1));
    trace = Connect();
    EXPECT_TRUE(Contains(trace, "\nScanSMDmi           : !!! STURCTURE REACHES BEYOND END !!!"));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(4, 0));
}

TEST_F(BiosAreaTest, TableStartingPastItsEndIsAFailure)
{
    // The table announces two structures but its length ends right after the first.
    std::vector<uint8_t> table = testsupport::SmbiosTable({kMemory[3]});
    m_table = table;
    Place(0x0, EntryPoint(0x7FF00000, table.size(), 2));
    std::string trace = Connect(0);
    EXPECT_TRUE(Contains(trace, "## FATAL ERROR! pDmiStructure"));
}

TEST(SMBiosTest, DumpIsFoundAndItsStructuresFiled)
{
    CFirmwareProfile server;
    server.Write("firmware/smbios.bin", testsupport::SmbiosDump(kMemory));
    server.Reload();
    CTraceFile trace(server.Profile().Scratch() + "/trace.txt", 6);
    {
        CSMBios smbios;
        EXPECT_EQ(1u, smbios.Connect());
        EXPECT_NE(nullptr, smbios.getDmiStructureByType(0, 0));
    }
    std::string text = trace.Take();
    EXPECT_TRUE(Contains(text, "\nEnterStructList     :   enter structure Type=0, Length=10, Handle=0"
                               "\nEnterStructList     :     struct address 0x"));
    EXPECT_TRUE(Contains(text, "\nEnterStructList     :     Header : 00 0A 00 00"
                               "\nEnterStructList     :     Data   : 01 02 00 F0 03 0F"
                               "\nEnterStructList     :     create new struct entry"));
    EXPECT_TRUE(Contains(text, "\nEnterStructList     :     struct already available, add entry"));
    EXPECT_TRUE(Contains(text, "\nScanSMDmi (string)  :     Brennock\nScanSMDmi (string)  :     H420.2.14.0\n"));
    EXPECT_TRUE(Contains(text, "\n~CDmiData           : Struct 017 Nr 2"));
    EXPECT_TRUE(Contains(text, "\nCSMBios (Disconnect): Disconnected"));
}

TEST(SMBiosTest, NoDriverNoConnection)
{
    CFirmwareProfile server("", false);
    CTraceFile trace(server.Profile().Scratch() + "/trace.txt", 1);
    CSMBios smbios;
    EXPECT_EQ(0u, smbios.Connect());
    EXPECT_EQ("\n\nCSMBios (Connect)   : ## ERROR! Could not connect to BIOS device (0x00000002)!\n", trace.Take());

    CFirmwareProfile failing("[Firmware]\nMapFails=0x7FFBE000\n");
    failing.Write("firmware/smbios.bin", testsupport::SmbiosDump(kMemory));
    failing.Reload();
    CSMBios mapless;
    EXPECT_EQ(0u, mapless.Connect());
}

TEST(SMBiosTest, TypeNames)
{
    EXPECT_STREQ("Memory Device", CSMBios::GetDmiTypeName(17));
    EXPECT_STREQ("System Power Supply", CSMBios::GetDmiTypeName(39));
    EXPECT_STREQ("", CSMBios::GetDmiTypeName(40));
    EXPECT_STREQ("Memory Device Add-ons", CSMBios::GetDmiTypeName(190));
    EXPECT_STREQ("System Board Config", CSMBios::GetDmiTypeName(208));
    EXPECT_STREQ("", CSMBios::GetDmiTypeName(255));
}

// Firmware with only the 64-bit entry point: no structure count, the walk ends at the
// end-of-table structure or at the table's maximum size.
TEST_F(BiosAreaTest, SixtyFourBitEntryPointAlone)
{
    std::vector<uint8_t> table = m_table;
    m_table.insert(m_table.end(), {0x55, 0x04, 0x00, 0x55, 0, 0});  // after type 127: not walked
    Place(0x1FA00, testsupport::EntryPoint64(0x7FF00000, static_cast<uint32_t>(m_table.size()), 3, 5));
    std::string trace = Connect();
    EXPECT_TRUE(Contains(trace, "\nScanForDmi          : _SM3_ found (SM BIOS >= 3.0) at "));
    EXPECT_TRUE(Contains(trace, "\nScan_SM3_DMI        : Checksum OK"));
    EXPECT_TRUE(Contains(trace, "\nScan_SM3_DMI        : Dump of SM BIOS 3 header:"
                                "\nScan_SM3_DMI        :   5F 53 4D 33 5F "));
    EXPECT_EQ(3, m_pSmbios->GetMajorVersion());
    EXPECT_EQ(5, m_pSmbios->GetMinorVersion());
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(0, 0));
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(17, 1));
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(127, 0));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(0x55, 0));
    EXPECT_FALSE(Contains(trace, "INCOMPLETE"));

    // Without an end-of-table structure the maximum size ends the walk, without a fault.
    m_table = testsupport::SmbiosTable({kMemory[0], kMemory[1]});
    Place(0x1FA00, testsupport::EntryPoint64(0x7FF00000, static_cast<uint32_t>(m_table.size())));
    trace = Connect();
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(17, 0));
    EXPECT_FALSE(Contains(trace, "!!!"));

    // A maximum size that ends inside a structure's strings keeps the structures before it.
    m_table = table;
    Place(0x1FA00, testsupport::EntryPoint64(0x7FF00000, static_cast<uint32_t>(table.size() - 8)));
    trace = Connect();
    EXPECT_TRUE(Contains(trace, "\nScanSMDmi           : !!! DMI SRTUCTURES INCOMPLETE !!!"));
    EXPECT_FALSE(Contains(trace, "DROPPED"));
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(17, 0));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(127, 0));
}

TEST_F(BiosAreaTest, SixtyFourBitEntryPointMustBeWhole)
{
    // A bad checksum, and one too short to cover its own table address, are both passed over.
    std::vector<uint8_t> bad = testsupport::EntryPoint64(0x7FF00000, static_cast<uint32_t>(m_table.size()));
    bad[0x0C] ^= 1;
    Place(0x100, bad);
    std::vector<uint8_t> shortened = testsupport::EntryPoint64(0x7FF00000, static_cast<uint32_t>(m_table.size()));
    shortened[6] = 0x10;
    testsupport::FixChecksum(shortened, 0, 0x10, 5);
    Place(0x200, shortened);
    std::string trace = Connect();
    EXPECT_TRUE(Contains(trace, "\n\nScan_SM3_DMI        : ## CHECKSUM ERROR in DMI structure header (length 24)!\n"));
    EXPECT_TRUE(Contains(trace, "\n\nScan_SM3_DMI        : ## CHECKSUM ERROR in DMI structure header (length 16)!\n"));
    EXPECT_EQ(255, m_pSmbios->GetMajorVersion());
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(0, 0));

    // An anchor in the area's last bytes is read no further than the area.
    m_area.assign(0x20000, 0);
    Place(0x1FFE0, {'_', 'S', 'M', '3', '_', 0, 0x18});
    Connect();
    EXPECT_EQ(255, m_pSmbios->GetMajorVersion());
}

TEST_F(BiosAreaTest, BothEntryPointsUseTheThirtyTwoBitOne)
{
    // The 64-bit one comes first and points at a table of its own; the 32-bit one wins.
    std::vector<uint8_t> other = testsupport::SmbiosTable({{4, 0x400, std::vector<uint8_t>(0x16, 0), {}}});
    Place(0x100, testsupport::EntryPoint64(0x7FF00000 + 0x1000, static_cast<uint32_t>(other.size())));
    Place(0x1FA00, EntryPoint(0x7FF00000, m_table.size(), kMemory.size(), 2, 8));
    m_table.resize(0x1000, 0);
    m_table.insert(m_table.end(), other.begin(), other.end());
    Connect();
    EXPECT_EQ(2, m_pSmbios->GetMajorVersion());
    EXPECT_EQ(8, m_pSmbios->GetMinorVersion());
    EXPECT_NE(nullptr, m_pSmbios->getDmiStructureByType(17, 0));
    EXPECT_EQ(nullptr, m_pSmbios->getDmiStructureByType(4, 0));
}
