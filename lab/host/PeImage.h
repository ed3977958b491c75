// Stands in for the image loader's view of a PE file: its headers, section table and resource tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lab::host {

struct PeSection {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;
};

// A resource type or name: a number, or a string compared without regard to ASCII case.
struct ResourceId {
    ResourceId(uint16_t number) : id(number) {}  // NOLINT: numbers are the usual case
    explicit ResourceId(std::string text) : name(std::move(text)), bNamed(true) {}
    uint16_t id = 0;
    std::string name;
    bool bNamed = false;
};

// One resource found: its bytes stay valid while the image lives.
struct PeResource {
    uint16_t language = 0;
    uint32_t codePage = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Reads a file's bytes as the loader does when it maps a file as data: nothing is executed or
// relocated, and every read is checked against the bytes there are, so that a truncated or
// garbage file only ever makes a lookup fail.
class PeImage {
public:
    enum class Lookup {
        Found,
        NoResources,       // no resource directory, or one that lies outside the file
        TypeNotFound,
        NameNotFound,
        LanguageNotFound,
        Damaged,           // a directory on the way, or the data, lies outside the file
    };

    // Reads up to size bytes at a file offset into out (fewer at the end of the file); false on an error.
    using FileReader = std::function<bool(uint64_t offset, size_t size, std::vector<uint8_t>& out)>;

    // False when the bytes are not a PE image (no MZ and PE signatures, or headers cut short).
    bool Parse(std::vector<uint8_t> bytes);
    // The same over a file of fileSize bytes, of which only the headers and the resource section are
    // read: a file that is no image costs one small read. False when it is no image or a read failed.
    bool Load(uint64_t fileSize, const FileReader& read);

    bool IsImage() const { return m_bImage; }
    bool Is64Bit() const { return m_bPe32Plus; }
    uint16_t Machine() const { return m_machine; }
    uint16_t Characteristics() const { return m_characteristics; }
    uint16_t Subsystem() const { return m_subsystem; }
    bool IsDll() const { return (m_characteristics & 0x2000) != 0; }
    const std::vector<PeSection>& Sections() const { return m_sections; }
    // The bytes held from the start of the file: all of them when parsed from memory, the headers when loaded.
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    // Where size bytes at rva lie in the file; false unless all of them are file data.
    bool RvaToOffset(uint32_t rva, uint32_t size, size_t& offset) const;

    bool HasResources() const;
    // The resource of that type and name in that language (nullptr: the first language listed).
    Lookup FindResource(const ResourceId& type, const ResourceId& name, const uint16_t* pLanguage,
                        PeResource& resource) const;
    // The languages a resource exists in, in directory order; empty when there is none.
    std::vector<uint16_t> Languages(const ResourceId& type, const ResourceId& name) const;

private:
    enum class Headers { Image, NotImage, NeedMore };
    // Reads the headers from m_bytes; NeedMore with the length wanted when they go on past it in the file.
    Headers ParseHeaders(uint64_t& wanted);
    void Reset();
    // The held bytes at a file offset, or nullptr when they are not all held.
    const uint8_t* DataAt(uint64_t offset, size_t size) const;

    struct DirEntry {
        uint32_t nameField;
        uint32_t dataField;
    };
    bool ReadAt(size_t offset, void* out, size_t size) const;
    bool ReadRva(uint32_t rva, void* out, size_t size) const;
    // The entries of the resource directory at offset (from the resource base); false if unreadable.
    bool Directory(uint32_t offset, std::vector<DirEntry>& entries) const;
    bool Matches(const DirEntry& entry, const ResourceId& id) const;
    enum class Step { Found, Missing, Unreadable };
    // The subdirectory that the entry for id names in the directory at offset.
    Step Descend(uint32_t offset, const ResourceId& id, uint32_t& subdir) const;

    std::vector<uint8_t> m_bytes;          // from offset 0
    std::vector<uint8_t> m_resourceBytes;  // the resource section's file data, when loaded apart
    uint64_t m_resourceOffset = 0;
    uint64_t m_fileSize = 0;
    bool m_bImage = false;
    bool m_bPe32Plus = false;
    uint16_t m_machine = 0;
    uint16_t m_characteristics = 0;
    uint16_t m_subsystem = 0;
    uint32_t m_sizeOfHeaders = 0;
    uint32_t m_resourceRva = 0;
    uint32_t m_resourceSize = 0;
    std::vector<PeSection> m_sections;
};

}  // namespace lab::host
