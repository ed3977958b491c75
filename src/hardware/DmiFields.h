// The enumerated SMBIOS fields the system check writes by name: the structure and offset each is
// read from, the element it goes into and the names of its codes.
#pragma once

#include "src/platform/Win32.h"

#include <cstddef>
#include <string>

enum EDmiField {
    DMI_PROCESSOR_STATUS,
    DMI_ARRAY_LOCATION,
    DMI_ARRAY_USE,
    DMI_ARRAY_ERROR_CORRECTION,
    DMI_DEVICE_FORM_FACTOR,
    DMI_DEVICE_MEMORY_TYPE,
    DMI_DEVICE_TYPE_DETAIL,
    DMI_IPMI_INTERFACE,
    DMI_ADDON_FUNCTION,
    DMI_FIELD_COUNT
};

// How the value in the structure becomes a code.
enum EDmiCoding {
    DMI_CODE_BYTE,      // the byte is the code
    DMI_SOCKET_STATUS,  // bit 6 says the socket is populated; the low three bits are the code
    DMI_FLAG_WORD,      // every set bit is a code; the names of all set bits, blank-separated
};

// Names of the codes nFirst, nFirst + 1, ... in that order; a later version of the standard
// only appends. A null name is a code the standard reserves. The runs follow the SMBIOS
// reference 3.7: memory types up to HBM3, the registered, unbuffered and LRDIMM detail bits, the
// FB-DIMM, die and CAMM form factors, the CXL array location and the SSIF interface.
struct SDmiNames {
    unsigned nFirst;
    const char* const* ppszNames;
    size_t nNames;

    // nullptr for a code outside the run or a reserved one.
    const char* Find(unsigned nCode) const
    {
        return nCode >= nFirst && nCode - nFirst < nNames ? ppszNames[nCode - nFirst] : nullptr;
    }
};

template <size_t N>
constexpr SDmiNames DmiNames(unsigned nFirst, const char* const (&apszNames)[N])
{
    return {nFirst, apszNames, N};
}

struct SDmiField {
    EDmiField eField;
    BYTE bType;
    BYTE bOffset;
    const char* pszElement;  // nullptr: the value names its own element
    EDmiCoding eCoding;
    SDmiNames names;
    SDmiNames vendorNames;  // a second run of codes far above the first; empty for most fields
    const char* pszFallback;  // for a code neither run names
};

const SDmiField& GetDmiField(EDmiField eField);
// nullptr when no field of the table lies at that offset of that structure type.
const SDmiField* FindDmiField(int type, int offset);

// The name of the field's value in a structure of the field's type.
std::string DmiValueName(const SDmiField& field, const BYTE* pStructure);
