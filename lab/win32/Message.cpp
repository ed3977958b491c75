// Stands in for kernel32's message formatting (FormatMessageA) and the local heap its buffers come from.
//
// Message definitions come from the message table of a data module (a real PE file mapped with
// LoadLibraryExA), from a string, or from the small table of system messages below. The system
// table holds the English texts of the Win32 errors the program and the lab meet; any other number
// is ERROR_MR_MID_NOT_FOUND, as a message missing from a real table would be.
#include "lab/win32/Message.h"

#include "lab/host/Host.h"
#include "lab/host/PeImage.h"
#include "lab/host/RegFile.h"
#include "lab/win32/ImageFiles.h"
#include "lab/win32/MessageControl.h"
#include "lab/win32/SysInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint16_t kRtMessageTable = 11;
// Windows refuses to produce more than this; the lab also stops expanding there.
constexpr size_t kMaxMessageBytes = 128 * 1024;
// A width or precision taken from an argument is cut to something printable.
constexpr long kMaxFieldWidth = 0x10000;

struct SystemMessage {
    DWORD id;
    const char* text;
};

const SystemMessage kSystemMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {50, "The request is not supported.\r\n"},
    {53, "The network path was not found.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {111, "The file name is too long.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {288, "Attempt to release mutex not owned by caller.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {1051, "A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1055, "The service database is locked.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058, "The service cannot be started, either because it is disabled or because it has no enabled devices "
           "associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1067, "The process terminated unexpectedly.\r\n"},
    {1068, "The dependency service or group failed to start.\r\n"},
    {1069, "The service did not start due to a logon failure.\r\n"},
    {1605, "This action is only valid for products that are currently installed.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1812, "The specified image file did not contain a resource section.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
    {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
    {1818, "The remote procedure call was cancelled.\r\n"},
    // COM's own codes, as the system's message table holds them.
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x80010002, "Call was canceled by the message filter.\r\n"},
    {0x80010008, "The callee (server [not server application]) is not available and disappeared; all connections "
                 "are invalid. The call did not execute.\r\n"},
    {0x80010106, "Cannot change thread mode after it is set.\r\n"},
    {0x80010107, "The method called does not exist on the server.\r\n"},
    {0x80010108, "The object invoked has disconnected from its clients.\r\n"},
    {0x80010119, "Security must be initialized before any interfaces are marshalled or unmarshalled. It cannot be "
                 "changed once initialized.\r\n"},
    {0x80020003, "Member not found.\r\n"},
    {0x80020004, "Parameter not found.\r\n"},
    {0x80020005, "Type mismatch.\r\n"},
    {0x80020006, "Unknown name.\r\n"},
    {0x8002000E, "Invalid number of parameters.\r\n"},
    {0x80040154, "Class not registered\r\n"},
    {0x800401F0, "CoInitialize has not been called.\r\n"},
    {0x80080005, "Server execution failed\r\n"},
};

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// UTF-16LE units up to the first NUL (or the end), as the ANSI code page has them.
std::string AnsiFromWide(const uint8_t* p, size_t bytes)
{
    size_t length = 0;
    while (length + 2 <= bytes && U16(p + length) != 0)
        length += 2;
    return lab::host::AnsiFromUtf16Le(std::string(reinterpret_cast<const char*>(p), length));
}

// The message id in a message table resource (blocks of consecutive ids, each entry with its length).
bool FindInTable(const uint8_t* data, size_t size, DWORD id, std::string& text)
{
    if (size < 4)
        return false;
    const size_t blocks = std::min<size_t>(U32(data), (size - 4) / 12);
    for (size_t i = 0; i < blocks; ++i) {
        const uint8_t* block = data + 4 + i * 12;
        const DWORD low = U32(block);
        const DWORD high = U32(block + 4);
        if (id < low || id > high)
            continue;
        size_t offset = U32(block + 8);
        // Every entry is at least its 4-byte header long, so the walk ends within the table.
        for (DWORD skip = id - low;; --skip) {
            if (offset > size || size - offset < 4)
                return false;
            const size_t length = U16(data + offset);
            if (length < 4 || length > size - offset)
                return false;
            if (skip == 0) {
                const uint8_t* body = data + offset + 4;
                const size_t bodySize = length - 4;
                if ((U16(data + offset + 2) & 1) != 0) {
                    text = AnsiFromWide(body, bodySize);
                } else {
                    const void* nul = std::memchr(body, 0, bodySize);
                    text.assign(reinterpret_cast<const char*>(body),
                                nul ? static_cast<const uint8_t*>(nul) - body : bodySize);
                }
                return true;
            }
            offset += length;
        }
    }
    return false;
}

WORD ProfileLanguage()
{
    std::string locale = lab::host::Host::Instance().Settings().Get("System", "Locale", "1033");
    return LANGIDFROMLCID(std::strtoul(locale.c_str(), nullptr, 0));
}

// The languages FormatMessageA tries for a neutral language id, in its order.
std::vector<WORD> LanguageChain(DWORD languageId)
{
    const WORD thread = LANGIDFROMLCID(GetThreadLocale());
    const WORD profile = ProfileLanguage();  // the server's user and system default alike
    std::vector<WORD> chain;
    if (SUBLANGID(languageId) == SUBLANG_DEFAULT || SUBLANGID(languageId) == SUBLANG_SYS_DEFAULT)
        chain.push_back(profile);
    for (WORD language : {WORD(0), thread, profile, profile, WORD(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))}) {
        if (std::find(chain.begin(), chain.end(), language) == chain.end())
            chain.push_back(language);
    }
    return chain;
}

bool IsSpecific(DWORD languageId)
{
    return PRIMARYLANGID(languageId) != LANG_NEUTRAL;
}

// A message of a data module's table; false with the error FormatMessageA gives.
bool ModuleMessage(const lab::host::PeImage& image, DWORD id, DWORD languageId, std::string& text, DWORD& error)
{
    lab::host::PeResource resource;
    const std::vector<WORD> available = image.Languages(kRtMessageTable, 1);
    if (available.empty()) {
        lab::host::PeImage::Lookup lookup = image.FindResource(kRtMessageTable, 1, nullptr, resource);
        error = lookup == lab::host::PeImage::Lookup::Found ? ERROR_RESOURCE_LANG_NOT_FOUND
                                                            : lab::win32::ResourceError(lookup);
        return false;
    }
    std::vector<WORD> order;
    if (IsSpecific(languageId)) {
        if (std::find(available.begin(), available.end(), WORD(languageId)) == available.end()) {
            error = ERROR_RESOURCE_LANG_NOT_FOUND;
            return false;
        }
        order.push_back(WORD(languageId));
    } else {
        // Then any language there is, in the order of the file.
        order = LanguageChain(languageId);
        order.insert(order.end(), available.begin(), available.end());
    }
    for (WORD language : order) {
        if (image.FindResource(kRtMessageTable, 1, &language, resource) == lab::host::PeImage::Lookup::Found &&
            FindInTable(resource.data, resource.size, id, text))
            return true;
    }
    error = ERROR_MR_MID_NOT_FOUND;
    return false;
}

bool SystemMessageText(DWORD id, DWORD languageId, std::string& text, DWORD& error)
{
    if (IsSpecific(languageId) && PRIMARYLANGID(languageId) != LANG_ENGLISH) {
        error = ERROR_RESOURCE_LANG_NOT_FOUND;
        return false;
    }
    // An HRESULT made from a system error code has that code's text.
    if ((id & 0xFFFF0000u) == 0x80070000u)
        id &= 0xFFFFu;
    for (const SystemMessage& message : kSystemMessages) {
        if (message.id == id) {
            text = message.text;
            return true;
        }
    }
    error = ERROR_MR_MID_NOT_FOUND;
    return false;
}

// One insert sequence "%n" or "%n!format!" at text[at] ('%'); end is where the text goes on.
struct Insert {
    int number = 0;
    std::string format = "s";
    size_t end = 0;
};

bool ParseInsert(const std::string& text, size_t at, Insert& insert)
{
    size_t i = at + 1;
    if (i >= text.size() || text[i] < '1' || text[i] > '9')
        return false;
    insert.number = text[i++] - '0';
    if (i < text.size() && text[i] >= '0' && text[i] <= '9')
        insert.number = insert.number * 10 + (text[i++] - '0');
    insert.format = "s";
    if (i < text.size() && text[i] == '!') {
        size_t close = text.find('!', i + 1);
        if (close != std::string::npos) {
            insert.format = text.substr(i + 1, close - i - 1);
            i = close + 1;
        }
    }
    insert.end = i;
    return true;
}

int Stars(const std::string& format)
{
    return static_cast<int>(std::count(format.begin(), format.end(), '*'));
}

// The arguments an insert may use, however they were passed.
class ArgumentList {
public:
    ArgumentList(va_list* pArguments, bool bArray, const std::string& text) : m_pArray(nullptr)
    {
        if (!pArguments)
            return;
        if (bArray) {
            m_pArray = reinterpret_cast<const DWORD_PTR*>(pArguments);
            return;
        }
        // A va_list is read up to the highest argument any insert uses, each as one machine word.
        int count = 0;
        Insert insert;
        for (size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i + 1)) {
            if (i + 1 < text.size() && text[i + 1] == '%') {
                ++i;
                continue;
            }
            if (ParseInsert(text, i, insert))
                count = std::max(count, insert.number + Stars(insert.format));
        }
        va_list copy;
        va_copy(copy, *pArguments);
        for (int k = 0; k < count; ++k)
            m_values.push_back(va_arg(copy, DWORD_PTR));
        va_end(copy);
    }

    bool Present() const { return m_pArray || !m_values.empty(); }
    DWORD_PTR At(int number) const
    {
        if (m_pArray)
            return m_pArray[number - 1];
        return size_t(number) <= m_values.size() ? m_values[number - 1] : 0;
    }

private:
    const DWORD_PTR* m_pArray;
    std::vector<DWORD_PTR> m_values;
};

// An insert's format taken apart: printf's flags, width and precision, Windows' size prefix, the conversion.
struct InsertFormat {
    std::string flags;
    long width = 0;
    long precision = 0;
    bool bWidth = false;
    bool bPrecision = false;
    bool bWide = false;  // for c and s; for integers Windows' long is 32 bits
    bool b64 = false;
    bool bShort = false;
    char conversion = 0;
    int valueNumber = 0;  // the argument printed, after those the stars took
};

// A width or precision at f[i]: digits, or '*' for the next argument. False when there is none.
bool ParseField(const std::string& f, size_t& i, const ArgumentList& arguments, int& next, long& value)
{
    if (i < f.size() && f[i] == '*') {
        value = static_cast<int>(arguments.At(next++));
        ++i;
        return true;
    }
    bool bPresent = false;
    value = 0;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        value = std::min(value * 10 + (f[i++] - '0'), kMaxFieldWidth);
        bPresent = true;
    }
    return bPresent;
}

void ParseSizePrefix(const std::string& f, size_t& i, InsertFormat& format)
{
    if (f.compare(i, 3, "I64") == 0) {
        format.b64 = true;
        i += 3;
    } else if (f.compare(i, 3, "I32") == 0) {
        i += 3;
    } else if (f.compare(i, 2, "ll") == 0) {
        format.b64 = true;
        i += 2;
    } else if (i < f.size() && f[i] == 'I') {
        format.b64 = true;  // pointer-sized on a 64-bit system
        ++i;
    } else if (i < f.size() && (f[i] == 'l' || f[i] == 'w')) {
        format.bWide = true;
        ++i;
    } else if (i < f.size() && f[i] == 'h') {
        format.bShort = true;
        ++i;
    }
}

// False when the format is not one printf would take whole.
bool ParseInsertFormat(const Insert& insert, const ArgumentList& arguments, InsertFormat& format)
{
    const std::string& f = insert.format;
    size_t i = 0;
    while (i < f.size() && f[i] != '\0' && std::strchr("-+ #0", f[i]))
        format.flags += f[i++];
    int next = insert.number;
    format.bWidth = ParseField(f, i, arguments, next, format.width);
    if (format.width < 0) {
        format.flags += '-';
        format.width = -format.width;
    }
    if (i < f.size() && f[i] == '.') {
        ++i;
        ParseField(f, i, arguments, next, format.precision);
        format.bPrecision = format.precision >= 0;  // as printf: a negative precision is none
    }
    format.width = std::min(format.width, kMaxFieldWidth);
    format.precision = std::min(format.precision, kMaxFieldWidth);
    ParseSizePrefix(f, i, format);
    if (i + 1 != f.size())
        return false;
    format.conversion = f[i];
    format.valueNumber = next;
    return true;
}

template <typename T>
std::string Printed(const std::string& format, T argument)
{
    int needed = std::snprintf(nullptr, 0, format.c_str(), argument);
    if (needed <= 0)
        return std::string();
    std::vector<char> buffer(size_t(needed) + 1);
    std::snprintf(buffer.data(), buffer.size(), format.c_str(), argument);
    return std::string(buffer.data(), size_t(needed));
}

// d, i, u, o, x and X at the argument's size: 64 bits, 16, or else 32.
std::string IntegerPiece(const InsertFormat& format, const std::string& prefix, DWORD_PTR value)
{
    const char conversion = format.conversion;
    if (conversion == 'd' || conversion == 'i') {
        if (format.b64)
            return Printed(prefix + "lld", static_cast<long long>(value));
        if (format.bShort)
            return Printed(prefix + "d", static_cast<int>(static_cast<short>(value)));
        return Printed(prefix + "d", static_cast<int>(static_cast<uint32_t>(value)));
    }
    if (format.b64)
        return Printed(prefix + "ll" + conversion, static_cast<unsigned long long>(value));
    if (format.bShort)
        return Printed(prefix + conversion, static_cast<unsigned>(static_cast<uint16_t>(value)));
    return Printed(prefix + conversion, static_cast<unsigned>(static_cast<uint32_t>(value)));
}

// c, C, s and S: the argument's character or text, wide ones in the ANSI code page.
std::string TextPiece(const InsertFormat& format, const std::string& prefix, DWORD_PTR value)
{
    const bool bWide = format.bWide || format.conversion == 'C' || format.conversion == 'S';
    std::string text;
    if (format.conversion == 'c' || format.conversion == 'C') {
        const uint8_t unit[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF)};
        text = bWide ? AnsiFromWide(unit, 2) : std::string(1, static_cast<char>(value & 0xFF));
    } else if (value == 0) {
        text = "(null)";
    } else if (bWide) {
        const auto* p = reinterpret_cast<const uint8_t*>(value);
        size_t bytes = 0;
        while (U16(p + bytes) != 0)
            bytes += 2;
        text = AnsiFromWide(p, bytes);
    } else {
        text = reinterpret_cast<const char*>(value);
    }
    return Printed(prefix + "s", text.c_str());
}

// "s", "-10s", "*.*s", "08lX", "I64u", "ws", "p": printf's grammar with Windows' size prefixes.
bool FormatInsert(const Insert& insert, const ArgumentList& arguments, std::string& out)
{
    InsertFormat format;
    if (!ParseInsertFormat(insert, arguments, format))
        return false;
    std::string prefix = "%" + format.flags;
    if (format.bWidth)
        prefix += std::to_string(format.width);
    if (format.bPrecision)
        prefix += "." + std::to_string(format.precision);
    const DWORD_PTR value = arguments.At(format.valueNumber);
    switch (format.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        out += IntegerPiece(format, prefix, value);
        return true;
    case 'c':
    case 'C':
    case 's':
    case 'S':
        out += TextPiece(format, prefix, value);
        return true;
    case 'p':
        out += Printed("%016llX", static_cast<unsigned long long>(value));
        return true;
    default:
        return false;
    }
}

// Breaks a line at blanks so that no line is longer than width, never inside a word.
std::string Wrap(const std::string& line, size_t width)
{
    std::string out;
    size_t column = 0;
    size_t i = 0;
    while (i < line.size()) {
        size_t wordStart = line.find_first_not_of(' ', i);
        if (wordStart == std::string::npos) {
            out.append(line, i, std::string::npos);
            break;
        }
        size_t wordEnd = line.find(' ', wordStart);
        if (wordEnd == std::string::npos)
            wordEnd = line.size();
        const size_t blanks = wordStart - i;
        const size_t word = wordEnd - wordStart;
        if (column > 0 && column + blanks + word > width) {
            out += "\r\n";
            column = 0;
        } else {
            out.append(line, i, blanks);
            column += blanks;
        }
        out.append(line, wordStart, word);
        column += word;
        i = wordEnd;
    }
    return out;
}

// The message with its inserts and escapes worked out; false with the error to report.
bool Expand(const std::string& text, DWORD flags, va_list* pArguments, std::string& out, DWORD& error)
{
    const bool bIgnoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const ArgumentList arguments(bIgnoreInserts ? nullptr : pArguments,
                                 (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, text);
    // Lines end at hard breaks (%n); with a width, the line ends of the definition are mere blanks.
    std::vector<std::string> lines(1);
    size_t total = 0;
    size_t i = 0;
    while (i < text.size()) {
        const size_t lineCount = lines.size();
        const size_t lineSize = lines.back().size();
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            const size_t breakLength = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            if (width == 0)
                lines.back().append(text, i, breakLength);
            else
                lines.back() += ' ';
            i += breakLength;
        } else if (c != '%') {
            lines.back() += c;
            ++i;
        } else if (i + 1 >= text.size()) {
            ++i;  // a lone sign at the very end stands for nothing
        } else if (text[i + 1] == '0') {
            break;  // the message ends here, without a line end
        } else {
            Insert insert;
            if (ParseInsert(text, i, insert)) {
                if (bIgnoreInserts) {
                    lines.back().append(text, i, insert.end - i);
                } else if (!arguments.Present()) {
                    error = ERROR_INVALID_PARAMETER;
                    return false;
                } else if (!FormatInsert(insert, arguments, lines.back())) {
                    lines.back().append(text, i, insert.end - i);  // a format printf has no meaning for
                }
                i = insert.end;
            } else {
                const char escape = text[i + 1];
                if (escape == 'n')
                    lines.emplace_back();
                else
                    lines.back() += escape == 'r' ? '\r' : escape == 't' ? '\t' : escape;
                i += 2;
            }
        }
        total += lines.size() != lineCount ? 2 : lines.back().size() - lineSize;
        if (total > kMaxMessageBytes) {
            error = ERROR_MORE_DATA;
            return false;
        }
    }
    out.clear();
    for (size_t k = 0; k < lines.size(); ++k) {
        if (k > 0)
            out += "\r\n";
        out += (width == 0 || width == FORMAT_MESSAGE_MAX_WIDTH_MASK) ? lines[k] : Wrap(lines[k], width);
    }
    return true;
}

struct LocalHeap {
    std::mutex lock;
    std::unordered_map<void*, size_t> blocks;
};

LocalHeap& TheLocalHeap()
{
    static LocalHeap* pHeap = new LocalHeap;  // outlives every static destructor
    return *pHeap;
}

}  // namespace

namespace lab::win32 {

size_t LocalAllocationCount()
{
    LocalHeap& heap = TheLocalHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    return heap.blocks.size();
}

}  // namespace lab::win32

// The lab's memory never moves, so a movable block is handed out as a fixed one.
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    void* p = (uFlags & LMEM_ZEROINIT) ? std::calloc(uBytes ? uBytes : 1, 1) : std::malloc(uBytes ? uBytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LocalHeap& heap = TheLocalHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    heap.blocks[p] = uBytes;
    return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    if (!hMem)
        return nullptr;
    LocalHeap& heap = TheLocalHeap();
    {
        std::lock_guard<std::mutex> guard(heap.lock);
        // Freeing twice, or something LocalAlloc never gave, fails instead of corrupting the heap.
        if (heap.blocks.erase(hMem) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    std::free(hMem);
    return nullptr;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, va_list* Arguments)
{
    // A caller that frees the buffer after a failure frees nothing.
    const bool bAllocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (bAllocate && lpBuffer)
        *reinterpret_cast<LPSTR*>(lpBuffer) = nullptr;
    const DWORD sources =
        dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM);
    const bool bFromString = (dwFlags & FORMAT_MESSAGE_FROM_STRING) != 0;
    if (sources == 0 || (bFromString && sources != FORMAT_MESSAGE_FROM_STRING) || !lpBuffer ||
        (bFromString && !lpSource)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    std::string definition;
    DWORD error = ERROR_SUCCESS;
    bool bFound = false;
    if (bFromString) {
        definition = static_cast<const char*>(lpSource);
        bFound = true;
    }
    if (!bFound && (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) != 0) {
        // The program's own image (NULL) and the lab's built-in modules carry no message table.
        auto pImage = lab::win32::DataModuleImage(static_cast<HMODULE>(const_cast<void*>(lpSource)));
        if (pImage)
            bFound = ModuleMessage(*pImage, dwMessageId, dwLanguageId, definition, error);
        else
            error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
    if (!bFound && (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0)
        bFound = SystemMessageText(dwMessageId, dwLanguageId, definition, error);
    if (!bFound) {
        SetLastError(error);
        return 0;
    }

    std::string message;
    if (!Expand(definition, dwFlags, Arguments, message, error)) {
        SetLastError(error);
        return 0;
    }
    if (bAllocate) {
        // Nothing to hand out: no block the caller would have to free after a zero result.
        if (message.empty()) {
            SetLastError(ERROR_SUCCESS);
            return 0;
        }
        size_t bytes = std::max<size_t>(message.size() + 1, nSize);
        auto* p = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
        if (!p)
            return 0;
        std::memcpy(p, message.c_str(), message.size() + 1);
        *reinterpret_cast<LPSTR*>(lpBuffer) = p;
        return static_cast<DWORD>(message.size());
    }
    if (message.size() + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, message.c_str(), message.size() + 1);
    return static_cast<DWORD>(message.size());
}
