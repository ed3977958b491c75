// Stands in for kernel32's GetSystemFirmwareTable: the SMBIOS table as the firmware hands it to Windows.
#include "lab/win32/FirmwareTable.h"

#include "lab/host/Firmware.h"
#include "lab/host/Host.h"

#include <cstring>
#include <vector>

namespace {

const DWORD kProviderRsmb = 0x52534D42;
const DWORD kErrorNotFound = 1168;

uint32_t Little(const uint8_t* p, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// The raw data Windows keeps from the entry point it found at start-up: the first anchor on a paragraph.
bool ReadRawSmbios(std::vector<uint8_t>& raw)
{
    const lab::host::Firmware& firmware = lab::host::Host::Instance().TheFirmware();
    std::vector<uint8_t> area(0x10000);
    firmware.Read(0xF0000, static_cast<uint32_t>(area.size()), area.data());
    for (size_t offset = 0; offset + 0x20 <= area.size(); offset += 16) {
        const uint8_t* p = &area[offset];
        uint8_t major, minor, revision;
        uint64_t address;
        uint32_t length;
        if (std::memcmp(p, "_SM3_", 5) == 0) {
            major = p[7], minor = p[8], revision = p[9];
            length = Little(p + 0x0C, 4);
            address = Little(p + 0x10, 4) | static_cast<uint64_t>(Little(p + 0x14, 4)) << 32;
        } else if (std::memcmp(p, "_SM_", 4) == 0 && std::memcmp(p + 0x10, "_DMI_", 5) == 0) {
            major = p[6], minor = p[7], revision = p[0x1E];
            length = Little(p + 0x16, 2);
            address = Little(p + 0x18, 4);
        } else {
            continue;
        }
        if (length == 0 || length > 0x400000)
            return false;
        raw.assign(8 + length, 0);
        raw[1] = major;
        raw[2] = minor;
        raw[3] = revision;
        std::memcpy(&raw[4], &length, 4);
        firmware.Read(address, length, &raw[8]);
        return true;
    }
    return false;
}

}  // namespace

UINT WINAPI GetSystemFirmwareTable(DWORD FirmwareTableProviderSignature, DWORD FirmwareTableID,
                                   PVOID pFirmwareTableBuffer, DWORD BufferSize)
{
    if (FirmwareTableProviderSignature != kProviderRsmb || FirmwareTableID != 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return 0;
    }
    std::vector<uint8_t> raw;
    if (!ReadRawSmbios(raw)) {
        SetLastError(kErrorNotFound);
        return 0;
    }
    if (!pFirmwareTableBuffer || BufferSize < raw.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return static_cast<UINT>(raw.size());
    }
    std::memcpy(pFirmwareTableBuffer, raw.data(), raw.size());
    return static_cast<UINT>(raw.size());
}
