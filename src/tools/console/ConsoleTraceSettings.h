// The trace settings editor on a console: the window's list as lines, its controls as commands read
// from standard input.
#pragma once

#include <cstdio>

// Lists every module with its three levels, its trace file and the sources that name it, then reads
// commands, one a line, until "exit" (the editor's Exit: 1) or the end of input (its close box: 0);
// both ask the save question when something changed. When the base service's module file is
// missing, the editor's error text and 0. "help" lists the commands.
int RunConsoleTraceSettings(FILE* pIn = stdin, FILE* pOut = stdout);
