// CPciConfig: one PCI function's configuration header as the bus I/O device returns it, with the
// names of its class and subclass.
#pragma once

#include "src/platform/Win32.h"

class CPciConfig {
public:
    static const DWORD HEADER_SIZE = 64;

    CPciConfig() { Clear(); }
    void Clear();

    WORD VendorId() const { return Word(0x00); }
    WORD DeviceId() const { return Word(0x02); }
    BYTE Revision() const { return m_Header[0x08]; }
    BYTE ProgInterface() const { return m_Header[0x09]; }
    BYTE SubClass() const { return m_Header[0x0A]; }
    BYTE BaseClass() const { return m_Header[0x0B]; }
    BYTE HeaderType() const { return m_Header[0x0E]; }
    BYTE PrimaryBus() const { return m_Header[0x18]; }
    BYTE SecondaryBus() const { return m_Header[0x19]; }

    BYTE m_Header[HEADER_SIZE];
    WORD m_wSubVendorId;
    WORD m_wSubSystemId;
    char m_szClassName[260];
    char m_szSubClassName[260];

private:
    WORD Word(int offset) const { return static_cast<WORD>(m_Header[offset] | (m_Header[offset + 1] << 8)); }
};

// Fills the class and subclass names and the subsystem ids (those of a type 0 header only).
void DecodePciClass(CPciConfig& config);
