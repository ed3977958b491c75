// Small text helpers the suites share: whole files, and the value syntax of .reg files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// A temporary file holding the text, to be read from its start as standard input would be.
inline FILE* InputFile(const std::string& text)
{
    FILE* pFile = std::tmpfile();
    std::fputs(text.c_str(), pFile);
    std::rewind(pFile);
    return pFile;
}

// Everything written to a temporary file so far.
inline std::string WrittenText(FILE* pFile)
{
    std::rewind(pFile);
    std::string text;
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pFile))
        text.append(buffer, n);
    return text;
}

inline bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// A string as a .reg file writes it, quotes included.
inline std::string RegString(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

inline std::string RegDword(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
    return text;
}

// A REG_SZ as a Version 5 file writes it in hex: UTF-16LE, with or without its terminator.
inline std::string RegHexText(const std::string& text, bool bTerminated)
{
    std::string hex = "hex(1):";
    char byte[8];
    for (size_t i = 0; i < text.size() + (bTerminated ? 1 : 0); ++i) {
        std::snprintf(byte, sizeof byte, "%s%02x,00", i ? "," : "", i < text.size() ? text[i] & 0xFF : 0);
        hex += byte;
    }
    return hex;
}

// One value line of a .reg file.
inline std::string RegLine(const std::string& name, const std::string& data)
{
    return "\"" + name + "\"=" + data + "\r\n";
}

}  // namespace testsupport
