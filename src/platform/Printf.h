// Lets the compiler check printf-style formats, with the C99 formatter on mingw.
#pragma once

#include <stdio.h>  // mingw defines __MINGW_PRINTF_FORMAT here

#if defined(__MINGW32__)
#define TRIAGIST_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define TRIAGIST_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRIAGIST_PRINTF(fmt, args)
#endif
