// Where the SNMP service finds its extension agents, shared by the SNMP check and the agent selection.
#pragma once

#include "src/platform/Win32.h"

#include <string>

// Under HKEY_LOCAL_MACHINE; each value holds the path of one agent's key, whose "Pathname" names its library.
extern const char EXTENSION_AGENTS_KEY[];

// Full access in the 32-bit view, where 32-bit agents register.
const REGSAM ALL_ACCESS_32 = 0xF023F;

// The component before the last one: for a path ending in a version key, the agent's own key.
std::string ExtensionAgentName(const std::string& strKeyPath);

// An agent's "Pathname" with its environment variables expanded (within 260 characters), or as it
// stands when the expansion does not fit.
std::string ExpandAgentPathname(LPCSTR pszPathname);
