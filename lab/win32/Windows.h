// Stands in for <windows.h> and its companions: every Win32 declaration the program may use.
#pragma once

#include "lab/win32/WinDef.h"

#include "lab/win32/Com.h"
#include "lab/win32/Console.h"
#include "lab/win32/Crt.h"
#include "lab/win32/Files.h"
#include "lab/win32/Library.h"
#include "lab/win32/Message.h"
#include "lab/win32/Process.h"
#include "lab/win32/Psapi.h"
#include "lab/win32/Registry.h"
#include "lab/win32/Sync.h"
#include "lab/win32/SysInfo.h"
#include "lab/win32/Version.h"
