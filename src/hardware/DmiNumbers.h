// The numeric SMBIOS fields the system check writes whose meaning later versions of the standard
// widened: a marker value in the old field sends the reader to a wider one further on, which only
// structures of that length hold. Every reader gives the old field's value where the wider one is
// absent, so tables of the 2.x era read as they always did.
#pragma once

#include "src/platform/Win32.h"

#include <cstdint>

struct SProcessorId {
    unsigned nFamily;
    unsigned nModel;
    unsigned nStep;
};

// Byte 6, or the second family field (word 0x28) where byte 6 refers to it.
WORD ProcessorFamily(const BYTE* pProcessor);
// Family, model and stepping from the processor id as the processor reports them: the extended
// family and model bits of an x86 signature count; Itanium ids carry them in whole bytes.
SProcessorId DecodeProcessorId(const BYTE* pProcessor);

enum EProcessorCount { CORE_COUNT, CORE_ENABLED, THREAD_COUNT };
// Whether the structure holds the counts (SMBIOS 2.5 on).
bool HasProcessorCounts(const BYTE* pProcessor);
// The byte, or its 16-bit successor (SMBIOS 3.0) when the byte says 0xFF; 0: unknown.
unsigned ProcessorCount(const BYTE* pProcessor, EProcessorCount eCount);

// The size word 0x0C, or the extended size (0x1C, in MByte) behind 0x7FFF; false for 0xFFFF
// (unknown size).
bool MemoryDeviceSize(const BYTE* pDevice, DWORD& dwSize, bool& bKilobytes);
// The speed word 0x15, or the extended speed (0x54) behind 0xFFFF; false when the structure ends
// before the word.
bool MemoryDeviceSpeed(const BYTE* pDevice, DWORD& dwSpeed);

// The maximum capacity in MByte: double word 7 in kByte, or the extended capacity (0x0F, in bytes)
// behind 0x80000000; false when neither gives one.
bool ArrayMaxCapacity(const BYTE* pArray, uint64_t& qwMegabytes);
