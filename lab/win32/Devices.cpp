// Stands in for device I/O control of kernel32 and for the board driver Gorrel's two control devices,
// "VxBios" (physical memory, the firmware's routing interface) and "VxBusIo" (PCI configuration space).
#include "lab/win32/Devices.h"

#include "lab/host/Host.h"
#include "lab/host/ServiceTable.h"
#include "lab/win32/Handles.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using lab::host::Firmware;

// The driver's control codes: buffered, any access, device types 0x9CD0 (BIOS) and 0x9CCE (bus I/O).
const DWORD kInterfaceQuery = 0x9CD02000;
const DWORD kMapMemory = 0x9CD020A8;
const DWORD kUnmapMemory = 0x9CD020A4;
const DWORD kRoutingTable = 0x9CD0211C;
const DWORD kReadHeader = 0x9CCE2054;
const DWORD kNextFunction = 0x9CCE2058;

const DWORD kHeaderBytes = 64;
const DWORD kRoutingHeaderBytes = 12;
const uint32_t kMaxMapping = 64u << 20;  // what the driver agrees to map at once

class ControlDevice : public lab::win32::KernelObject {
public:
    explicit ControlDevice(bool bBios) : m_bBios(bBios) {}
    DWORD Wait(DWORD) override { return WAIT_OBJECT_0; }
    bool IsBios() const { return m_bBios; }
    // Each mapping is a private copy of the physical range, so reads past its end are caught by the
    // sanitizers as they would fault on the real machine. Older mappings stay valid until unmapped.
    std::vector<std::unique_ptr<uint8_t[]>> m_mappings;

private:
    bool m_bBios;
};

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

uint32_t In32(const void* pIn, int index)
{
    uint32_t value = 0;
    std::memcpy(&value, static_cast<const uint8_t*>(pIn) + 4 * index, 4);
    return value;
}

bool DriverRunning()
{
    auto& host = lab::host::Host::Instance();
    lab::host::ServiceEntry entry;
    return !host.TheFirmware().DriverMissing() && host.Services().Find("Gorrel", entry) &&
           entry.state == lab::host::svc::kRunning;
}

bool BiosControl(ControlDevice& device, DWORD code, const void* pIn, DWORD cbIn, void* pOut, DWORD cbOut,
                 DWORD& returned)
{
    const Firmware& firmware = lab::host::Host::Instance().TheFirmware();
    switch (code) {
    case kInterfaceQuery: {
        // Driver interface version 2.1, the SMBIOS and routing services present, the rest reserved.
        std::vector<uint8_t> info(firmware.InterfaceBytes(), 0);
        const uint8_t known[] = {'S', 'M', 'B', 'I', 2, 1, 0x03, 0x00};
        std::memcpy(info.data(), known, std::min(sizeof known, info.size()));
        DWORD n = static_cast<DWORD>(std::min<size_t>(info.size(), cbOut));
        if (pOut)
            std::memcpy(pOut, info.data(), n);
        returned = n;
        return info.size() > cbOut ? Fail(ERROR_MORE_DATA) : true;
    }
    case kMapMemory: {
        if (!pIn || cbIn < 12 || In32(pIn, 1) != 0 || In32(pIn, 2) == 0 || In32(pIn, 2) > kMaxMapping)
            return Fail(ERROR_INVALID_PARAMETER);
        if (!pOut || cbOut < sizeof(void*))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        uint32_t address = In32(pIn, 0), length = In32(pIn, 2);
        if (firmware.MapFails(address))
            return Fail(ERROR_GEN_FAILURE);
        std::unique_ptr<uint8_t[]> pCopy(new uint8_t[length]);
        firmware.Read(address, length, pCopy.get());
        void* pMapped = pCopy.get();
        device.m_mappings.push_back(std::move(pCopy));
        std::memcpy(pOut, &pMapped, sizeof pMapped);
        returned = sizeof pMapped;
        return true;
    }
    case kUnmapMemory:
        if (device.m_mappings.empty())
            return Fail(ERROR_INVALID_PARAMETER);
        device.m_mappings.pop_back();
        return true;
    case kRoutingTable: {
        if (firmware.RoutingInterface() == Firmware::Routing::kFail)
            return Fail(ERROR_GEN_FAILURE);
        if (firmware.RoutingInterface() == Firmware::Routing::kShort) {
            returned = std::min<DWORD>(cbOut, 6);
            if (pOut)
                std::memset(pOut, 0, returned);
            return true;
        }
        if (!pOut || cbOut < kRoutingHeaderBytes)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        const std::vector<uint8_t>& entries = firmware.InterfaceEntries();
        auto* pBytes = static_cast<uint8_t*>(pOut);
        std::memset(pBytes, 0, kRoutingHeaderBytes);
        pBytes[0] = static_cast<uint8_t>(entries.size());
        pBytes[1] = static_cast<uint8_t>(entries.size() >> 8);
        pBytes[8] = 0x00;  // no IRQ dedicated to PCI
        returned = kRoutingHeaderBytes;
        // Too small a buffer gets the header alone, which tells the size the entries need.
        if (!entries.empty() && cbOut - kRoutingHeaderBytes >= entries.size()) {
            std::memcpy(pBytes + kRoutingHeaderBytes, entries.data(), entries.size());
            returned += static_cast<DWORD>(entries.size());
        }
        return true;
    }
    default:
        return Fail(ERROR_INVALID_FUNCTION);
    }
}

bool BusIoControl(DWORD code, const void* pIn, DWORD cbIn, void* pOut, DWORD cbOut, DWORD& returned)
{
    const Firmware& firmware = lab::host::Host::Instance().TheFirmware();
    if (code != kReadHeader && code != kNextFunction)
        return Fail(ERROR_INVALID_FUNCTION);
    if (!pIn || cbIn < 16)
        return Fail(ERROR_INVALID_PARAMETER);
    uint32_t bus = In32(pIn, 0), device = In32(pIn, 1), function = In32(pIn, 2);
    auto* pBytes = static_cast<uint8_t*>(pOut);
    if (code == kReadHeader) {
        if (!pOut || cbOut < kHeaderBytes)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        firmware.ReadHeader(bus, device, function, pBytes);
        returned = kHeaderBytes;
        return true;
    }
    if (!pOut || cbOut < 12 + kHeaderBytes)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    const lab::host::PciFunction* pNext = firmware.NextFunction(bus, device, function);
    if (!pNext)
        return Fail(ERROR_NO_MORE_ITEMS);
    uint32_t address[3] = {pNext->bus, pNext->device, pNext->function};
    std::memcpy(pBytes, address, sizeof address);
    firmware.ReadHeader(pNext->bus, pNext->device, pNext->function, pBytes + 12);
    returned = 12 + kHeaderBytes;
    return true;
}

}  // namespace

namespace lab::win32 {

bool IsDevicePath(LPCSTR pszPath)
{
    return pszPath && std::strncmp(pszPath, "\\\\.\\", 4) == 0;
}

HANDLE OpenDevice(LPCSTR pszPath)
{
    std::string name = pszPath + 4;
    if (name.size() > 7 && lab::host::EqualsNoCase(name.substr(0, 7), "Global\\"))
        name = name.substr(7);
    bool bBios = lab::host::EqualsNoCase(name, "VxBios");
    bool bBusIo = lab::host::EqualsNoCase(name, "VxBusIo");
    // Without its driver a device name is not in the object namespace at all.
    if ((!bBios && !bBusIo) || !DriverRunning()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<ControlDevice>(bBios));
}

}  // namespace lab::win32

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED)
{
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    auto pDevice = lab::win32::LookupHandleAs<ControlDevice>(hDevice);
    if (!pDevice) {
        // Any other kernel object takes no control codes of this driver.
        SetLastError(lab::win32::LookupHandle(hDevice) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD returned = 0;
    bool bOk = pDevice->IsBios()
                   ? BiosControl(*pDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                                 returned)
                   : BusIoControl(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, returned);
    if (lpBytesReturned)
        *lpBytesReturned = returned;
    return bOk ? TRUE : FALSE;
}
