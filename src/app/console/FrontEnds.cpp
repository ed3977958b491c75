// The native build's front ends: the same dialog logic on the terminal.
#include "src/app/FrontEnds.h"

#include "src/diagnosis/console/ConsoleDiagnosis.h"
#include "src/tools/console/ConsoleMsiCleanup.h"
#include "src/tools/console/ConsoleRestart.h"
#include "src/tools/console/ConsoleTraceSettings.h"

int RunDiagnosisFrontEnd(const std::vector<DiagStep>& steps) { return RunConsoleDiagnosis(steps); }
int RunTraceSettingsFrontEnd() { return RunConsoleTraceSettings(); }
int RunMsiCleanupFrontEnd() { return RunConsoleMsiCleanup(); }
int RunRestartFrontEnd() { return RunConsoleRestart(); }
