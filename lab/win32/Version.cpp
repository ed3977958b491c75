// Stands in for version.dll: the version resource of a file, read from the real PE file on the lab's drives.
//
// A PE file holds its version resource in the 32-bit layout, whose keys and strings are UTF-16. The A
// functions hand out 8-bit strings, so GetFileVersionInfoA converts the whole tree once into the
// 8-bit layout of the older format (same nesting and 4-byte alignment, keys and strings in the ANSI
// code page), and VerQueryValueA answers from that. The block stays the caller's memory; every
// pointer VerQueryValueA returns points into it.
#include "lab/win32/Version.h"

#include "lab/host/PeImage.h"
#include "lab/host/RegFile.h"
#include "lab/win32/ImageFiles.h"
#include "lab/win32/SysInfo.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kRtVersion = 16;
constexpr int kMaxDepth = 8;  // the real tree is four deep; anything deeper is garbage
const char kRootKey[] = "VS_VERSION_INFO";

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

size_t Align4(size_t offset)
{
    return (offset + 3) & ~size_t(3);
}

struct VersionNode {
    std::string key;
    uint16_t valueLength = 0;    // as the 8-bit layout states it: bytes, or characters with the NUL
    std::vector<uint8_t> value;  // binary data, or the 8-bit text with its NUL
    std::vector<VersionNode> children;
};

// One node of the 32-bit layout at offset, inside [0, limit) of data; its end (without padding) in end.
bool ParseWide(const uint8_t* data, size_t offset, size_t limit, int depth, VersionNode& node, size_t& end)
{
    if (depth > kMaxDepth || offset + 6 > limit)
        return false;
    const size_t length = U16(data + offset);
    const uint16_t valueLength = U16(data + offset + 2);
    const bool bText = U16(data + offset + 4) == 1;
    if (length < 6 || offset + length > limit)
        return false;
    end = offset + length;

    size_t keyEnd = offset + 6;
    while (keyEnd + 2 <= end && U16(data + keyEnd) != 0)
        keyEnd += 2;
    if (keyEnd + 2 > end)
        return false;  // a key without its terminator
    node.key = lab::host::AnsiFromUtf16Le(
        std::string(reinterpret_cast<const char*>(data + offset + 6), keyEnd - (offset + 6)));

    // Some resource compilers count a string's length in bytes: never read past the node.
    const size_t valueStart = Align4(keyEnd + 2);
    size_t valueBytes = bText ? size_t(valueLength) * 2 : valueLength;
    if (valueStart >= end)
        valueBytes = 0;
    else if (valueStart + valueBytes > end)
        valueBytes = end - valueStart;
    if (bText) {
        size_t textEnd = valueStart;
        while (textEnd + 2 <= valueStart + valueBytes && U16(data + textEnd) != 0)
            textEnd += 2;
        if (valueLength != 0) {
            std::string text = lab::host::AnsiFromUtf16Le(
                std::string(reinterpret_cast<const char*>(data + valueStart), textEnd - valueStart));
            node.value.assign(text.begin(), text.end());
            node.value.push_back(0);
        }
        node.valueLength = static_cast<uint16_t>(node.value.size());
    } else if (valueBytes > 0) {
        node.value.assign(data + valueStart, data + valueStart + valueBytes);
        node.valueLength = static_cast<uint16_t>(valueBytes);
    }

    // A child that does not parse ends the list, as the readers of this format do.
    size_t child = Align4(valueStart + valueBytes);
    while (child + 6 <= end) {
        VersionNode childNode;
        size_t childEnd = 0;
        if (!ParseWide(data, child, end, depth + 1, childNode, childEnd))
            break;
        node.children.push_back(std::move(childNode));
        child = Align4(childEnd);
    }
    return true;
}

void Put16(std::vector<uint8_t>& out, size_t at, size_t value)
{
    out[at] = static_cast<uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// Appends node in the 8-bit layout; false when it does not fit the 16-bit length fields.
bool EmitAnsi(const VersionNode& node, std::vector<uint8_t>& out)
{
    const size_t start = out.size();
    out.resize(start + 4);
    Put16(out, start + 2, node.valueLength);
    out.insert(out.end(), node.key.begin(), node.key.end());
    out.push_back(0);
    out.resize(Align4(out.size()));
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        out.resize(Align4(out.size()));
        if (!EmitAnsi(child, out))
            return false;
    }
    if (out.size() - start > 0xFFFF)
        return false;
    Put16(out, start, out.size() - start);
    return true;
}

// The file's version resource in the 8-bit layout; false with the last error set.
bool LoadBlock(LPCSTR path, std::vector<uint8_t>& block)
{
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    lab::host::PeImage image;
    if (!lab::win32::ReadImageFile(path, image))
        return false;
    // A file that is no image at all has no resource section either.
    if (!image.IsImage()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    lab::host::PeResource resource;
    lab::host::PeImage::Lookup lookup = image.FindResource(kRtVersion, 1, nullptr, resource);
    if (lookup != lab::host::PeImage::Lookup::Found) {
        SetLastError(lab::win32::ResourceError(lookup));
        return false;
    }
    VersionNode root;
    size_t end = 0;
    block.clear();
    if (!ParseWide(resource.data, 0, resource.size, 0, root, end) || root.key != kRootKey ||
        !EmitAnsi(root, block)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

// One node of the 8-bit layout, read from a block whose root length bounds every read.
struct AnsiNode {
    size_t end = 0;
    const char* key = nullptr;
    size_t valueOffset = 0;
    size_t valueLength = 0;
    size_t childrenOffset = 0;
};

bool ReadAnsi(const uint8_t* block, size_t offset, size_t limit, AnsiNode& node)
{
    if (offset + 5 > limit)
        return false;
    const size_t length = U16(block + offset);
    if (length < 5 || offset + length > limit)
        return false;
    node.end = offset + length;
    const auto* key = reinterpret_cast<const char*>(block + offset + 4);
    const void* nul = std::memchr(key, 0, node.end - (offset + 4));
    if (!nul)
        return false;
    node.key = key;
    node.valueOffset = Align4(static_cast<size_t>(static_cast<const uint8_t*>(nul) - block) + 1);
    node.valueLength = U16(block + offset + 2);
    if (node.valueOffset >= node.end)
        node.valueLength = 0;
    else if (node.valueOffset + node.valueLength > node.end)
        node.valueLength = node.end - node.valueOffset;
    node.childrenOffset = Align4(node.valueOffset + node.valueLength);
    return true;
}

bool FindChild(const uint8_t* block, const AnsiNode& parent, const std::string& key, AnsiNode& found)
{
    size_t offset = parent.childrenOffset;
    while (offset + 5 <= parent.end) {
        AnsiNode child;
        if (!ReadAnsi(block, offset, parent.end, child))
            return false;
        if (lstrcmpiA(child.key, key.c_str()) == 0) {
            found = child;
            return true;
        }
        offset = Align4(child.end);
    }
    return false;
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle)
        *lpdwHandle = 0;
    std::vector<uint8_t> block;
    if (!LoadBlock(lptstrFilename, block))
        return 0;
    return static_cast<DWORD>(block.size());
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData)
{
    if (!lpData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Below the root's own length field there is nothing a reader could use.
    if (dwLen < 4) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::vector<uint8_t> block;
    if (!LoadBlock(lptstrFilename, block))
        return FALSE;
    // As on Windows a short buffer gets the beginning of the block; its root length is cut to
    // match, so that no query reads past what the caller gave.
    size_t copied = block.size() < dwLen ? block.size() : dwLen;
    if (copied < block.size())
        Put16(block, 0, copied);
    std::memcpy(lpData, block.data(), copied);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    if (!pBlock || !lpSubBlock || !lplpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* block = static_cast<const uint8_t*>(pBlock);
    AnsiNode node;
    if (!ReadAnsi(block, 0, U16(block), node) || std::strcmp(node.key, kRootKey) != 0) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    // "\", "" and "\StringFileInfo\040904B0\FileVersion"; doubled or trailing separators change nothing.
    std::string path = lpSubBlock;
    size_t start = 0;
    while (start < path.size()) {
        size_t stop = path.find('\\', start);
        if (stop == std::string::npos)
            stop = path.size();
        if (stop > start) {
            AnsiNode child;
            if (!FindChild(block, node, path.substr(start, stop - start), child)) {
                SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
                return FALSE;
            }
            node = child;
        }
        start = stop + 1;
    }
    *lplpBuffer = const_cast<uint8_t*>(block + node.valueOffset);
    if (puLen)
        *puLen = static_cast<UINT>(node.valueLength);
    return TRUE;
}
