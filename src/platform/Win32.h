// The one door to the platform: the real Windows headers, or the lab's stand-ins on other systems.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <msi.h>
#include <msiquery.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <ocidl.h>
#include <process.h>
#include <psapi.h>
#include <snmp.h>
#include <mgmtapi.h>
#include <stdlib.h>
#include <io.h>
#else
#include "lab/win32/Windows.h"
#endif
