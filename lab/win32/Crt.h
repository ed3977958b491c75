// Stands in for the C runtime's view of the process: the argument vector and the GUI entry point.
#pragma once

#include "lab/win32/WinDef.h"

#include <cstdio>

extern int __argc;
extern char** __argv;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

// The C runtime's names for a stream's descriptor and whether it is a terminal (a console).
int _fileno(FILE* stream);
int _isatty(int fd);
