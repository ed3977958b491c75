// Stands in for no Windows facility: the one way every profile file writes numbers, bytes and times.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace lab::host {

// The value of one hexadecimal digit in any case, or -1.
int HexDigitValue(char c);

// Decimal digits ("010" is ten: a leading zero never means octal), or 0x and hexadecimal digits; the whole
// text, within 64 bits.
bool ParseNumber(const std::string& text, uint64_t& value);
// The same within 32 bits.
bool ParseNumber(const std::string& text, uint32_t& value);
// A number with an optional leading minus.
bool ParseSignedNumber(const std::string& text, int64_t& value);
// A number of bytes with an optional binary suffix K, M or G ("12648K").
bool ParseByteSize(const std::string& text, uint64_t& value);

// Bytes of two hexadecimal digits each, in any case, one after the other or separated by blanks, tabs,
// commas, colons or dashes: "01 0c 02", "de,ad", "00-1B-21-3A-4F-10", "dead". Empty text is no bytes.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes);

// "2026-03-07 10:15:30", or the date alone for midnight; every field within its range, nothing after it.
// Which clock the time is on is for each file to say.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool ParseDateTime(const std::string& text, DateTime& when);
std::time_t AsUtc(const DateTime& when);
std::time_t AsLocalTime(const DateTime& when);

}  // namespace lab::host
