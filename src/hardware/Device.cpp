// The board driver's control devices: open, one generic I/O control call, close.
#include "src/hardware/Device.h"

#include "src/hardware/HardwareTrace.h"

#include <cstdio>
#include <cstring>

CDevice::CDevice() : m_dwLastError(0), m_bKeepOpen(FALSE)
{
    m_szDevicePath[0] = '\0';
}

CDevice::~CDevice()
{
    if (m_bKeepOpen)
        m_Device.Detach();  // the handle outlives the object on purpose
    else
        Disconnect();
}

bool CDevice::Open(const char* pszName)
{
    snprintf(m_szDevicePath, sizeof m_szDevicePath, "\\\\.\\Global\\%s", pszName);
    m_Device.Reset(CreateFileA(m_szDevicePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_Device.IsValid())
        m_dwLastError = ::GetLastError();
    return m_Device.IsValid();
}

BOOL CDevice::IoControl(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut, LPDWORD pcbReturned)
{
    if (!m_Device.IsValid()) {
        if (m_dwLastError == 0)
            m_dwLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD cbReturned = 0;
    BOOL bOk = DeviceIoControl(m_Device.Get(), dwCode, pIn, cbIn, pOut, cbOut, &cbReturned, nullptr);
    if (!bOk)
        m_dwLastError = ::GetLastError();
    if (pcbReturned)
        *pcbReturned = cbReturned;
    return bOk;
}

BOOL CDevice::Disconnect()
{
    if (!m_Device.IsValid())
        return TRUE;
    if (m_pNotify) {
        // Lets a waiting worker see the stop before its handle goes away.
        m_pNotify->bStop = TRUE;
        if (SetEvent(m_pNotify->event.Get()))
            Sleep(100);
    }
    // Closed by hand, not by the owner, because the caller learns whether the close succeeded.
    BOOL bOk = CloseHandle(m_Device.Detach());
    m_pNotify.reset();
    m_dwLastError = bOk ? 0 : ::GetLastError();
    return bOk;
}

CDeviceBios::CDeviceBios()
    : m_bConnected(FALSE), m_pMapped(nullptr), m_pSlotTable(nullptr), m_dwSlotCount(0), m_bSmbiAvailable(FALSE)
{
    std::memset(m_InterfaceInfo, 0, sizeof m_InterfaceInfo);
}

CDeviceBios::~CDeviceBios()
{
    if (m_bConnected)
        Close();
    FreeSlotTable();
}

void CDeviceBios::Close()
{
    UnmapPhysicalMemory();
    Disconnect();
    m_bConnected = FALSE;
}

BOOL CDeviceBios::Connect()
{
    TRACE(4, "\nCDeviceBios (Connct): connect to BIOS device...");
    if (!m_bConnected)
        m_bConnected = Open("VxBios") ? TRUE : FALSE;
    TRACE(4, "\nCDeviceBios (Connct): %sconnected", m_bConnected ? "" : "not");
    if (m_bConnected) {
        DWORD cbReturned = 0;
        if (IoControl(IOCTL_VXBIOS_INTERFACE, nullptr, 0, m_InterfaceInfo, INTERFACE_INFO_SIZE, &cbReturned) &&
            cbReturned == INTERFACE_INFO_SIZE) {
            m_bSmbiAvailable = TRUE;
            TRACE(3, "\nCDeviceBios (Connct): SMBI avaliable");
        }
    } else {
        TRACE(3, "\nCDeviceBios (Connct): device driver could not be connected, don't detect interfaces");
    }
    return m_bConnected;
}

void* CDeviceBios::MapPhysicalMemory(DWORD dwAddressHigh, DWORD dwAddressLow, DWORD dwLength)
{
    if (m_pMapped) {
        TRACE(2, "\nCDeviceBios (Map)   : ## WARNING! Mapped physical memory already existing, will be unmapped!");
        UnmapPhysicalMemory();
        m_pMapped = nullptr;
    }
    DWORD request[3] = {dwAddressLow, dwAddressHigh, dwLength};
    void* pMapped = nullptr;
    DWORD cbReturned = 0;
    if (IoControl(IOCTL_VXBIOS_MAP, request, sizeof request, &pMapped, sizeof pMapped, &cbReturned)) {
        if (cbReturned >= sizeof pMapped)
            m_pMapped = pMapped;
    } else {
        TRACE(1, "\nCDeviceBios (Map)   : ## ERROR in MapPhysicalMemory()! IoControl failed (0x%08X)!",
              static_cast<unsigned>(m_dwLastError));
    }
    return m_pMapped;
}

BOOL CDeviceBios::UnmapPhysicalMemory()
{
    if (!m_pMapped)
        return TRUE;
    BOOL bOk = IoControl(IOCTL_VXBIOS_UNMAP, nullptr, 0, nullptr, 0, nullptr);
    if (!bOk)
        TRACE(1, "\nCDeviceBios (Map)   : ## ERROR in UnmapPhysicalMemory()! IoControl failed (0x%08X)!",
              static_cast<unsigned>(m_dwLastError));
    m_pMapped = nullptr;
    return bOk;
}

CDeviceBusIo::CDeviceBusIo() : m_bConnected(FALSE) {}

CDeviceBusIo::~CDeviceBusIo() = default;

BOOL CDeviceBusIo::Connect()
{
    TRACE(4, "\nCDeviceBusIo        : connect to BUSIO device...");
    if (!m_bConnected)
        m_bConnected = Open("VxBusIo") ? TRUE : FALSE;
    TRACE(4, "\nCDeviceBusIo        : %sconnected", m_bConnected ? "" : "not");
    return m_bConnected;
}
