// Feeds random command lines to the option parser and checks what every caller relies on.
#include "src/app/OptionTable.h"
#include "src/platform/Win32.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Upper(std::string text)
{
    if (!text.empty())
        CharUpperA(&text[0]);
    return text;
}

void Require(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Arguments are separated by NUL bytes; a 0x01 byte alone stands for a null pointer.
    std::vector<std::string> args(1, "triagist.exe");
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    args.push_back(current);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg == "\x01" ? nullptr : &arg[0]);

    COptionTable table;
    int count = table.Parse(static_cast<int>(argv.size()), argv.data(), true);

    std::set<std::string> options;
    for (size_t i = 1; i < argv.size(); ++i) {
        if (!COptionTable::IsOption(argv[i]))
            continue;
        std::string name = Upper(argv[i]);
        Require(table.Has(name));
        // The first occurrence fixes the first value: the next argument when it is a non-empty value.
        if (options.insert(name).second) {
            bool bValue = i + 1 < argv.size() && !COptionTable::IsOption(argv[i + 1]) && argv[i + 1] &&
                          *argv[i + 1];
            std::string first = table.Value(name, 0, "\x02");
            if (bValue)
                Require(first == argv[i + 1]);
        }
    }
    Require(count == static_cast<int>(options.size()));
    Require(!table.Has(""));
    Require(table.Value("never an option", 3, "fallback") == "fallback");
    return 0;
}
