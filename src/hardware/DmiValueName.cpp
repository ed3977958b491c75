// The names of enumerated SMBIOS field values, decoded as the field table describes each field.
#include "src/hardware/CheckSystem.h"
#include "src/hardware/DmiFields.h"
#include "src/hardware/SMBios.h"

#include <string>

namespace {

std::string CodeName(const SDmiField& field, unsigned nCode)
{
    const char* pszName = field.names.Find(nCode);
    if (!pszName)
        pszName = field.vendorNames.Find(nCode);
    return pszName ? pszName : field.pszFallback;
}

// "Other" and "Unknown", the first two flags as everywhere in the standard, say all there is to
// say; any other flags are listed.
std::string FlagNames(const SDmiField& field, WORD wFlags)
{
    std::string text;
    for (size_t i = 0; i < field.names.nNames; ++i) {
        const size_t nBit = field.names.nFirst + i;
        if (nBit >= 16 || !(wFlags & (1u << nBit)))
            continue;
        if (i < 2)
            return field.names.ppszNames[i];
        if (!text.empty())
            text += ' ';
        text += field.names.ppszNames[i];
    }
    return text.empty() ? field.pszFallback : text;
}

}  // namespace

std::string DmiValueName(const SDmiField& field, const BYTE* pStructure)
{
    switch (field.eCoding) {
    case DMI_SOCKET_STATUS: {
        const BYTE bStatus = CSMBios::FieldByte(pStructure, field.bOffset);
        if (!(bStatus & 0x40))
            return "Empty Socket";
        return CodeName(field, bStatus & 0x07);
    }
    case DMI_FLAG_WORD:
        return FlagNames(field, CSMBios::FieldWord(pStructure, field.bOffset));
    case DMI_CODE_BYTE:
        break;
    }
    return CodeName(field, CSMBios::FieldByte(pStructure, field.bOffset));
}

std::string GetDmiValueName(const BYTE* pStructure, int offset)
{
    const SDmiField* pField = pStructure ? FindDmiField(pStructure[0], offset) : nullptr;
    return pField ? DmiValueName(*pField, pStructure) : "";
}
