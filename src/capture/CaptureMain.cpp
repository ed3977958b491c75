// triagist-capture: writes the lab profile of the machine it runs on, for replay with the native build.
#include "src/capture/Capture.h"

#include "src/trace/FileDebug.h"

#include <cstring>

namespace {

struct SStep {
    const char* pszWhat;
    void (*pfnCapture)(SCapture&);
};

// The registry first: the steps after it read their sources' keys, and lab.ini before the file times; the
// SNMP agent before the base service, whose status tree it completes.
const SStep STEPS[] = {
    {"registry", CaptureRegistry},          {"system facts", CaptureSystem},   {"services and drivers", CaptureServices},
    {"processes", CaptureProcesses},        {"network", CaptureNetwork},       {"event logs", CaptureEventLogs},
    {"firmware", CaptureFirmware},          {"SNMP agent", CaptureSnmp},       {"base service", CaptureBaseService},
    {"files", CaptureFiles},
};

int Usage()
{
    std::fprintf(stderr, "usage: triagist-capture [-REDACT] <folder>\n"
                         "Writes a lab profile of this machine into <folder>; -REDACT replaces the names and\n"
                         "numbers that identify it with placeholders. Nothing on this machine is changed.\n");
    return 2;
}

bool IsOption(const char* pszArgument, const char* pszName)
{
    return (pszArgument[0] == '-' || pszArgument[0] == '/') && lstrcmpiA(pszArgument + 1, pszName) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool bRedact = false;
    const char* pszFolder = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (IsOption(argv[i], "REDACT"))
            bRedact = true;
        else if (argv[i][0] == '-' || pszFolder)
            return Usage();
        else
            pszFolder = argv[i];
    }
    if (!pszFolder)
        return Usage();

    SCapture capture(pszFolder, bRedact, stdout);
    DWORD dwError = capture.folder.Create();
    if (dwError != ERROR_SUCCESS) {
        std::fprintf(stderr, "triagist-capture: cannot create the folder %s (error %lu)\n", pszFolder,
                     static_cast<unsigned long>(dwError));
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int nSteps = static_cast<int>(sizeof STEPS / sizeof STEPS[0]);
    for (int i = 0; i < nSteps; ++i) {
        capture.log.Step(i + 1, nSteps, STEPS[i].pszWhat);
        STEPS[i].pfnCapture(capture);
    }
    CoUninitialize();

    dwError = capture.folder.Flush(bRedact ? &capture.redactor : nullptr);
    if (dwError != ERROR_SUCCESS) {
        std::fprintf(stderr, "triagist-capture: cannot write the profile into %s (error %lu)\n", pszFolder,
                     static_cast<unsigned long>(dwError));
        return 1;
    }
    if (bRedact)
        capture.log.Captured(FormatText("redacted: %u names and numbers replaced by placeholders",
                                        static_cast<unsigned>(capture.redactor.Values().size())));
    capture.log.Summary();
    return 0;
}
