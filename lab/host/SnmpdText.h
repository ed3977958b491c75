// Stands in for no Windows facility: the words of snmpd's configuration lines, written and read back.
#pragma once

#include <cstddef>
#include <string>

namespace lab::host {

// snmpd reads a configuration line into a fixed buffer and cuts what does not fit, silently.
constexpr size_t kSnmpdLineMax = 4000;

// A word in double quotes with backslash escapes: blanks, quotes, '#' and 8-bit characters stay in it.
// A line break cannot be written in one; CanQuote says whether the text holds none.
std::string SnmpdQuoted(const std::string& text);
bool SnmpdCanQuote(const std::string& text);
// A community of rocommunity and rwcommunity: snmpd reads the word, then reads it once more inside
// single quotes, so backslashes and single quotes are escaped twice.
std::string SnmpdCommunity(const std::string& community);
// An octet string value: quoted when it is plain text, else in snmpd's 0x hexadecimal form (which a
// text starting with "0x" also needs, since snmpd would read that as hexadecimal).
std::string SnmpdOctets(const std::string& text);

// The next word of a line from pos (quoted or not), as snmpd reads it; pos moves past it.
std::string ReadSnmpdWord(const std::string& line, size_t& pos);
// A community as written by SnmpdCommunity, as snmpd takes it in the end.
std::string ReadSnmpdCommunity(const std::string& line, size_t& pos);
// An octet string value as written by SnmpdOctets (or by hand), as snmpd reads it.
std::string ReadSnmpdOctets(const std::string& written);

}  // namespace lab::host
