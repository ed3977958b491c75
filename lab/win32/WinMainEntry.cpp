// Stands in for the C runtime's start-up of a GUI program: main() hands its arguments to WinMain.
#include "lab/win32/ProcessControl.h"
#include "lab/win32/Windows.h"

#include <string>

namespace {

// The command line as Windows would hold it, quoted so that it splits back into the same arguments.
std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

}  // namespace

int main(int argc, char** argv)
{
    __argc = argc;
    __argv = argv;
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            arguments += ' ';
        arguments += Quote(argv[i]);
    }
    lab::win32::SetCommandLine(Quote(argc > 0 ? argv[0] : "triagist") + (arguments.empty() ? "" : " " + arguments));
    // The image base Windows would give the program; only its identity matters.
    HINSTANCE hInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    return WinMain(hInstance, nullptr, &arguments[0], SW_SHOWNORMAL);
}
