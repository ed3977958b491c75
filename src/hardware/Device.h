// CDevice, CDeviceBios, CDeviceBusIo: the thin client of the board driver Gorrel's control devices.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

#include <cstdint>
#include <memory>

// The driver's control codes (buffered, any access); the layouts are those of the driver's interface.
enum : DWORD {
    IOCTL_VXBIOS_INTERFACE = 0x9CD02000,   // out: 34 bytes of interface information
    IOCTL_VXBIOS_MAP = 0x9CD020A8,         // in: address low, high, length; out: the mapped address
    IOCTL_VXBIOS_UNMAP = 0x9CD020A4,       // unmaps the caller's current mapping
    IOCTL_VXBIOS_IRQ_ROUTING = 0x9CD0211C, // out: 12-byte header, then the routing entries
    IOCTL_VXBUSIO_READ_HEADER = 0x9CCE2054,  // in: bus, device, function, 0; out: 64 header bytes
    IOCTL_VXBUSIO_NEXT_FUNCTION = 0x9CCE2058 // in: as above; out: the next one's address and header
};

// Optional stop signal of a device that a worker waits on; the board driver's devices use none.
struct SDeviceNotify {
    CScopedHandle event;
    volatile LONG bStop = FALSE;
};

class CDevice {
public:
    CDevice();
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    BOOL IoControl(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut, LPDWORD pcbReturned);
    BOOL Disconnect();
    DWORD LastError() const { return m_dwLastError; }
    bool IsOpen() const { return m_Device.IsValid(); }

protected:
    // Opens "\\.\Global\<name>"; false with the last error kept.
    bool Open(const char* pszName);

    CScopedHandle m_Device;
    DWORD m_dwLastError;
    std::unique_ptr<SDeviceNotify> m_pNotify;
    BOOL m_bKeepOpen;
    char m_szDevicePath[MAX_PATH];
};

// One record of the PCI slot mapping: which physical slot a bus and device number sit in.
struct SPciSlot {
    BYTE bus;
    BYTE device;
    BYTE slot;  // 0: on the system board
};

class CDeviceBios : public CDevice {
public:
    static const DWORD INTERFACE_INFO_SIZE = 34;

    CDeviceBios();
    ~CDeviceBios() override;

    BOOL Connect();
    // Unmaps, closes the handle and clears the connected flag; the slot table stays.
    void Close();
    BOOL IsConnected() const { return m_bConnected; }
    BOOL IsSmbiAvailable() const { return m_bSmbiAvailable; }

    // The one current mapping of physical memory; mapping again releases the previous one first.
    void* MapPhysicalMemory(DWORD dwAddressHigh, DWORD dwAddressLow, DWORD dwLength);
    BOOL UnmapPhysicalMemory();
    void* GetMappedAddress() const { return m_pMapped; }

    // PCI slot mapping from the firmware's interrupt routing table (SlotMapping.cpp).
    BOOL GetPciSlotMapping();
    bool GetSlotNumber(BYTE bus, BYTE device, BYTE* pSlot) const;
    bool AddSlotMapping(DWORD dwCount, const BYTE* pEntries);
    BOOL GetIrqRoutingTable(DWORD cbEntries, BYTE* pBuffer);
    DWORD GetSlotCount() const { return m_dwSlotCount; }

private:
    void FreeSlotTable();

    BOOL m_bConnected;
    void* m_pMapped;
    SPciSlot* m_pSlotTable;
    DWORD m_dwSlotCount;
    BYTE m_InterfaceInfo[INTERFACE_INFO_SIZE];
    BOOL m_bSmbiAvailable;
};

class CDeviceBusIo : public CDevice {
public:
    CDeviceBusIo();
    ~CDeviceBusIo() override;

    BOOL Connect();
    BOOL IsConnected() const { return m_bConnected; }

private:
    BOOL m_bConnected;
};
