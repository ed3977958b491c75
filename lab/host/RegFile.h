// Stands in for regedit's .reg files: the text in which a profile describes the registry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lab::host {

// One instruction of a .reg file.
struct RegFileEntry {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    std::string keyPath;        // as written between the brackets, without a leading '-'
    std::string valueName;      // empty for the default value
    uint32_t type = 0;
    std::vector<uint8_t> data;  // data of string types as 8-bit ANSI text
    int line = 0;
};

// Reads a "REGEDIT4" or "Windows Registry Editor Version 5.00" file (UTF-16LE with
// byte order mark, UTF-8 with byte order mark, or 8-bit) into its instructions, in
// file order. On failure error says which line and why.
bool ParseRegFile(const std::string& bytes, std::vector<RegFileEntry>& entries, std::string& error);

// Writes a "Windows Registry Editor Version 5.00" file: one Key() and then its Value()s
// per section; Bytes() is the file in UTF-16LE with byte order mark and CRLF line ends.
class RegFileWriter {
public:
    RegFileWriter();
    void Key(const std::string& keyPath);
    void Value(const std::string& name, uint32_t type, const std::vector<uint8_t>& data);
    std::string Bytes() const;

private:
    std::string m_text;  // ANSI, converted as a whole at the end
};

// The registry's 8-bit text is Windows-1252. Characters it lacks become '?'.
std::string AnsiFromUtf16Le(const std::string& bytes);
std::string Utf16LeFromAnsi(const std::string& text);

}  // namespace lab::host
