// The program's string table, looked up in the user's language with its fall-backs.
#pragma once

#include "src/platform/Win32.h"

#include <string>

// The entry in exactly that language, as ANSI text; "" when its block or the entry is missing or empty.
std::string LoadStringForLanguage(UINT uId, WORD wLanguage);

// wLanguage 0 is the thread's locale. An entry missing there is taken from the user's default
// language (1024), then from English (1033); "" when none of them has it.
std::string LoadLocalizedString(UINT uId, WORD wLanguage = 0);
