// The trace settings editor on a console: the modules it would show, as lines on standard output.
#pragma once

#include <cstdio>

// Lists every module with its three levels, its trace file and the sources that name it, then ends
// as the editor's Exit does: 1. When the base service's module file is missing, the editor's error
// text and 0.
int RunConsoleTraceSettings(FILE* pOut = stdout);
