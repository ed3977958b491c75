// Stands in for no Windows facility: the one way every profile file writes numbers, bytes and times.
#include "lab/host/ProfileValues.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace lab::host {

namespace {

// A field of fixed digits at pos, moved past it.
bool Digits(const std::string& text, size_t& pos, size_t count, int& value)
{
    value = 0;
    for (size_t end = pos + count; pos < end; ++pos) {
        if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos])))
            return false;
        value = value * 10 + (text[pos] - '0');
    }
    return true;
}

bool Expect(const std::string& text, size_t& pos, char c)
{
    return pos < text.size() && text[pos++] == c;
}

}  // namespace

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool ParseNumber(const std::string& text, uint64_t& value)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (bHex && !std::isxdigit(static_cast<unsigned char>(text[2])))
        return false;
    errno = 0;
    char* pEnd = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &pEnd, bHex ? 16 : 10);
    if (errno == ERANGE || *pEnd != '\0')
        return false;
    value = parsed;
    return true;
}

bool ParseNumber(const std::string& text, uint32_t& value)
{
    uint64_t wide = 0;
    if (!ParseNumber(text, wide) || wide > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

bool ParseSignedNumber(const std::string& text, int64_t& value)
{
    bool bNegative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseNumber(bNegative ? text.substr(1) : text, magnitude))
        return false;
    if (magnitude > (bNegative ? static_cast<uint64_t>(INT64_MAX) + 1 : static_cast<uint64_t>(INT64_MAX)))
        return false;
    value = bNegative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool ParseByteSize(const std::string& text, uint64_t& value)
{
    if (text.empty())
        return false;
    unsigned shift = 0;
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
    case 'K': shift = 10; break;
    case 'M': shift = 20; break;
    case 'G': shift = 30; break;
    default: break;
    }
    std::string digits = shift ? text.substr(0, text.size() - 1) : text;
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t'))
        digits.pop_back();
    uint64_t number = 0;
    if (!ParseNumber(digits, number) || (shift && number > (UINT64_MAX >> shift)))
        return false;
    value = number << shift;
    return true;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> parsed;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == ',' || c == ':' || c == '-') {
            ++i;
            continue;
        }
        int hi = HexDigitValue(c);
        int lo = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            return false;
        parsed.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
    }
    bytes = parsed;
    return true;
}

bool ParseDateTime(const std::string& text, DateTime& when)
{
    DateTime parsed;
    size_t pos = 0;
    if (!Digits(text, pos, 4, parsed.year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, parsed.month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, parsed.day))
        return false;
    if (pos < text.size() &&
        (!Expect(text, pos, ' ') || !Digits(text, pos, 2, parsed.hour) || !Expect(text, pos, ':') ||
         !Digits(text, pos, 2, parsed.minute) || !Expect(text, pos, ':') || !Digits(text, pos, 2, parsed.second) ||
         pos != text.size()))
        return false;
    if (parsed.month < 1 || parsed.month > 12 || parsed.day < 1 || parsed.day > 31 || parsed.hour > 23 ||
        parsed.minute > 59 || parsed.second > 60)
        return false;
    when = parsed;
    return true;
}

namespace {

std::tm Parts(const DateTime& when)
{
    std::tm parts{};
    parts.tm_year = when.year - 1900;
    parts.tm_mon = when.month - 1;
    parts.tm_mday = when.day;
    parts.tm_hour = when.hour;
    parts.tm_min = when.minute;
    parts.tm_sec = when.second;
    return parts;
}

}  // namespace

// Plain arithmetic rather than timegm, which mingw-w64 lacks (the Wine tests' stand-in router links this file).
std::time_t AsUtc(const DateTime& when)
{
    // Days since 1970-01-01 in the proleptic Gregorian calendar, counting years from March so that
    // the leap day ends a year.
    long long year = when.year - (when.month <= 2 ? 1 : 0);
    long long era = (year >= 0 ? year : year - 399) / 400;
    long long yearOfEra = year - era * 400;
    long long monthFromMarch = (when.month + 9) % 12;
    long long dayOfYear = (153 * monthFromMarch + 2) / 5 + when.day - 1;
    long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    long long days = era * 146097 + dayOfEra - 719468;
    return static_cast<std::time_t>(days * 86400 + when.hour * 3600LL + when.minute * 60LL + when.second);
}

std::time_t AsLocalTime(const DateTime& when)
{
    std::tm parts = Parts(when);
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

}  // namespace lab::host
