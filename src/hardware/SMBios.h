// CSMBios: the SMBIOS structure table, found through its entry point in the BIOS area, mapped
// through the board driver and filed by structure type. Structures are used in place.
// The 32-bit entry point ("_SM_") is preferred; without one, the 64-bit entry point ("_SM3_")
// gives the table's 64-bit address and maximum size, and the walk ends at the end-of-table
// structure or that size, as such an entry point announces no structure count.
#pragma once

#include "src/hardware/Device.h"

#include <cstdint>

class CSMBios {
public:
    static const DWORD SEARCH_BASE = 0xE0000;
    static const DWORD SEARCH_LENGTH = 0x20000;
    static const DWORD ENTRY_POINT_SIZE = 31;
    static const DWORD ENTRY_POINT_64_SIZE = 24;

    CSMBios();
    ~CSMBios();
    CSMBios(const CSMBios&) = delete;
    CSMBios& operator=(const CSMBios&) = delete;

    // 0 when the device or a mapping fails; 1 otherwise, also when no entry point was found.
    DWORD Connect();
    DWORD Disconnect();

    // The index-th structure of a type in table order, or nullptr.
    const BYTE* getDmiStructureByType(BYTE type, int index);
    // String number (from 1) of a structure, or nullptr for 0, a missing string or one that runs off the table.
    const char* getDmiString(const BYTE* pStructure, int number) const;
    static const char* GetDmiTypeName(int type);

    BYTE GetMajorVersion() const { return m_bMajor; }
    BYTE GetMinorVersion() const { return m_bMinor; }
    DWORD LastError() const { return m_Bios.LastError(); }

    // A byte or word of a structure's formatted area; 0 past the length it declares.
    static BYTE FieldByte(const BYTE* pStructure, int offset);
    static WORD FieldWord(const BYTE* pStructure, int offset);
    static DWORD FieldDword(const BYTE* pStructure, int offset);
    static uint64_t FieldQword(const BYTE* pStructure, int offset);

private:
    struct SDmiNode {
        const BYTE* pStructure;
        SDmiNode* pNext;
    };
    struct STypeList {
        SDmiNode* pHead;
        SDmiNode* pTail;
        DWORD nCount;  // a table may hold far more than 255 structures of one type
    };

    DWORD ScanForDmi();
    DWORD ScanForAnchor(const BYTE* pArea, const char* pszAnchor);
    DWORD Scan_SM_DMI(const BYTE* pCandidate, const BYTE* pAreaEnd);
    DWORD Scan_SM3_DMI(const BYTE* pCandidate, const BYTE* pAreaEnd);
    bool EntryPointSumIsZero(const BYTE* pCandidate, const BYTE* pAreaEnd, int nLength) const;
    void AcceptEntryPoint(const BYTE* pCandidate, const BYTE* pAreaEnd, size_t nSize);
    DWORD Get_SM_DMI_Structs(const BYTE* pTable);
    DWORD EnterStructList(const BYTE* pStructure);

    DWORD m_dwSearchBase;
    uint64_t m_qwSearchLength;
    uint64_t m_qwTableAddress;
    uint64_t m_qwTableLength;
    CDeviceBios m_Bios;
    DWORD m_dwDmiFound;
    const BYTE* m_pMapped;
    const BYTE* m_pTableEnd;  // bounds string lookups in the mapped table
    BYTE m_bMajor;
    BYTE m_bMinor;
    BYTE m_EntryPoint[ENTRY_POINT_SIZE];
    BOOL m_bEntryPointValid;
    BOOL m_bEntryPoint64;  // no structure count: the walk ends at type 127 or the maximum size
    uint64_t m_qwStructures;
    STypeList m_Types[256];
};
