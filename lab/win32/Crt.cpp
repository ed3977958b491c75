// Stands in for the C runtime's copy of the argument vector.
#include "lab/win32/Crt.h"

int __argc = 0;
char** __argv = nullptr;
