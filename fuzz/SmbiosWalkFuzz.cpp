// Feeds made-up firmware to the system hardware check: the BIOS area with its entry points and the
// structure tables they point to, read through the lab's board driver.
//
// The first byte chooses the layout: the rest as the whole BIOS area (any anchors, checksums and
// table addresses it happens to hold, the table then being zeros), or a valid entry point whose
// table is the rest, so that the walk and the report's field readers see arbitrary structures soon:
// a 32-bit one with a structure count from the data, or a 64-bit one alone with a maximum size
// from the data (within the rest or past it), whose walk ends at type 127 or that size.
#include "fuzz/FuzzCheck.h"
#include "lab/host/Host.h"
#include "lab/win32/ComControl.h"
#include "src/hardware/CheckSystem.h"
#include "src/hardware/SMBios.h"

#include <cstdint>
#include <vector>

namespace {

const uint32_t kTable = 0x100000;

void Put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Checksum(std::vector<uint8_t>& ep, size_t at)
{
    uint8_t sum = 0;
    for (uint8_t b : ep)
        sum = static_cast<uint8_t>(sum + b);
    ep[at] = static_cast<uint8_t>(-sum);
}

std::vector<uint8_t> EntryPoint(size_t length, uint16_t count)
{
    std::vector<uint8_t> ep(0x1F, 0);
    const char* pAnchor = "_SM_";
    for (int i = 0; i < 4; ++i)
        ep[i] = static_cast<uint8_t>(pAnchor[i]);
    ep[5] = 0x1F;
    ep[6] = 2;
    ep[7] = 5;
    Put(ep, 0x16, static_cast<uint32_t>(length), 2);
    Put(ep, 0x18, kTable, 4);
    Put(ep, 0x1C, count, 2);
    Checksum(ep, 4);
    return ep;
}

std::vector<uint8_t> EntryPoint64(uint32_t maxSize)
{
    std::vector<uint8_t> ep(0x18, 0);
    const char* pAnchor = "_SM3_";
    for (int i = 0; i < 5; ++i)
        ep[i] = static_cast<uint8_t>(pAnchor[i]);
    ep[6] = 0x18;
    ep[7] = 3;
    ep[8] = 5;
    ep[0x0A] = 1;
    Put(ep, 0x0C, maxSize, 4);
    Put(ep, 0x10, kTable, 4);
    Checksum(ep, 5);
    return ep;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    if (size < 3 || size > CSMBios::SEARCH_LENGTH)
        return 0;
    lab::host::Firmware& firmware = lab::host::Host::Instance().TheFirmware();
    firmware.Reset();
    std::vector<uint8_t> rest(pData + 3, pData + size);
    if (pData[0] & 1) {
        firmware.Place(CSMBios::SEARCH_BASE, rest);
    } else if (!rest.empty() && (pData[0] & 2)) {
        // The maximum size may cut the table short or reach past it into zeros.
        int64_t maxSize = static_cast<int64_t>(rest.size()) + static_cast<int8_t>(pData[1]);
        uint32_t effective = maxSize > 0 ? static_cast<uint32_t>(maxSize) : 1;
        firmware.Place(0xF0000 + ((pData[0] >> 2) << 4), EntryPoint64(effective));
        firmware.Place(kTable, rest);
    } else if (!rest.empty()) {
        firmware.Place(0xF0000 + ((pData[0] >> 2) << 4), EntryPoint(rest.size(), pData[1] | pData[2] << 8));
        firmware.Place(kTable, rest);
    }
    CXmlDocument doc;
    doc.AddElement("Root", nullptr, 0);
    CDiagReport report{std::vector<DiagStep>{}};
    CheckSystem(report, doc);
    FUZZ_CHECK(doc.CheckWellFormed());
    // No firmware string may bring a character that XML cannot carry.
    for (const char* p = doc.GetText(); *p; ++p)
        FUZZ_CHECK(static_cast<unsigned char>(*p) >= 0x20 || *p == '\r' || *p == '\n' || *p == '\t');
    // Processor brand names come from the base service: each run must let its router go.
    FUZZ_CHECK(lab::win32::LiveComObjects() == 0);
    // The lab's journal of COM start-ups would otherwise grow with every run and slow each next one.
    lab::host::Host::Instance().ClearJournal();
    return 0;
}
