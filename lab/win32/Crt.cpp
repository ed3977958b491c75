// Stands in for the C runtime's copy of the argument vector and its stream helpers.
#include "lab/win32/Crt.h"

#include <unistd.h>

int __argc = 0;
char** __argv = nullptr;

int _fileno(FILE* stream)
{
    return fileno(stream);
}

int _isatty(int fd)
{
    return isatty(fd);
}
