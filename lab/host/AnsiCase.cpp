// Stands in for the upper-case table Windows compares names with: 8-bit names of the ANSI code page.
#include "lab/host/AnsiCase.h"

#include <array>

namespace lab::host {

namespace {

constexpr unsigned char Upper(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
    }
}

// As a table made at compile time: every registry and drive lookup folds names, and static constructors
// may already.
constexpr std::array<unsigned char, 256> MakeUpperTable()
{
    std::array<unsigned char, 256> table{};
    for (unsigned c = 0; c < 256; ++c)
        table[c] = Upper(static_cast<unsigned char>(c));
    return table;
}

constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();

}  // namespace

unsigned char FoldAnsi(unsigned char c)
{
    return kUpper[c];
}

std::string FoldedAnsi(const std::string& text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(kUpper[static_cast<unsigned char>(c)]);
    return out;
}

bool SameAnsiName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (kUpper[static_cast<unsigned char>(a[i])] != kUpper[static_cast<unsigned char>(b[i])])
            return false;
    }
    return true;
}

}  // namespace lab::host
