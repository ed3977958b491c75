// The board driver's devices and the PCI slot mapping, against the lab's driver and firmware.
#include "src/hardware/Device.h"

#include "tests/support/FirmwareProfile.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testsupport::CFirmwareProfile;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(DeviceTest, DevicesExistOnlyWhileTheDriverRuns)
{
    CFirmwareProfile stopped("", false);
    CDeviceBios bios;
    EXPECT_FALSE(bios.Connect());
    EXPECT_EQ(2u, bios.LastError());
    // Without a handle nothing reaches the platform and the first error stays.
    EXPECT_FALSE(bios.IoControl(IOCTL_VXBIOS_INTERFACE, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(2u, bios.LastError());
    CDeviceBusIo never;
    EXPECT_FALSE(never.IoControl(IOCTL_VXBUSIO_READ_HEADER, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(6u, never.LastError());
    EXPECT_TRUE(never.Disconnect());

    CFirmwareProfile running;
    CDeviceBusIo busIo;
    EXPECT_TRUE(busIo.Connect());
    EXPECT_TRUE(bios.Connect());
    EXPECT_TRUE(bios.IsSmbiAvailable());
    EXPECT_FALSE(bios.IoControl(0x9CD02FFC, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(1u, bios.LastError());
    // A code of the other device is unknown to this one.
    DWORD request[4] = {};
    BYTE header[64];
    EXPECT_FALSE(bios.IoControl(IOCTL_VXBUSIO_READ_HEADER, request, sizeof request, header, sizeof header, nullptr));
    EXPECT_TRUE(bios.Disconnect());
    EXPECT_EQ(0u, bios.LastError());

    CFirmwareProfile missing("[Firmware]\nDriver=missing\n");
    CDeviceBusIo gone;
    EXPECT_FALSE(gone.Connect());
}

TEST(DeviceTest, InterfaceQueryMustAnswerExactly34Bytes)
{
    for (const char* bytes : {"33", "35"}) {
        CFirmwareProfile server(std::string("[Firmware]\nInterfaceBytes=") + bytes + "\n");
        CDeviceBios bios;
        EXPECT_TRUE(bios.Connect()) << bytes;
        EXPECT_FALSE(bios.IsSmbiAvailable()) << bytes;
    }
}

TEST(DeviceTest, MapsOneRegionAtATime)
{
    CFirmwareProfile server;
    CTraceFile trace(server.Profile().Scratch() + "/trace.txt", 6);
    lab::host::Host::Instance().TheFirmware().Place(0xF0000, {'A', 'B'});
    lab::host::Host::Instance().TheFirmware().Place(0x100000, {'C', 'D'});
    CDeviceBios bios;
    ASSERT_TRUE(bios.Connect());
    EXPECT_TRUE(bios.UnmapPhysicalMemory());  // nothing mapped: no call at all
    auto* pFirst = static_cast<const char*>(bios.MapPhysicalMemory(0, 0xF0000, 16));
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(0, std::memcmp(pFirst, "AB\0\0", 4));
    auto* pSecond = static_cast<const char*>(bios.MapPhysicalMemory(0, 0x100000, 2));
    ASSERT_NE(nullptr, pSecond);
    EXPECT_EQ(0, std::memcmp(pSecond, "CD", 2));
    EXPECT_TRUE(Contains(trace.Take(), "\nCDeviceBios (Map)   : ## WARNING! Mapped physical memory already existing, "
                                       "will be unmapped!"));
    // The driver held one mapping: after this unmap a second one fails.
    EXPECT_TRUE(bios.UnmapPhysicalMemory());
    EXPECT_FALSE(bios.IoControl(IOCTL_VXBIOS_UNMAP, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(nullptr, bios.GetMappedAddress());
}

TEST(DeviceTest, FailingMapIsTracedWithTheDriversError)
{
    CFirmwareProfile server("[Firmware]\nMapFails=0xF0000\n");
    CTraceFile trace(server.Profile().Scratch() + "/trace.txt", 1);
    CDeviceBios bios;
    ASSERT_TRUE(bios.Connect());
    EXPECT_EQ(nullptr, bios.MapPhysicalMemory(0, 0xF0000, 0x10000));
    EXPECT_EQ("\nCDeviceBios (Map)   : ## ERROR in MapPhysicalMemory()! IoControl failed (0x0000001F)!", trace.Take());
    EXPECT_NE(nullptr, bios.MapPhysicalMemory(0, 0xE0000, 0x10));
}

class SlotMappingTest : public ::testing::Test {
protected:
    // A connected BIOS device over the routing description, with the slot table it gets.
    std::string Map(const std::string& pir, const std::string& labIni = "", int nCalls = 1)
    {
        CFirmwareProfile server(labIni);
        server.Write("firmware/pir.ini", pir);
        server.Reload();
        CTraceFile trace(server.Profile().Scratch() + "/trace.txt", 4);
        m_nResult = 0;
        m_pBios.reset(new CDeviceBios);
        EXPECT_TRUE(m_pBios->Connect());
        for (int i = 0; i < nCalls; ++i)
            m_nResult = m_pBios->GetPciSlotMapping();
        return trace.Take();
    }
    int Slot(BYTE bus, BYTE device)
    {
        BYTE slot = 0xEE;
        bool bFound = m_pBios->GetSlotNumber(bus, device, &slot);
        EXPECT_EQ(bFound ? slot : 0, slot);
        return bFound ? slot : -1;
    }

    std::unique_ptr<CDeviceBios> m_pBios;
    BOOL m_nResult = 0;
};

TEST_F(SlotMappingTest, BadChecksumTableIsPassedForALaterGoodOne)
{
    std::string trace = Map("[Table]\nAddress=0xF1000\nChecksum=bad\nEntry=0 3 7\n"
                            "[Table]\nAddress=0xFDF40\nEntry=1 0 1\nEntry=1 0 4\nEntry=6 1 3\n");
    EXPECT_EQ(1, m_nResult);
    EXPECT_EQ(-1, Slot(0, 3));
    EXPECT_EQ(1, Slot(1, 0));  // the first of two records for a pair wins
    EXPECT_EQ(3, Slot(6, 1));
    EXPECT_EQ(-1, Slot(6, 2));
    EXPECT_EQ(3u, m_pBios->GetSlotCount());
    EXPECT_TRUE(Contains(trace, "\nGetPciSlotMapping   : ## WARNING! Illegal checksum in PCI IRQ Routing Table!\n"));
    EXPECT_TRUE(Contains(trace, "\nAddSlotMapping      : Create PCI slot mapping table (3 entries):"
                                "\nAddSlotMapping      : [01]  bus   1 device   0 --> slot 1"));
    EXPECT_FALSE(Contains(trace, "SMM32"));
}

TEST_F(SlotMappingTest, EndMarkerStopsTheTable)
{
    Map("[Table]\nAddress=0xF0000\nEntry=0 end 0\nEntry=2 4 5\n");
    // The count stays as the table gives it; the records after the marker stay empty.
    EXPECT_EQ(2u, m_pBios->GetSlotCount());
    EXPECT_EQ(-1, Slot(2, 4));
    EXPECT_EQ(0, Slot(0, 0));
}

TEST_F(SlotMappingTest, FirmwareInterfaceStandsInForTheMemoryTable)
{
    std::string trace = Map("[Table]\nAddress=none\nInterface=yes\nEntry=3 2 6\nEntry=4 0 2\n");
    EXPECT_EQ(1, m_nResult);
    EXPECT_EQ(6, Slot(3, 2));
    EXPECT_EQ(2, Slot(4, 0));
    EXPECT_TRUE(Contains(trace, "\nGetPciSlotMapping   : Now try with old SMM32 interface..."
                                "\nGetPciSlotMapping   : PCI slot mapping table received, get table!"));
}

TEST_F(SlotMappingTest, NoTableAnywhereGivesNoSlots)
{
    std::string trace = Map("[Table]\nAddress=none\nEntry=3 2 6\n");
    EXPECT_EQ(0, m_nResult);
    EXPECT_EQ(-1, Slot(3, 2));
    EXPECT_TRUE(Contains(trace, "\nGetPciSlotMapping   : PCI slot mapping table not found with SMM32 interface!"));

    for (const char* fault : {"fail", "short"}) {
        trace = Map("[Table]\nAddress=none\nInterface=yes\nEntry=3 2 6\n",
                    std::string("[Firmware]\nRoutingInterface=") + fault + "\n");
        EXPECT_EQ(0, m_nResult) << fault;
        EXPECT_EQ(-1, Slot(3, 2)) << fault;
    }
    // A short answer looks like a buffer too small, so the second call is made and fails.
    EXPECT_TRUE(Contains(trace, "\n\nGetPciSlotMapping   : ## ERROR! Failed to get PCI slot mapping!"));
}

TEST_F(SlotMappingTest, SecondCallReplacesTheTable)
{
    std::string trace = Map("[Table]\nAddress=0xFDF40\nEntry=0 31 0\nEntry=5 0 3\n", "", 2);
    EXPECT_EQ(1, m_nResult);
    EXPECT_EQ(3, Slot(5, 0));
    EXPECT_TRUE(Contains(trace, "\nAddSlotMapping      : ## WARNING! PCI slot mapping table already allocated "
                                "(called twice]!!"));
}
