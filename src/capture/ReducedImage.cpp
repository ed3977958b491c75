// A large image file as a profile keeps it: its headers and its resource section.
#include "src/capture/ReducedImage.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace {

// Enough for the headers of every usual image in one read; longer ones are read on.
const ULONGLONG FIRST_READ = 4096;
// Where an image states no usable alignment for its raw data, the format's smallest usual one.
const DWORD DEFAULT_FILE_ALIGNMENT = 0x200;
const DWORD MAX_FILE_ALIGNMENT = 0x10000;
const ULONGLONG COFF_SYMBOL_SIZE = 18;
// Longer section names than any linker writes are cut here.
const DWORD MAX_LONG_NAME = 256;

template <typename T>
T Get(const std::vector<BYTE>& bytes, size_t at)
{
    T value;
    std::memcpy(&value, &bytes[at], sizeof value);
    return value;
}

template <typename T>
void Put(std::vector<BYTE>& bytes, size_t at, const T& value)
{
    std::memcpy(&bytes[at], &value, sizeof value);
}

// Where the fields the reduction reads or clears lie in an optional header of either width.
struct SOptionalFields {
    size_t fileAlignment;
    size_t sizeOfHeaders;
    size_t checkSum;
    size_t numberOfRvaAndSizes;
    size_t dataDirectory;
};

template <typename TOptional>
SOptionalFields FieldsOf()
{
    return {offsetof(TOptional, FileAlignment), offsetof(TOptional, SizeOfHeaders), offsetof(TOptional, CheckSum),
            offsetof(TOptional, NumberOfRvaAndSizes), offsetof(TOptional, DataDirectory)};
}

// The bytes of a file from its start, read on as far as its headers go.
class CLeadingBytes {
public:
    CLeadingBytes(HANDLE hFile, ULONGLONG cbFile) : m_hFile(hFile), m_cbFile(cbFile) {}

    // Whether the first cbEnd bytes are held; false when the file is shorter or a read failed (Error).
    bool Hold(ULONGLONG cbEnd)
    {
        if (cbEnd > m_cbFile)
            return false;
        if (cbEnd <= m_Bytes.size())
            return true;
        const ULONGLONG cbWanted = std::min(m_cbFile, std::max(cbEnd, FIRST_READ));
        std::vector<BYTE> more;
        m_dwError = ReadAt(m_hFile, m_Bytes.size(), static_cast<DWORD>(cbWanted - m_Bytes.size()), more);
        m_Bytes.insert(m_Bytes.end(), more.begin(), more.end());
        return m_dwError == ERROR_SUCCESS && cbEnd <= m_Bytes.size();
    }
    DWORD Error() const { return m_dwError; }
    const std::vector<BYTE>& Bytes() const { return m_Bytes; }

    static DWORD ReadAt(HANDLE hFile, ULONGLONG offset, DWORD cb, std::vector<BYTE>& bytes)
    {
        LONG lHigh = static_cast<LONG>(offset >> 32);
        SetLastError(ERROR_SUCCESS);  // the low part of a position may look like the failure value
        if (SetFilePointer(hFile, static_cast<LONG>(offset & 0xFFFFFFFF), &lHigh, FILE_BEGIN) ==
                INVALID_SET_FILE_POINTER &&
            GetLastError() != ERROR_SUCCESS)
            return GetLastError();
        bytes.resize(cb);
        DWORD cbRead = 0;
        if (cb > 0 && !ReadFile(hFile, bytes.data(), cb, &cbRead, nullptr))
            return GetLastError();
        bytes.resize(cbRead);
        return ERROR_SUCCESS;
    }

private:
    HANDLE m_hFile;
    ULONGLONG m_cbFile;
    std::vector<BYTE> m_Bytes;
    DWORD m_dwError = ERROR_SUCCESS;
};

ULONGLONG AlignUp(ULONGLONG value, DWORD alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// The part of a section that is data of the file, as a loader mapping the file as data sees it.
DWORD FileSpan(const IMAGE_SECTION_HEADER& section)
{
    if (section.Misc.VirtualSize != 0 && section.Misc.VirtualSize < section.SizeOfRawData)
        return section.Misc.VirtualSize;
    return section.SizeOfRawData;
}

// Section names longer than eight characters are "/" and an offset into the COFF string table, which
// follows the symbols left out. Moves the names alone into a table of their own, names appended to
// table (begun as its size field), and points the sections at them.
void CarryLongNames(HANDLE hFile, const IMAGE_FILE_HEADER& fileHeader, std::vector<BYTE>& headers,
                    size_t sectionsOffset, std::vector<BYTE>& table)
{
    const ULONGLONG stringsOffset =
        ULONGLONG(fileHeader.PointerToSymbolTable) + ULONGLONG(fileHeader.NumberOfSymbols) * COFF_SYMBOL_SIZE;
    for (size_t i = 0; fileHeader.PointerToSymbolTable != 0 && i < fileHeader.NumberOfSections; ++i) {
        const size_t at = sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER);
        IMAGE_SECTION_HEADER section = Get<IMAGE_SECTION_HEADER>(headers, at);
        const char* pszName = reinterpret_cast<const char*>(section.Name);
        if (pszName[0] != '/')
            continue;
        std::string strOffset(pszName + 1, strnlen(pszName + 1, IMAGE_SIZEOF_SHORT_NAME - 1));
        if (strOffset.empty() || strOffset.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::vector<BYTE> name;
        if (CLeadingBytes::ReadAt(hFile, stringsOffset + std::stoul(strOffset), MAX_LONG_NAME, name) != ERROR_SUCCESS ||
            name.empty())
            continue;
        name.resize(strnlen(reinterpret_cast<const char*>(name.data()), name.size()));
        std::string strNewName = "/" + std::to_string(table.size());
        if (strNewName.size() > IMAGE_SIZEOF_SHORT_NAME)
            break;
        table.insert(table.end(), name.begin(), name.end());
        table.push_back(0);
        std::memset(section.Name, 0, sizeof section.Name);
        std::memcpy(section.Name, strNewName.data(), strNewName.size());
        Put(headers, at, section);
    }
    Put(table, 0, static_cast<DWORD>(table.size()));
}

}  // namespace

DWORD ReduceImageFile(HANDLE hFile, ULONGLONG cbFile, std::vector<BYTE>& reduced, EImageReduction& outcome)
{
    outcome = EImageReduction::NotImage;
    reduced.clear();
    CLeadingBytes file(hFile, cbFile);
    const std::vector<BYTE>& bytes = file.Bytes();

    if (!file.Hold(sizeof(IMAGE_DOS_HEADER)))
        return file.Error();
    const IMAGE_DOS_HEADER dos = Get<IMAGE_DOS_HEADER>(bytes, 0);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
        return ERROR_SUCCESS;
    const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
    const size_t fileHeaderOffset = ntOffset + sizeof(DWORD);
    const size_t optionalOffset = fileHeaderOffset + sizeof(IMAGE_FILE_HEADER);
    if (!file.Hold(optionalOffset))
        return file.Error();
    if (Get<DWORD>(bytes, ntOffset) != IMAGE_NT_SIGNATURE)
        return ERROR_SUCCESS;
    IMAGE_FILE_HEADER fileHeader = Get<IMAGE_FILE_HEADER>(bytes, fileHeaderOffset);
    const size_t cbOptional = fileHeader.SizeOfOptionalHeader;
    const size_t sectionsOffset = optionalOffset + cbOptional;
    const size_t tableEnd = sectionsOffset + size_t(fileHeader.NumberOfSections) * sizeof(IMAGE_SECTION_HEADER);
    if (cbOptional < sizeof(WORD) || !file.Hold(tableEnd))
        return file.Error();
    const WORD wMagic = Get<WORD>(bytes, optionalOffset);
    SOptionalFields fields;
    if (wMagic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        fields = FieldsOf<IMAGE_OPTIONAL_HEADER32>();
    else if (wMagic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        fields = FieldsOf<IMAGE_OPTIONAL_HEADER64>();
    else
        return ERROR_SUCCESS;
    // A header shorter than its type holds only the fields it states; the rest count as absent.
    auto has = [&](size_t at, size_t cb) { return at + cb <= cbOptional; };
    auto field = [&](size_t at) { return has(at, sizeof(DWORD)) ? Get<DWORD>(bytes, optionalOffset + at) : 0; };
    const DWORD nDirectories = field(fields.numberOfRvaAndSizes);
    auto directory = [&](DWORD dwIndex) {
        return nDirectories > dwIndex &&
               has(fields.dataDirectory + dwIndex * sizeof(IMAGE_DATA_DIRECTORY), sizeof(IMAGE_DATA_DIRECTORY));
    };

    outcome = EImageReduction::NoResources;
    const DWORD dwResourceRva =
        directory(IMAGE_DIRECTORY_ENTRY_RESOURCE)
            ? field(fields.dataDirectory + IMAGE_DIRECTORY_ENTRY_RESOURCE * sizeof(IMAGE_DATA_DIRECTORY))
            : 0;
    if (dwResourceRva == 0)
        return ERROR_SUCCESS;
    // The section the resource directory lies in holds the resources of every usual image.
    size_t nResources = fileHeader.NumberOfSections;
    IMAGE_SECTION_HEADER resources = {};
    for (size_t i = 0; i < fileHeader.NumberOfSections; ++i) {
        const IMAGE_SECTION_HEADER section =
            Get<IMAGE_SECTION_HEADER>(bytes, sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER));
        if (dwResourceRva >= section.VirtualAddress && dwResourceRva - section.VirtualAddress < FileSpan(section)) {
            nResources = i;
            resources = section;
            break;
        }
    }
    if (nResources == fileHeader.NumberOfSections ||
        ULONGLONG(resources.PointerToRawData) + resources.SizeOfRawData > cbFile)
        return ERROR_SUCCESS;

    // The headers as the image states them (their padding included), then the resource section's data.
    const ULONGLONG cbHeaders = std::max<ULONGLONG>(tableEnd, std::min<ULONGLONG>(field(fields.sizeOfHeaders), cbFile));
    DWORD dwAlignment = field(fields.fileAlignment);
    if (dwAlignment == 0 || dwAlignment > MAX_FILE_ALIGNMENT || (dwAlignment & (dwAlignment - 1)) != 0)
        dwAlignment = DEFAULT_FILE_ALIGNMENT;
    const ULONGLONG resourcesOffset = AlignUp(cbHeaders, dwAlignment);
    if (resourcesOffset + resources.SizeOfRawData > 0xFFFFFFFFull || !file.Hold(cbHeaders))
        return file.Error();
    std::vector<BYTE> resourceData;
    DWORD dwError = CLeadingBytes::ReadAt(hFile, resources.PointerToRawData, resources.SizeOfRawData, resourceData);
    if (dwError != ERROR_SUCCESS || resourceData.size() != resources.SizeOfRawData)
        return dwError;  // a file that shrank under us is copied as it is now

    reduced.assign(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cbHeaders));
    reduced.resize(static_cast<size_t>(resourcesOffset), 0);
    reduced.insert(reduced.end(), resourceData.begin(), resourceData.end());

    for (size_t i = 0; i < fileHeader.NumberOfSections; ++i) {
        const size_t at = sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER);
        IMAGE_SECTION_HEADER section = Get<IMAGE_SECTION_HEADER>(reduced, at);
        if (i == nResources) {
            section.PointerToRawData = static_cast<DWORD>(resourcesOffset);
        } else {
            // Its size in memory stays what it was, so the sections after it keep their place.
            if (section.Misc.VirtualSize == 0)
                section.Misc.VirtualSize = section.SizeOfRawData;
            section.SizeOfRawData = 0;
            section.PointerToRawData = 0;
        }
        section.PointerToRelocations = 0;
        section.PointerToLinenumbers = 0;
        Put(reduced, at, section);
    }
    // What pointed into the data left out: the symbols (but the sections' long names), the signature, the
    // checksum over all of it.
    std::vector<BYTE> names(sizeof(DWORD), 0);
    CarryLongNames(hFile, fileHeader, reduced, sectionsOffset, names);
    fileHeader.PointerToSymbolTable = names.size() > sizeof(DWORD) ? static_cast<DWORD>(reduced.size()) : 0;
    fileHeader.NumberOfSymbols = 0;
    if (fileHeader.PointerToSymbolTable != 0)
        reduced.insert(reduced.end(), names.begin(), names.end());
    Put(reduced, fileHeaderOffset, fileHeader);
    if (has(fields.checkSum, sizeof(DWORD)))
        Put<DWORD>(reduced, optionalOffset + fields.checkSum, 0);
    if (directory(IMAGE_DIRECTORY_ENTRY_SECURITY))
        Put(reduced, optionalOffset + fields.dataDirectory + IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY),
            IMAGE_DATA_DIRECTORY{0, 0});
    outcome = EImageReduction::Reduced;
    return ERROR_SUCCESS;
}
