// Builds a firmware table in the layout "dmidecode --dump-bin" writes (entry point, then the
// structure table at 0x20) from the lab's readable source (lab/README.md, "Firmware"):
//   version 2.7                    the entry point's SMBIOS version
//   structure <type> <handle>      starts a structure
//   byte|word|dword|qword <n>...   little-endian numbers appended to its formatted area
//   bytes <hex> <hex> ...          raw bytes appended
//   str "<text>"                   appends the text to the string set and its number to the area
//                                  ("" stands for string number 0, no string)
// ';' starts a comment. Usage: SmbiosSource <source> <output>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Structure {
    std::vector<uint8_t> area;
    std::vector<std::string> strings;
};

bool Fail(const std::string& where, const std::string& text)
{
    std::cerr << where << ": " << text << "\n";
    return false;
}

bool Number(const std::string& text, uint64_t& value)
{
    char* pEnd = nullptr;
    value = std::strtoull(text.c_str(), &pEnd, 0);
    return !text.empty() && *pEnd == '\0';
}

void Append(std::vector<uint8_t>& bytes, uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool Parse(const std::string& path, unsigned& major, unsigned& minor, std::vector<Structure>& structures)
{
    std::ifstream in(path);
    if (!in)
        return Fail(path, "cannot be read");
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string where = path + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword) || keyword[0] == ';')
            continue;
        if (keyword == "version") {
            std::string version;
            words >> version;
            if (std::sscanf(version.c_str(), "%u.%u", &major, &minor) != 2)
                return Fail(where, "version <major>.<minor>");
            continue;
        }
        if (keyword == "structure") {
            std::string type, handle;
            uint64_t t = 0, h = 0;
            if (!(words >> type >> handle) || !Number(type, t) || !Number(handle, h) || t > 255 || h > 0xFFFF)
                return Fail(where, "structure <type> <handle>");
            structures.emplace_back();
            structures.back().area = {static_cast<uint8_t>(t), 0, static_cast<uint8_t>(h),
                                      static_cast<uint8_t>(h >> 8)};
            continue;
        }
        if (structures.empty())
            return Fail(where, "a field before the first structure");
        Structure& s = structures.back();
        if (keyword == "str") {
            size_t open = line.find('"'), close = line.rfind('"');
            if (open == std::string::npos || close == open)
                return Fail(where, "str \"<text>\"");
            std::string text = line.substr(open + 1, close - open - 1);
            if (text.empty()) {
                s.area.push_back(0);
            } else {
                s.strings.push_back(text);
                s.area.push_back(static_cast<uint8_t>(s.strings.size()));
            }
            continue;
        }
        int size = keyword == "byte" ? 1 : keyword == "word" ? 2 : keyword == "dword" ? 4 : keyword == "qword" ? 8
                 : keyword == "bytes" ? -1 : 0;
        if (size == 0)
            return Fail(where, "unknown keyword " + keyword);
        std::string word;
        while (words >> word && word[0] != ';') {
            uint64_t value = 0;
            if (!Number(size < 0 ? "0x" + word : word, value))
                return Fail(where, "bad number " + word);
            Append(s.area, value, size < 0 ? 1 : size);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: SmbiosSource <source> <output>\n";
        return 2;
    }
    unsigned major = 2, minor = 7;
    std::vector<Structure> structures;
    if (!Parse(argv[1], major, minor, structures))
        return 1;
    std::vector<uint8_t> table;
    size_t largest = 0;
    for (Structure& s : structures) {
        if (s.area.size() > 255)
            return Fail(argv[1], "a formatted area longer than 255 bytes"), 1;
        s.area[1] = static_cast<uint8_t>(s.area.size());
        size_t start = table.size();
        table.insert(table.end(), s.area.begin(), s.area.end());
        for (const std::string& text : s.strings) {
            table.insert(table.end(), text.begin(), text.end());
            table.push_back(0);
        }
        if (s.strings.empty())
            table.push_back(0);
        table.push_back(0);
        largest = std::max(largest, table.size() - start);
    }
    std::vector<uint8_t> entry(0x20, 0);
    const char anchor[] = "_SM_", intermediate[] = "_DMI_";
    std::copy(anchor, anchor + 4, entry.begin());
    entry[5] = 0x1F;
    entry[6] = static_cast<uint8_t>(major);
    entry[7] = static_cast<uint8_t>(minor);
    entry[8] = static_cast<uint8_t>(largest);
    entry[9] = static_cast<uint8_t>(largest >> 8);
    std::copy(intermediate, intermediate + 5, entry.begin() + 0x10);
    entry[0x16] = static_cast<uint8_t>(table.size());
    entry[0x17] = static_cast<uint8_t>(table.size() >> 8);
    entry[0x18] = 0x20;
    entry[0x1C] = static_cast<uint8_t>(structures.size());
    entry[0x1D] = static_cast<uint8_t>(structures.size() >> 8);
    entry[0x1E] = static_cast<uint8_t>(major << 4 | (minor & 0x0F));
    uint8_t sum = 0;
    for (int i = 0x10; i < 0x1F; ++i)
        sum = static_cast<uint8_t>(sum + entry[i]);
    entry[0x15] = static_cast<uint8_t>(-sum);
    sum = 0;
    for (int i = 0; i < 0x1F; ++i)
        sum = static_cast<uint8_t>(sum + entry[i]);
    entry[4] = static_cast<uint8_t>(-sum);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(entry.data()), entry.size());
    out.write(reinterpret_cast<const char*>(table.data()), table.size());
    return out ? 0 : 1;
}
