// Stands in for no Windows facility: the words of snmpd's configuration lines, written and read back.
#include "lab/host/SnmpdText.h"

#include <cctype>
#include <cstdio>

namespace lab::host {

namespace {

bool IsHexPrefixed(const std::string& text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

int HexValue(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                        : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

}  // namespace

std::string SnmpdQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

bool SnmpdCanQuote(const std::string& text)
{
    return text.find_first_of("\r\n") == std::string::npos;
}

std::string SnmpdCommunity(const std::string& community)
{
    std::string inner;
    for (char c : community) {
        if (c == '\\' || c == '\'')
            inner += '\\';
        inner += c;
    }
    return SnmpdQuoted(inner);
}

std::string SnmpdOctets(const std::string& text)
{
    bool bPlain = !IsHexPrefixed(text);
    for (unsigned char c : text)
        bPlain = bPlain && c >= 0x20 && c < 0x7F;
    if (bPlain)
        return SnmpdQuoted(text);
    std::string hex = "0x";
    char digits[3];
    for (unsigned char c : text) {
        std::snprintf(digits, sizeof digits, "%02X", c);
        hex += digits;
    }
    return hex;
}

std::string ReadSnmpdWord(const std::string& line, size_t& pos)
{
    while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos])))
        ++pos;
    std::string word;
    if (pos < line.size() && line[pos] == '"') {
        for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
            if (line[pos] == '\\' && pos + 1 < line.size())
                ++pos;
            word += line[pos];
        }
        ++pos;  // the closing quote
        return word;
    }
    while (pos < line.size() && !std::isspace(static_cast<unsigned char>(line[pos])))
        word += line[pos++];
    return word;
}

std::string ReadSnmpdCommunity(const std::string& line, size_t& pos)
{
    std::string inner = ReadSnmpdWord(line, pos);
    std::string community;
    for (size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\\' && i + 1 < inner.size())
            ++i;
        community += inner[i];
    }
    return community;
}

std::string ReadSnmpdOctets(const std::string& written)
{
    size_t pos = 0;
    std::string word = ReadSnmpdWord(written, pos);
    if (!IsHexPrefixed(word))
        return word;
    std::string bytes;
    for (size_t i = 2; i + 1 < word.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(word[i])) || !std::isxdigit(static_cast<unsigned char>(word[i + 1])))
            break;
        bytes += static_cast<char>(HexValue(word[i]) * 16 + HexValue(word[i + 1]));
    }
    return bytes;
}

}  // namespace lab::host
