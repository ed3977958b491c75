// The interactive front ends: the windows in the Windows build, the console in the native build.
#pragma once

#include "src/report/DiagReport.h"

#include <vector>

int RunDiagnosisFrontEnd(const std::vector<DiagStep>& steps);
int RunTraceSettingsFrontEnd();
int RunMsiCleanupFrontEnd();
int RunRestartFrontEnd();
