// The Windows build's front ends: the program's dialogs.
#include "src/app/FrontEnds.h"

#include "src/diagnosis/win32/DiagDialog.h"
#include "src/tools/win32/MsiCleanupDlg.h"
#include "src/tools/win32/RestartDlg.h"
#include "src/tools/win32/TraceSettingsDlg.h"

int RunDiagnosisFrontEnd(const std::vector<DiagStep>& steps) { return RunDiagnosisWindow(steps); }
int RunTraceSettingsFrontEnd() { return RunTraceSettingsDialog(); }
int RunMsiCleanupFrontEnd() { return RunMsiCleanupDialog(); }
int RunRestartFrontEnd() { return RunRestartDialog(); }
