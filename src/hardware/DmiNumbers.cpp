// Reading the widened numeric SMBIOS fields of processors, memory arrays and memory devices.
#include "src/hardware/DmiNumbers.h"

#include "src/hardware/SMBios.h"

namespace {

const BYTE FAMILY_SEE_SECOND_FIELD = 0xFE;
const WORD FAMILY_ITANIUM = 0x82;
const WORD FAMILY_ITANIUM_2 = 0xB8;

}  // namespace

WORD ProcessorFamily(const BYTE* pProcessor)
{
    const BYTE bFamily = CSMBios::FieldByte(pProcessor, 6);
    if (bFamily == FAMILY_SEE_SECOND_FIELD && pProcessor[1] >= 0x2A)
        return CSMBios::FieldWord(pProcessor, 0x28);
    return bFamily;
}

SProcessorId DecodeProcessorId(const BYTE* pProcessor)
{
    const DWORD dwId = CSMBios::FieldDword(pProcessor, 8);
    const WORD wFamily = ProcessorFamily(pProcessor);
    if (wFamily == FAMILY_ITANIUM || wFamily == FAMILY_ITANIUM_2)
        return {dwId >> 24, (dwId >> 16) & 0xFF, (dwId >> 8) & 0xFF};
    const unsigned nBaseFamily = (dwId >> 8) & 0x0F;
    const unsigned nBaseModel = (dwId >> 4) & 0x0F;
    SProcessorId id = {nBaseFamily, nBaseModel, dwId & 0x0F};
    if (nBaseFamily == 0x0F)
        id.nFamily += (dwId >> 20) & 0xFF;
    if (nBaseFamily == 0x06 || nBaseFamily == 0x0F)
        id.nModel |= ((dwId >> 16) & 0x0F) << 4;
    return id;
}

bool HasProcessorCounts(const BYTE* pProcessor)
{
    return pProcessor[1] > 0x25;
}

unsigned ProcessorCount(const BYTE* pProcessor, EProcessorCount eCount)
{
    const int nByte = 0x23 + eCount;
    const BYTE bCount = CSMBios::FieldByte(pProcessor, nByte);
    const int nWide = 0x2A + 2 * eCount;
    if (bCount == 0xFF && pProcessor[1] >= nWide + 2)
        return CSMBios::FieldWord(pProcessor, nWide);
    return bCount;
}

bool MemoryDeviceSize(const BYTE* pDevice, DWORD& dwSize, bool& bKilobytes)
{
    const WORD wSize = CSMBios::FieldWord(pDevice, 0x0C);
    if (wSize == 0xFFFF)
        return false;
    bKilobytes = (wSize & 0x8000) != 0;
    dwSize = wSize & 0x7FFF;
    if (wSize == 0x7FFF && pDevice[1] >= 0x20)
        dwSize = CSMBios::FieldDword(pDevice, 0x1C) & 0x7FFFFFFF;
    return true;
}

bool MemoryDeviceSpeed(const BYTE* pDevice, DWORD& dwSpeed)
{
    if (pDevice[1] <= 0x15)
        return false;
    dwSpeed = CSMBios::FieldWord(pDevice, 0x15);
    if (dwSpeed == 0xFFFF && pDevice[1] >= 0x58)
        dwSpeed = CSMBios::FieldDword(pDevice, 0x54);
    return true;
}

bool ArrayMaxCapacity(const BYTE* pArray, uint64_t& qwMegabytes)
{
    const DWORD dwCapacity = CSMBios::FieldDword(pArray, 7);
    if (dwCapacity != 0x80000000) {
        qwMegabytes = dwCapacity >> 10;
        return true;
    }
    if (pArray[1] < 0x17)
        return false;
    qwMegabytes = CSMBios::FieldQword(pArray, 0x0F) >> 20;
    return true;
}
