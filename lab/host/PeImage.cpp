// Stands in for the image loader's view of a PE file: its headers, section table and resource tree.
#include "lab/host/PeImage.h"

#include <algorithm>
#include <cstring>

namespace lab::host {

namespace {

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kResourceDirectoryIndex = 2;

// A numbered entry's id: the low 16 bits of its name field, the entry's Id as the loader reads it. Types,
// names and languages are all 16-bit numbers; the rest of the field (but its top bit) is not looked at,
// neither when an entry is listed nor when one is looked up.
uint16_t NumberedId(uint32_t nameField)
{
    return static_cast<uint16_t>(nameField & 0xFFFF);
}

char UpperAscii(uint32_t c)
{
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
}

}  // namespace

void PeImage::Reset()
{
    m_bImage = false;
    m_bPe32Plus = false;
    m_machine = m_characteristics = m_subsystem = 0;
    m_sizeOfHeaders = m_resourceRva = m_resourceSize = 0;
    m_sections.clear();
    m_resourceBytes.clear();
    m_resourceOffset = 0;
}

bool PeImage::Parse(std::vector<uint8_t> bytes)
{
    Reset();
    m_bytes = std::move(bytes);
    m_fileSize = m_bytes.size();
    uint64_t wanted = 0;
    m_bImage = ParseHeaders(wanted) == Headers::Image;
    return m_bImage;
}

bool PeImage::Load(uint64_t fileSize, const FileReader& read)
{
    // Enough for the headers of every usual image; longer ones are read on to their end.
    constexpr size_t kFirstRead = 4096;
    Reset();
    m_bytes.clear();
    m_fileSize = fileSize;
    uint64_t wanted = std::min<uint64_t>(fileSize, kFirstRead);
    Headers headers = Headers::NeedMore;
    while (headers == Headers::NeedMore) {
        const size_t have = m_bytes.size();
        std::vector<uint8_t> more;
        if (!read(have, static_cast<size_t>(wanted - have), more))
            return false;
        m_bytes.insert(m_bytes.end(), more.begin(), more.end());
        if (m_bytes.size() < wanted)
            m_fileSize = m_bytes.size();  // the file shrank under us
        headers = ParseHeaders(wanted);
    }
    if (headers != Headers::Image)
        return false;
    m_bImage = true;
    // Only the section the resource directory lies in; the resources of usual images are all there.
    for (const PeSection& section : m_sections) {
        uint64_t span = section.rawSize;
        if (section.virtualSize != 0 && section.virtualSize < span)
            span = section.virtualSize;
        if (m_resourceRva < section.virtualAddress || m_resourceRva >= section.virtualAddress + span)
            continue;
        const uint64_t begin = section.rawOffset;
        const uint64_t end = std::min(begin + span, m_fileSize);
        if (begin < end && end > m_bytes.size()) {
            if (!read(begin, static_cast<size_t>(end - begin), m_resourceBytes))
                return false;
            m_resourceOffset = begin;
        }
        break;
    }
    return true;
}

PeImage::Headers PeImage::ParseHeaders(uint64_t& wanted)
{
    // Headers that end past the file are cut short; past the bytes held, they are read on.
    auto held = [&](uint64_t end) {
        if (end > m_fileSize)
            return Headers::NotImage;
        if (end > m_bytes.size()) {
            wanted = end;
            return Headers::NeedMore;
        }
        return Headers::Image;
    };
    Headers state = held(0x40);
    if (state != Headers::Image)
        return state;
    if (m_bytes[0] != 'M' || m_bytes[1] != 'Z')
        return Headers::NotImage;
    const uint64_t peOffset = U32(&m_bytes[0x3C]);
    if ((state = held(peOffset + 4 + kFileHeaderSize)) != Headers::Image)
        return state;
    if (std::memcmp(&m_bytes[peOffset], "PE\0\0", 4) != 0)
        return Headers::NotImage;
    const uint8_t* fileHeader = &m_bytes[peOffset + 4];
    const uint16_t sectionCount = U16(fileHeader + 2);
    const uint16_t optionalSize = U16(fileHeader + 16);
    const uint64_t optionalOffset = peOffset + 4 + kFileHeaderSize;
    if (optionalSize < 2)
        return Headers::NotImage;
    const uint64_t sectionsOffset = optionalOffset + optionalSize;
    if ((state = held(sectionsOffset)) != Headers::Image)
        return state;
    const uint8_t* optional = &m_bytes[optionalOffset];
    const uint16_t magic = U16(optional);
    if (magic != 0x10B && magic != 0x20B)
        return Headers::NotImage;
    if ((state = held(sectionsOffset + uint64_t(sectionCount) * kSectionHeaderSize)) != Headers::Image)
        return state;
    fileHeader = &m_bytes[peOffset + 4];
    optional = &m_bytes[optionalOffset];
    m_machine = U16(fileHeader);
    m_characteristics = U16(fileHeader + 18);
    m_bPe32Plus = magic == 0x20B;
    // Fields past the optional header's stated size are taken as absent, as a short header states.
    auto field32 = [&](size_t at, uint32_t& value) {
        if (at + 4 <= optionalSize)
            value = U32(optional + at);
    };
    if (optionalSize >= 70)
        m_subsystem = U16(optional + 68);
    field32(60, m_sizeOfHeaders);
    uint32_t directoryCount = 0;
    const size_t countAt = m_bPe32Plus ? 108 : 92;
    field32(countAt, directoryCount);
    const size_t resourceAt = countAt + 4 + kResourceDirectoryIndex * 8;
    if (directoryCount > kResourceDirectoryIndex) {
        field32(resourceAt, m_resourceRva);
        field32(resourceAt + 4, m_resourceSize);
    }

    m_sections.reserve(sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* header = &m_bytes[sectionsOffset + i * kSectionHeaderSize];
        PeSection section;
        size_t nameLength = 0;
        while (nameLength < 8 && header[nameLength] != 0)
            ++nameLength;
        section.name.assign(reinterpret_cast<const char*>(header), nameLength);
        section.virtualSize = U32(header + 8);
        section.virtualAddress = U32(header + 12);
        section.rawSize = U32(header + 16);
        section.rawOffset = U32(header + 20);
        section.characteristics = U32(header + 36);
        m_sections.push_back(section);
    }
    return Headers::Image;
}

bool PeImage::RvaToOffset(uint32_t rva, uint32_t size, size_t& offset) const
{
    if (!m_bImage)
        return false;
    const uint64_t end = uint64_t(rva) + size;
    if (end <= m_sizeOfHeaders && end <= m_fileSize) {
        offset = rva;
        return true;
    }
    for (const PeSection& section : m_sections) {
        // Only what the file holds: the zero-filled tail of a section is not data of the file.
        uint64_t span = section.rawSize;
        if (section.virtualSize != 0 && section.virtualSize < span)
            span = section.virtualSize;
        if (rva < section.virtualAddress || end > section.virtualAddress + span)
            continue;
        const uint64_t fileOffset = uint64_t(section.rawOffset) + (rva - section.virtualAddress);
        if (fileOffset + size > m_fileSize)
            return false;
        offset = static_cast<size_t>(fileOffset);
        return true;
    }
    return false;
}

const uint8_t* PeImage::DataAt(uint64_t offset, size_t size) const
{
    if (offset <= m_bytes.size() && size <= m_bytes.size() - offset)
        return m_bytes.data() + offset;
    if (offset >= m_resourceOffset && offset - m_resourceOffset <= m_resourceBytes.size() &&
        size <= m_resourceBytes.size() - (offset - m_resourceOffset))
        return m_resourceBytes.data() + (offset - m_resourceOffset);
    return nullptr;
}

bool PeImage::ReadAt(size_t offset, void* out, size_t size) const
{
    const uint8_t* p = DataAt(offset, size);
    if (!p)
        return false;
    std::memcpy(out, p, size);
    return true;
}

bool PeImage::ReadRva(uint32_t rva, void* out, size_t size) const
{
    size_t offset = 0;
    return size <= UINT32_MAX && RvaToOffset(rva, static_cast<uint32_t>(size), offset) && ReadAt(offset, out, size);
}

bool PeImage::HasResources() const
{
    uint8_t header[16];
    return m_bImage && m_resourceRva != 0 && ReadRva(m_resourceRva, header, sizeof header);
}

bool PeImage::Directory(uint32_t offset, std::vector<DirEntry>& entries) const
{
    entries.clear();
    const uint64_t rva = uint64_t(m_resourceRva) + offset;
    uint8_t header[16];
    if (rva > UINT32_MAX || !ReadRva(static_cast<uint32_t>(rva), header, sizeof header))
        return false;
    const size_t count = size_t(U16(header + 12)) + U16(header + 14);
    if (count == 0)
        return true;
    std::vector<uint8_t> raw(count * 8);
    if (rva + 16 > UINT32_MAX || !ReadRva(static_cast<uint32_t>(rva + 16), raw.data(), raw.size()))
        return false;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i)
        entries.push_back({U32(&raw[i * 8]), U32(&raw[i * 8 + 4])});
    return true;
}

bool PeImage::Matches(const DirEntry& entry, const ResourceId& id) const
{
    const bool bNamedEntry = (entry.nameField & kHighBit) != 0;
    if (bNamedEntry != id.bNamed)
        return false;
    if (!id.bNamed)
        return NumberedId(entry.nameField) == id.id;
    const uint64_t rva = uint64_t(m_resourceRva) + (entry.nameField & ~kHighBit);
    uint8_t lengthBytes[2];
    if (rva > UINT32_MAX || !ReadRva(static_cast<uint32_t>(rva), lengthBytes, 2))
        return false;
    const uint16_t length = U16(lengthBytes);
    if (length != id.name.size())
        return false;
    std::vector<uint8_t> text(size_t(length) * 2);
    if (rva + 2 > UINT32_MAX || !ReadRva(static_cast<uint32_t>(rva + 2), text.data(), text.size()))
        return false;
    for (size_t i = 0; i < length; ++i) {
        const uint32_t unit = U16(&text[i * 2]);
        if (unit > 0xFF || UpperAscii(unit) != UpperAscii(static_cast<unsigned char>(id.name[i])))
            return false;
    }
    return true;
}

PeImage::Step PeImage::Descend(uint32_t offset, const ResourceId& id, uint32_t& subdir) const
{
    std::vector<DirEntry> entries;
    if (!Directory(offset, entries))
        return Step::Unreadable;
    for (const DirEntry& entry : entries) {
        if ((entry.dataField & kHighBit) != 0 && Matches(entry, id)) {
            subdir = entry.dataField & ~kHighBit;
            return Step::Found;
        }
    }
    return Step::Missing;
}

PeImage::Lookup PeImage::FindResource(const ResourceId& type, const ResourceId& name, const uint16_t* pLanguage,
                                      PeResource& resource) const
{
    if (!HasResources())
        return Lookup::NoResources;
    uint32_t typeDir = 0;
    uint32_t nameDir = 0;
    Step step = Descend(0, type, typeDir);
    if (step != Step::Found)
        return step == Step::Missing ? Lookup::TypeNotFound : Lookup::Damaged;
    step = Descend(typeDir, name, nameDir);
    if (step != Step::Found)
        return step == Step::Missing ? Lookup::NameNotFound : Lookup::Damaged;
    std::vector<DirEntry> languages;
    if (!Directory(nameDir, languages))
        return Lookup::Damaged;
    for (const DirEntry& entry : languages) {
        if ((entry.dataField & kHighBit) != 0 || (entry.nameField & kHighBit) != 0)
            continue;
        if (pLanguage && NumberedId(entry.nameField) != *pLanguage)
            continue;
        const uint64_t rva = uint64_t(m_resourceRva) + entry.dataField;
        uint8_t dataEntry[16];
        if (rva > UINT32_MAX || !ReadRva(static_cast<uint32_t>(rva), dataEntry, sizeof dataEntry))
            return Lookup::Damaged;
        size_t offset = 0;
        const uint32_t size = U32(dataEntry + 4);
        const uint8_t* data = RvaToOffset(U32(dataEntry), size, offset) ? DataAt(offset, size) : nullptr;
        if (!data)
            return Lookup::Damaged;
        resource.language = NumberedId(entry.nameField);
        resource.codePage = U32(dataEntry + 8);
        resource.data = data;
        resource.size = size;
        return Lookup::Found;
    }
    return Lookup::LanguageNotFound;
}

std::vector<uint16_t> PeImage::Languages(const ResourceId& type, const ResourceId& name) const
{
    std::vector<uint16_t> result;
    uint32_t typeDir = 0;
    uint32_t nameDir = 0;
    std::vector<DirEntry> languages;
    if (!HasResources() || Descend(0, type, typeDir) != Step::Found ||
        Descend(typeDir, name, nameDir) != Step::Found || !Directory(nameDir, languages))
        return result;
    for (const DirEntry& entry : languages) {
        if ((entry.dataField & kHighBit) == 0 && (entry.nameField & kHighBit) == 0)
            result.push_back(NumberedId(entry.nameField));
    }
    return result;
}

}  // namespace lab::host
