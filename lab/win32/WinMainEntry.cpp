// Stands in for the C runtime's start-up of a GUI program: main() hands its arguments to WinMain.
#include "lab/win32/ProcessControl.h"
#include "lab/win32/Windows.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    __argc = argc;
    __argv = argv;
    std::vector<std::string> program(1, argc > 0 ? argv[0] : "triagist");
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    // The raw text WinMain gets is the command line without the program's name.
    std::string commandLine = lab::win32::JoinCommandLine(arguments);
    lab::win32::SetCommandLine(lab::win32::JoinCommandLine(program) + (commandLine.empty() ? "" : " " + commandLine));
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    return WinMain(hInstance, nullptr, &commandLine[0], SW_SHOWNORMAL);
}
