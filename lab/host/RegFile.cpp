// Stands in for regedit's .reg files: the text in which a profile describes the registry.
#include "lab/host/RegFile.h"

#include "lab/host/IniFile.h"
#include "lab/host/ProfileValues.h"
#include "lab/host/RegistryTree.h"

#include <cctype>
#include <cstdio>

namespace lab::host {

namespace {

const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";
const size_t kWrapColumn = 80;

// Windows-1252 at 0x80..0x9F; the five holes map to the C1 controls of the same number.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char AnsiFromCodePoint(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == cp)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

char16_t CodeUnitFromAnsi(unsigned char c)
{
    return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : static_cast<char16_t>(c);
}

// Only files with a UTF-8 byte order mark come here; broken sequences become '?'.
std::string AnsiFromUtf8(const std::string& bytes)
{
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            out += '?';
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra && i + k < bytes.size(); ++k) {
            unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (k <= extra) {
            out += '?';
            i += k;
            continue;
        }
        out += AnsiFromCodePoint(cp);
        i += extra + 1;
    }
    return out;
}


bool StartsWithNoCase(const std::string& s, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    }
    return true;
}

// 1..maxDigits hex digits and nothing else.
bool ParseHexNumber(const std::string& text, size_t maxDigits, uint32_t& value)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        int d = HexDigitValue(c);
        if (d < 0)
            return false;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    return true;
}

bool IsStringType(uint32_t type)
{
    return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

struct Line {
    std::string text;
    int number;
};

std::vector<Line> SplitLines(const std::string& text)
{
    std::vector<Line> lines;
    std::string current;
    int number = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back({current, number++});
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty())
        lines.push_back({current, number});
    return lines;
}

class Parser {
public:
    Parser(bool bVersion5, std::vector<RegFileEntry>& entries) : m_bVersion5(bVersion5), m_entries(entries) {}

    bool Run(const std::vector<Line>& lines, size_t first, std::string& error)
    {
        for (size_t i = first; i < lines.size(); ++i) {
            m_line = lines[i].number;
            std::string text = TrimIni(lines[i].text);
            if (text.empty() || text[0] == ';')
                continue;
            bool bOk = false;
            if (text[0] == '[') {
                bOk = KeyLine(text);
            } else if (text[0] == '@' || text[0] == '"') {
                bOk = ValueLine(text, lines, i);
            } else {
                m_error = "neither a key nor a value: " + text;
            }
            if (!bOk) {
                error = "line " + std::to_string(m_line) + ": " + m_error;
                return false;
            }
        }
        return true;
    }

private:
    bool Fail(const std::string& message)
    {
        m_error = message;
        return false;
    }

    bool KeyLine(const std::string& text)
    {
        if (text.back() != ']')
            return Fail("key name without closing ']'");
        std::string path = text.substr(1, text.size() - 2);
        RegFileEntry entry;
        entry.kind = RegFileEntry::Kind::CreateKey;
        if (!path.empty() && path[0] == '-') {
            entry.kind = RegFileEntry::Kind::DeleteKey;
            path.erase(0, 1);
        }
        if (path.empty())
            return Fail("empty key name");
        entry.keyPath = path;
        entry.line = m_line;
        m_entries.push_back(entry);
        m_currentKey = entry.kind == RegFileEntry::Kind::CreateKey ? path : std::string();
        return true;
    }

    // A quoted string with \\ and \" escapes, starting at text[pos] == '"'; pos ends after the closing quote.
    bool Quoted(const std::string& text, size_t& pos, std::string& out)
    {
        out.clear();
        for (++pos; pos < text.size(); ++pos) {
            char c = text[pos];
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c == '\\') {
                if (pos + 1 >= text.size() || (text[pos + 1] != '\\' && text[pos + 1] != '"'))
                    return Fail("unknown escape in quoted string (only \\\\ and \\\" are allowed)");
                c = text[++pos];
            }
            out += c;
        }
        return Fail("quoted string without closing quote");
    }

    bool ValueLine(std::string text, const std::vector<Line>& lines, size_t& index)
    {
        if (m_currentKey.empty())
            return Fail("value outside a key section");
        RegFileEntry entry;
        entry.keyPath = m_currentKey;
        entry.line = m_line;
        size_t pos = 0;
        if (text[0] == '@') {
            pos = 1;
        } else if (!Quoted(text, pos, entry.valueName)) {
            return false;
        }
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos >= text.size() || text[pos] != '=')
            return Fail("'=' expected after the value name");
        std::string data = TrimIni(text.substr(pos + 1));

        // regedit wraps only hex data, with a trailing backslash.
        if (StartsWithNoCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (++index >= lines.size())
                    return Fail("continued line at the end of the file");
                data += TrimIni(lines[index].text);
            }
        }

        if (data == "-") {
            entry.kind = RegFileEntry::Kind::DeleteValue;
        } else if (!Data(data, entry)) {
            return false;
        }
        m_entries.push_back(entry);
        return true;
    }

    bool Data(const std::string& data, RegFileEntry& entry)
    {
        entry.kind = RegFileEntry::Kind::SetValue;
        if (!data.empty() && data[0] == '"') {
            size_t pos = 0;
            std::string text;
            if (!Quoted(data, pos, text))
                return false;
            if (pos != data.size())
                return Fail("text after the closing quote");
            entry.type = regtype::kSz;
            entry.data.assign(text.begin(), text.end());
            entry.data.push_back(0);
            return true;
        }
        if (StartsWithNoCase(data, "dword:")) {
            uint32_t value = 0;
            if (!ParseHexNumber(TrimIni(data.substr(6)), 8, value))
                return Fail("dword needs 1 to 8 hex digits");
            entry.type = regtype::kDword;
            for (int i = 0; i < 4; ++i)
                entry.data.push_back(static_cast<uint8_t>(value >> (8 * i)));
            return true;
        }
        if (StartsWithNoCase(data, "hex")) {
            size_t pos = 3;
            entry.type = regtype::kBinary;
            if (pos < data.size() && data[pos] == '(') {
                size_t close = data.find(')', pos);
                if (close == std::string::npos || !ParseHexNumber(data.substr(pos + 1, close - pos - 1), 8, entry.type))
                    return Fail("hex(N) needs a type of 1 to 8 hex digits");
                pos = close + 1;
            }
            if (pos >= data.size() || data[pos] != ':')
                return Fail("':' expected after hex");
            if (!Bytes(data.substr(pos + 1), entry.data))
                return false;
            // Version 5 holds the text of string types as UTF-16LE.
            if (m_bVersion5 && IsStringType(entry.type)) {
                if (entry.data.size() % 2 != 0)
                    return Fail("odd number of bytes in UTF-16 text");
                std::string text = AnsiFromUtf16Le(std::string(entry.data.begin(), entry.data.end()));
                entry.data.assign(text.begin(), text.end());
            }
            return true;
        }
        return Fail("unknown value data: " + data);
    }

    bool Bytes(const std::string& list, std::vector<uint8_t>& bytes)
    {
        if (TrimIni(list).empty())
            return true;
        size_t start = 0;
        for (;;) {
            size_t comma = list.find(',', start);
            bool bLast = comma == std::string::npos;
            std::string item = TrimIni(list.substr(start, bLast ? std::string::npos : comma - start));
            if (item.empty()) {
                if (bLast && !bytes.empty())
                    return true;  // a trailing comma
                return Fail("missing byte in hex list");
            }
            uint32_t value = 0;
            if (!ParseHexNumber(item, 2, value))
                return Fail("bad byte '" + item + "' in hex list");
            bytes.push_back(static_cast<uint8_t>(value));
            if (bLast)
                return true;
            start = comma + 1;
        }
    }

    bool m_bVersion5;
    std::vector<RegFileEntry>& m_entries;
    std::string m_currentKey;
    std::string m_error;
    int m_line = 0;
};

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

// Text that the quoted form carries unchanged: one terminator at the end and no line breaks.
bool IsPlainString(const std::vector<uint8_t>& data)
{
    if (data.empty() || data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n')
            return false;
    }
    return true;
}

}  // namespace

std::string AnsiFromUtf16Le(const std::string& bytes)
{
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t next = static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            if (next >= 0xDC00 && next <= 0xDFFF)
                i += 2;  // one character outside the code page, one '?'
        }
        out += AnsiFromCodePoint(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

std::string Utf16LeFromAnsi(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        char16_t unit = CodeUnitFromAnsi(static_cast<unsigned char>(c));
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

bool ParseRegFile(const std::string& bytes, std::vector<RegFileEntry>& entries, std::string& error)
{
    entries.clear();
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) {
            error = "UTF-16 file with an odd number of bytes";
            return false;
        }
        text = AnsiFromUtf16Le(bytes.substr(2));
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        error = "UTF-16 big-endian files are not supported";
        return false;
    } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = AnsiFromUtf8(bytes.substr(3));
    } else {
        text = bytes;
    }

    std::vector<Line> lines = SplitLines(text);
    size_t first = 0;
    while (first < lines.size() && TrimIni(lines[first].text).empty())
        ++first;
    std::string header = first < lines.size() ? TrimIni(lines[first].text) : std::string();
    bool bVersion5 = header == kHeader5;
    if (!bVersion5 && header != kHeader4) {
        error = "line " + std::to_string(first < lines.size() ? lines[first].number : 1) +
                ": not a registry file (the first line must be \"" + kHeader5 + "\" or \"" + kHeader4 + "\")";
        return false;
    }
    Parser parser(bVersion5, entries);
    if (!parser.Run(lines, first + 1, error)) {
        entries.clear();
        return false;
    }
    return true;
}

RegFileWriter::RegFileWriter() : m_text(std::string(kHeader5) + "\r\n") {}

void RegFileWriter::Key(const std::string& keyPath)
{
    m_text += "\r\n[" + keyPath + "]\r\n";
}

void RegFileWriter::Value(const std::string& name, uint32_t type, const std::vector<uint8_t>& data)
{
    std::string line = name.empty() ? "@=" : "\"" + Escape(name) + "\"=";
    if (type == regtype::kSz && IsPlainString(data)) {
        m_text += line + "\"" + Escape(std::string(data.begin(), data.end() - 1)) + "\"\r\n";
        return;
    }
    if (type == regtype::kDword && data.size() == 4) {
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x",
                      static_cast<unsigned>(data[0] | (data[1] << 8) | (data[2] << 16) | (data[3] << 24)));
        m_text += line + text + "\r\n";
        return;
    }
    std::string bytes(data.begin(), data.end());
    if (type == regtype::kBinary) {
        line += "hex:";
    } else {
        char head[24];
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(type));
        line += head;
        if (IsStringType(type))
            bytes = Utf16LeFromAnsi(bytes);
    }
    size_t itemsOnLine = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool bLast = i + 1 == bytes.size();
        char item[4];
        std::snprintf(item, sizeof item, bLast ? "%02x" : "%02x,", static_cast<unsigned char>(bytes[i]));
        // Like regedit: no line longer than the wrap column, counting the backslash.
        size_t width = line.size() + (bLast ? 2 : 4);
        if (itemsOnLine > 0 && width > kWrapColumn) {
            m_text += line + "\\\r\n";
            line = "  ";
            itemsOnLine = 0;
        }
        line += item;
        ++itemsOnLine;
    }
    m_text += line + "\r\n";
}

std::string RegFileWriter::Bytes() const
{
    return "\xFF\xFE" + Utf16LeFromAnsi(m_text + "\r\n");
}

}  // namespace lab::host
