// The entry point: parses the command line and runs the mode it selects.
#include "src/app/Modes.h"
#include "src/app/OptionTable.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int)
{
    COptionTable options;

    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&icc);
    // A failure leaves COM's defaults, which serve the program as well.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT, RPC_C_IMP_LEVEL_IDENTIFY, nullptr,
                         EOAC_NONE, nullptr);

    int nExitCode = 0;
    if (options.Parse(__argc, __argv, true) != 0)
        nExitCode = RunSelectedMode(options, lpCmdLine);

    CoUninitialize();
    return nExitCode;
}
