// Stands in for the start-up facilities of ole32 and comctl32 that the program initialises.
#pragma once

#include "lab/win32/WinDef.h"

#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_NONE 1
#define RPC_C_AUTHN_LEVEL_CONNECT 2
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define EOAC_NONE 0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0

#define ICC_BAR_CLASSES 0x00000004
#define ICC_COOL_CLASSES 0x00000400

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

typedef struct _SOLE_AUTHENTICATION_SERVICE SOLE_AUTHENTICATION_SERVICE;
typedef void* PSECURITY_DESCRIPTOR;

HRESULT WINAPI CoInitialize(LPVOID pvReserved);
HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void WINAPI CoUninitialize();
HRESULT WINAPI CoInitializeSecurity(PSECURITY_DESCRIPTOR pSecDesc, LONG cAuthSvc,
                                    SOLE_AUTHENTICATION_SERVICE* asAuthSvc, void* pReserved1, DWORD dwAuthnLevel,
                                    DWORD dwImpLevel, void* pAuthList, DWORD dwCapabilities, void* pReserved3);
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
