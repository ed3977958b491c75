// Feeds made-up routing tables to the PCI slot mapping: the data becomes the area 0xF0000-0xFFFFF
// (so "$PIR" signatures, sizes and checksums are arbitrary) and the firmware interface's entries,
// and every answer of the slot lookup must come from a record the table filled.
#include "lab/host/Host.h"
#include "src/hardware/Device.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    if (size < 1 || size > 0x10000)
        return 0;
    lab::host::Firmware& firmware = lab::host::Host::Instance().TheFirmware();
    firmware.Reset();
    std::vector<uint8_t> area(pData + 1, pData + size);
    // A signature at the first paragraph now and then, so the table's own fields get reached.
    if ((pData[0] & 1) && area.size() >= 4)
        std::memcpy(area.data(), "$PIR", 4);
    firmware.Place(0xF0000, area);
    if (pData[0] & 2)
        firmware.SetInterfaceEntries(std::vector<uint8_t>(area.begin(), area.begin() + (area.size() & ~size_t(15))));

    CDeviceBios bios;
    if (!bios.Connect())
        std::abort();
    BOOL bSlots = bios.GetPciSlotMapping();
    for (int bus = 0; bus < 4; ++bus) {
        for (int device = 0; device < 32; ++device) {
            BYTE slot = 0xEE;
            bool bFound = bios.GetSlotNumber(static_cast<BYTE>(bus), static_cast<BYTE>(device), &slot);
            if ((bFound && !bSlots) || (!bFound && slot != 0))
                std::abort();
        }
    }
    return 0;
}
