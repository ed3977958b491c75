// The system hardware check: the System subtree it writes for lab servers' firmware.
#include "src/hardware/CheckSystem.h"

#include "tests/support/FirmwareProfile.h"
#include "tests/support/ReportText.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CFirmwareProfile;
using testsupport::SmbiosStructure;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::vector<uint8_t> Word(unsigned value)
{
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

// A type 17 structure with the given size word and type detail (SMBIOS 2.3 layout, 27 bytes).
SmbiosStructure MemoryDevice(uint16_t handle, unsigned size, unsigned detail, bool bWithSpeed = true)
{
    std::vector<uint8_t> data = {0x00, 0x10, 0xFE, 0xFF, 72, 0, 64, 0};
    auto sizeWord = Word(size);
    data.insert(data.end(), sizeWord.begin(), sizeWord.end());
    data.insert(data.end(), {9, 1, 1, 2, 0x13});
    auto detailWord = Word(detail);
    data.insert(data.end(), detailWord.begin(), detailWord.end());
    if (bWithSpeed)
        data.insert(data.end(), {0x9B, 0x02, 0, 0, 0, 0});
    return {17, handle, data, {"DIMM", "Bank"}};
}

SmbiosStructure Processor(uint16_t handle, uint8_t family, uint32_t id, uint8_t status)
{
    std::vector<uint8_t> data(0x1A - 4, 0);
    data[0] = 1;  // socket string
    data[1] = 3;
    data[2] = family;
    for (int i = 0; i < 4; ++i)
        data[4 + i] = static_cast<uint8_t>(id >> (8 * i));
    data[0x14 - 4] = 0xB8;  // max speed 3000
    data[0x15 - 4] = 0x0B;
    data[0x16 - 4] = 0x1D;  // current speed 2333
    data[0x17 - 4] = 0x09;
    data[0x18 - 4] = status;
    return {4, handle, data, {"CPU1"}};
}

class CheckSystemTest : public ::testing::Test {
protected:
    std::string Run(const std::vector<SmbiosStructure>& structures, const std::string& pir = "",
                    const std::string& pci = "")
    {
        return RunDump(testsupport::SmbiosDump(structures), pir, pci);
    }
    std::string RunDump(const std::vector<uint8_t>& dump, const std::string& pir = "", const std::string& pci = "")
    {
        m_server.Write("firmware/smbios.bin", dump);
        m_server.Write("firmware/pir.ini", pir);
        m_server.Write("firmware/pci.txt", pci);
        m_server.Reload();
        CXmlDocument doc;
        testsupport::StartReport(doc);
        EXPECT_EQ(0u, CheckSystem(m_report, doc));
        EXPECT_TRUE(doc.CheckWellFormed());
        return doc.GetText();
    }

    CFirmwareProfile m_server;
    CDiagReport m_report{std::vector<DiagStep>{}};
};

}  // namespace

TEST_F(CheckSystemTest, MemoryDeviceSizesUnitsAndDetails)
{
    std::string text = Run({MemoryDevice(1, 0xFFFF, 0x0080), MemoryDevice(2, 0x8200, 0x0280),
                            MemoryDevice(3, 0x0400, 0x0002, false), {127, 9, {}, {}}});
    EXPECT_TRUE(Contains(text, "<Entry Handle=\"1\">\r\n<ArrayHandle>4096</ArrayHandle>\r\n"
                               "<ErrorHandle>65534</ErrorHandle>\r\n<TotalWidth>72</TotalWidth>\r\n"
                               "<DataWidth>64</DataWidth>\r\n<FormFactor>DIMM</FormFactor>\r\n"
                               "<DeviceSet>1</DeviceSet>\r\n<DeviceLocator>DIMM</DeviceLocator>\r\n"
                               "<BankLocator>Bank</BankLocator>\r\n<MemoryType>DDR2</MemoryType>\r\n"
                               "<TypeDetail>Synchronous</TypeDetail>\r\n<Speed Unit=\"MHz\">667</Speed>\r\n</Entry>"));
    EXPECT_TRUE(Contains(text, "<Size Unit=\"KByte\">512</Size>"));
    EXPECT_TRUE(Contains(text, "<TypeDetail>Synchronous EDO</TypeDetail>"));
    EXPECT_TRUE(Contains(text, "<Size Unit=\"MByte\">1024</Size>\r\n<FormFactor>DIMM</FormFactor>"));
    EXPECT_TRUE(Contains(text, "<TypeDetail>Other</TypeDetail>\r\n</Entry>"));  // no speed in a short structure
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t nCount = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++nCount;
    return nCount;
}

// A per-type count of one byte would wrap: every structure of a large table is reported.
TEST_F(CheckSystemTest, MoreThan255StructuresOfOneType)
{
    for (int nDevices : {255, 256, 300}) {
        std::vector<SmbiosStructure> structures;
        for (int i = 0; i < nDevices; ++i)
            structures.push_back(MemoryDevice(static_cast<uint16_t>(0x1100 + i), 0x0400, 0x0002));
        structures.push_back({127, 0x7F00, {}, {}});
        EXPECT_EQ(Count(Run(structures), "<DeviceLocator>"), static_cast<size_t>(nDevices)) << nDevices;
    }
}

// Structures shorter than a header end the table; what came before them stays, and the rest is traced.
TEST_F(CheckSystemTest, ATailOfZeroLengthStructuresIsDroppedAndTraced)
{
    const std::vector<SmbiosStructure> structures = {
        {0, 0x0000, {1, 2, 0x00, 0xF0, 3, 0x0F}, {"Brennock", "H420.2.14.0", "04/17/2009"}},
        MemoryDevice(1, 0x0400, 0x0002)};
    std::vector<uint8_t> table = testsupport::SmbiosTable(structures);
    table.resize(table.size() + 2 * 255, 0);  // 255 structures of type 0, length 0, no strings
    std::vector<uint8_t> dump = testsupport::EntryPoint(0x20, table.size(), structures.size() + 255);
    dump.resize(0x20, 0);
    dump.insert(dump.end(), table.begin(), table.end());
    CTraceFile trace(m_server.Profile().Scratch() + "/trace.txt", 1);
    std::string text = RunDump(dump);
    EXPECT_TRUE(Contains(text, "H420.2.14.0")) << text;
    EXPECT_EQ(Count(text, "<DeviceLocator>"), 1u);
    std::string lines = trace.Take();
    EXPECT_TRUE(Contains(lines, "ScanSMDmi           : !!! STRUCTURE 3 TYPE 0 HAS LENGTH 0 !!!")) << lines;
    EXPECT_TRUE(Contains(lines, "ScanSMDmi           : !!! 255 OF 257 STRUCTURES DROPPED !!!")) << lines;
}

TEST_F(CheckSystemTest, ProcessorIdsAndStatus)
{
    std::string text = Run({Processor(0x400, 0xB8, 0x1F020700, 0x41), Processor(0x401, 0xB3, 0x000006F6, 0x03),
                            Processor(0x402, 0xB3, 0, 0x44)});
    EXPECT_TRUE(Contains(text, "<Entry Handle=\"1024\">\r\n<Socket>CPU1</Socket>\r\n<Status>Enabled</Status>\r\n"
                               "<Type>3</Type>\r\n<Family>31</Family>\r\n<Model>2</Model>\r\n<Step>7</Step>\r\n"
                               "<CurrentSpeed>2333</CurrentSpeed>\r\n<MaxSpeed>3000</MaxSpeed>"));
    EXPECT_TRUE(Contains(text, "<Status>Empty Socket</Status>\r\n<Type>3</Type>\r\n<Family>6</Family>\r\n"
                               "<Model>15</Model>\r\n<Step>6</Step>"));
    EXPECT_TRUE(Contains(text, "<Entry Handle=\"1026\">\r\n<Socket>CPU1</Socket>\r\n<Status>Idle</Status>"));
    EXPECT_TRUE(Contains(text, "<Processor>\r\n<CPU>\r\n<SocketDesignation>CPU1</SocketDesignation>\r\n<Model>\r\n"
                               "<BrandName/>\r\n</Model>\r\n<Speed>2333</Speed>\r\n</CPU>"));
}

TEST_F(CheckSystemTest, ArraysIpmiAndOemStructures)
{
    std::vector<uint8_t> array = {3, 3, 6, 0x00, 0x00, 0x00, 0x80, 0xFE, 0xFF, 4, 0};
    std::string text = Run({{16, 0x1000, array, {}},
                            {38, 0x2600, {1, 0x20, 0x20, 0xFF, 0xA3, 0x0C, 0, 0, 0, 0, 0, 0, 0x40, 0}, {}},
                            {176, 0xB000, {1, 0, 0x51, 0x0A}, {}},
                            {188, 0xBC00, {'0', '2', '4', 'H'}, {}},
                            {190, 0xBE00, {0, 3, 0x06, 0x11, 1, 0x02, 0x11, 7}, {}},
                            {190, 0xBE01, {1, 3}, {}},
                            {190, 0xBE02, {2, 3, 0, 0x00, 0x04, 4, 0x01, 0x04}, {}},
                            {190, 0xBE03, {2, 4, 0, 0x00, 0x04}, {}},
                            {2, 0x0200, {1, 2, 0, 0}, {"Brennock", "BK4471\aC12"}}});
    EXPECT_TRUE(Contains(text, "<Type16 Name=\"Physical Memory Array\">\r\n<Entry>\r\n<Handle>65534</Handle>\r\n"
                               "<Location>System board or motherboard</Location>\r\n<Use>System memory</Use>\r\n"
                               "<ErrorCorrection>Multi-bit ECC</ErrorCorrection>\r\n"
                               "<NumberMemDevices>4</NumberMemDevices>"));
    EXPECT_TRUE(Contains(text, "<Type176 Name=\"OMF Board ID\">\r\n<BoardId>a51</BoardId>\r\n</Type176>\r\n"
                               "<Type38 Name=\"IPMI Information\">\r\n<Interface>Keyboard Controller Style (KCS)"
                               "</Interface>\r\n<Revision>2.0</Revision>\r\n<SlaveAddress>20</SlaveAddress>\r\n"
                               "</Type38>\r\n<Type188 Name=\"BIOS Identification\">\r\n<Identifier>H420</Identifier>"));
    EXPECT_TRUE(Contains(text, "<Entry>\r\n<Hotspare>\r\n<Entry Handle=\"4358\">\r\n<Status>hotspare</Status>\r\n"
                               "</Entry>\r\n<Entry Handle=\"4354\">\r\n<Status>Unknonw</Status>\r\n</Entry>\r\n"
                               "</Hotspare>\r\n</Entry>\r\n<Entry>\r\n<Scrubbing>\r\n<Runs>3</Runs>\r\n</Scrubbing>"));
    EXPECT_TRUE(Contains(text, "<CPU-PDA>\r\n<Entry Handle=\"1024\">\r\n<Handle>1024</Handle>\r\n<APICId>0</APICId>"
                               "\r\n</Entry>\r\n<Entry Handle=\"1025\">\r\n<Handle>1025</Handle>\r\n"
                               "<APICId>4</APICId>"));
    // Records that do not divide the structure are left out.
    EXPECT_TRUE(Contains(text, "<Entry>\r\n<CPU-PDA/>\r\n</Entry>\r\n</Type190>"));
    EXPECT_FALSE(Contains(text, "<Type1 "));
    // A control character cannot go into the report; it shows as '.'.
    EXPECT_TRUE(Contains(text, "<Type2 Name=\"Baseboard Information\">\r\n<Name>BK4471.C12</Name>\r\n"
                               "<Vendor>Brennock</Vendor>\r\n</Type2>"));
    EXPECT_TRUE(Contains(text, "<BIOS>\r\n<Version/>\r\n<SMBIOS Version=\"2.5\">"));
}

// Structures of the 3.x layouts: what the old fields can no longer hold stands in the wider ones.
TEST_F(CheckSystemTest, WidenedFieldsOfCurrentFirmware)
{
    auto Put = [](std::vector<uint8_t>& data, size_t offset, uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            data[offset - 4 + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    // A Haswell-EP id (model 63), 0xFF counts with 16-bit successors, and a Zen 3 id through the
    // second family field.
    SmbiosStructure xeon = Processor(0x400, 0xB3, 0x000306F2, 0x41);
    xeon.data.resize(0x30 - 4, 0);
    Put(xeon.data, 0x23, 0xFFFFFF, 3);
    Put(xeon.data, 0x2A, 300, 2);
    Put(xeon.data, 0x2C, 290, 2);
    Put(xeon.data, 0x2E, 580, 2);
    SmbiosStructure zen = Processor(0x401, 0xFE, 0x00A20F10, 0x41);
    zen.data.resize(0x2A - 4, 0);
    Put(zen.data, 0x23, 0x100C0C, 3);
    Put(zen.data, 0x28, 0x6B, 2);
    SmbiosStructure itanium = Processor(0x402, 0xFE, 0x1F020700, 0x47);
    itanium.data.resize(0x2A - 4, 0);
    Put(itanium.data, 0x28, 0xB8, 2);

    // A 64 GB DDR5 module at 5600 MT/s (3.3 layout), a 32 GB one in the 2.7 layout, and a
    // 2.3 structure whose 0x7FFF cannot be widened.
    SmbiosStructure ddr5 = MemoryDevice(0x1100, 0x7FFF, 0x4080);
    ddr5.data.resize(0x5C - 4, 0);
    ddr5.data[0x12 - 4] = 0x22;
    Put(ddr5.data, 0x15, 0xFFFF, 2);
    Put(ddr5.data, 0x1C, 65536, 4);
    Put(ddr5.data, 0x54, 5600, 4);
    SmbiosStructure ddr4 = MemoryDevice(0x1101, 0x7FFF, 0x2080);
    ddr4.data.resize(0x22 - 4, 0);
    ddr4.data[0x12 - 4] = 0x1A;
    Put(ddr4.data, 0x1C, 32768, 4);
    SmbiosStructure old = MemoryDevice(0x1102, 0x7FFF, 0x0080);

    std::vector<uint8_t> array = {3, 3, 6, 0x00, 0x00, 0x00, 0x80, 0xFE, 0xFF, 24, 0};
    for (int i = 0; i < 8; ++i)
        array.push_back(static_cast<uint8_t>((3ull << 40) >> (8 * i)));  // 3 TB
    std::vector<uint8_t> shortArray(array.begin(), array.begin() + 11);

    std::string text = Run({xeon, zen, itanium, {16, 0x1000, array, {}}, {16, 0x1001, shortArray, {}}, ddr5, ddr4,
                            old, {127, 0x7F00, {}, {}}});
    EXPECT_TRUE(Contains(text, "<Family>6</Family>\r\n<Model>63</Model>\r\n<Step>2</Step>\r\n"
                               "<CurrentSpeed>2333</CurrentSpeed>\r\n<MaxSpeed>3000</MaxSpeed>\r\n"
                               "<CoreCount>300</CoreCount>\r\n<CoreEnabled>290</CoreEnabled>\r\n"
                               "<ThreadCount>580</ThreadCount>\r\n</Entry>"));
    EXPECT_TRUE(Contains(text, "<Family>25</Family>\r\n<Model>33</Model>\r\n<Step>0</Step>\r\n"
                               "<CurrentSpeed>2333</CurrentSpeed>\r\n<MaxSpeed>3000</MaxSpeed>\r\n"
                               "<CoreCount>12</CoreCount>\r\n<CoreEnabled>12</CoreEnabled>\r\n"
                               "<ThreadCount>16</ThreadCount>"));
    EXPECT_TRUE(Contains(text, "<Status>Other</Status>\r\n<Type>3</Type>\r\n<Family>31</Family>\r\n<Model>2</Model>"));
    EXPECT_TRUE(Contains(text, "<MaxCapacity Unit=\"MByte\">3145728</MaxCapacity>\r\n<NumberMemDevices>24<"));
    EXPECT_EQ(1u, Count(text, "<MaxCapacity"));
    EXPECT_TRUE(Contains(text, "<Size Unit=\"MByte\">65536</Size>"));
    EXPECT_TRUE(Contains(text, "<MemoryType>DDR5</MemoryType>\r\n<TypeDetail>Synchronous Unbuffered (Unregistered)"
                               "</TypeDetail>\r\n<Speed Unit=\"MHz\">5600</Speed>"));
    EXPECT_TRUE(Contains(text, "<Size Unit=\"MByte\">32768</Size>"));
    EXPECT_TRUE(Contains(text, "<MemoryType>DDR4</MemoryType>\r\n<TypeDetail>Synchronous Registered (Buffered)"));
    EXPECT_TRUE(Contains(text, "<Size Unit=\"MByte\">32767</Size>"));
}

TEST_F(CheckSystemTest, PciDevicesWithSlotsNamesAndBridges)
{
    std::string pci =
        "00:1e.0 PCI bridge\n"
        "00: 86 80 4e 24 07 01 10 00 d9 01 04 06 10 00 01 00\n"
        "10: 00 00 00 00 00 00 00 00 00 05 05 00 00 00 00 00\n"
        "20: 00 00 00 00 00 00 00 00 00 00 00 00 11 11 22 22\n"
        "30: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
        "00:1f.0 absent\n"
        "00: ff ff ff ff 00 00 00 00 00 00 00 00 00 00 00 00\n"
        "05:02.0 Ethernet controller\n"
        "00: 86 80 5e 10 47 01 10 00 06 00 00 02 10 00 80 00\n"
        "20: 00 00 00 00 00 00 00 00 00 00 00 00 55 55 5e 11\n"
        "05:03.0 Something odd\n"
        "00: 86 80 34 12 47 01 10 00 06 00 00 12 10 00 00 00\n";
    m_server.Write("Adapter.ini", "[8086]\nVendor=Intel Corporation\n105E=82571EB Gigabit\n105E115E=PRO/1000 PT\n");
    char szHere[MAX_PATH];
    GetCurrentDirectoryA(sizeof szHere, szHere);
    SetCurrentDirectoryA(m_server.Profile().Dir().c_str());
    std::string text = Run({{127, 0x7F00, {}, {}}}, "[Table]\nAddress=0xF0000\nEntry=0 30 3\n", pci);
    SetCurrentDirectoryA(szHere);
    EXPECT_TRUE(Contains(text, "<PCIDevices>\r\n<Device Bus=\"0\" Device=\"30\" Function=\"0\">\r\n<ConfigSpace>\r\n"
                               "<Revision>D9</Revision>\r\n<VendorId>8086</VendorId>\r\n<SubVendorId>0000</SubVendorId>"
                               "\r\n<DeviceId>244E</DeviceId>\r\n<SubDeviceId>0000</SubDeviceId>\r\n"
                               "<BaseClass>Bridge device</BaseClass>\r\n<SubClass>PCI-to-PCI bridge</SubClass>\r\n"
                               "</ConfigSpace>\r\n<Slot>3</Slot>\r\n<VendorName>Intel Corporation</VendorName>\r\n"
                               "<SubVendorName>Intel Corporation</SubVendorName>\r\n</Device>\r\n"));
    // Behind the bridge in slot 3; a subsystem vendor without a section gives the vendor's name.
    EXPECT_TRUE(Contains(text, "<Device Bus=\"5\" Device=\"2\" Function=\"0\">\r\n<ConfigSpace>\r\n"
                               "<Revision>06</Revision>\r\n<VendorId>8086</VendorId>\r\n"
                               "<SubVendorId>5555</SubVendorId>\r\n<DeviceId>105E</DeviceId>\r\n"
                               "<SubDeviceId>115E</SubDeviceId>\r\n<BaseClass>Network controller</BaseClass>\r\n"
                               "<SubClass>Ethernet controller</SubClass>\r\n</ConfigSpace>\r\n<Slot>3</Slot>\r\n"
                               "<VendorName>Intel Corporation</VendorName>\r\n<SubVendorName>Intel Corporation"
                               "</SubVendorName>\r\n<DeviceName>PRO/1000 PT</DeviceName>\r\n</Device>"));
    EXPECT_TRUE(Contains(text, "<BaseClass>Unknown</BaseClass>\r\n<SubClass>Unknown</SubClass>"));
    EXPECT_FALSE(Contains(text, "Device=\"31\""));
    EXPECT_TRUE(Contains(text, "<IRQRouting Version=\"1.0\" Size=\"48\" Entries=\"1\">\r\n"
                               "<Entry Bus=\"0\" Device=\"30\">\r\n<Slot>3</Slot>\r\n</Entry>\r\n</IRQRouting>"));
}

TEST_F(CheckSystemTest, WithoutTheDriverOneErrorAndEmptyPasses)
{
    CFirmwareProfile server("", false);
    server.Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System]\r\n"
                                 "\"SystemBiosVersion\"=hex(7):42,00,52,00,4e,00,00,00,52,00,33,00,00,00,00,00\r\n");
    server.Reload();
    CXmlDocument doc;
    testsupport::StartReport(doc);
    CDiagReport report{std::vector<DiagStep>{}};
    EXPECT_EQ(0u, CheckSystem(report, doc));
    std::string text = doc.GetText();
    EXPECT_TRUE(Contains(text, "<System>\r\n<BIOS>\r\n<Version>R3</Version>\r\n</BIOS>\r\n<Processor/>\r\n"
                               "<PCIDevices/>\r\n</System>"))
        << text;
    EXPECT_EQ(1u, report.m_dwErrors);
}
