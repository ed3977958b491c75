// Stands in for kernel32's loader: LoadLibraryA, GetProcAddress and the rest, over a table of the lab's modules.
#include "lab/win32/Library.h"

#include "lab/host/Host.h"
#include "lab/win32/Com.h"
#include "lab/win32/IpHelper.h"
#include "lab/win32/ImageFiles.h"
#include "lab/win32/LibraryControl.h"
#include "lab/win32/Msi.h"
#include "lab/win32/Psapi.h"
#include "lab/win32/Snmp.h"
#include "lab/win32/SystemFacts.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

template <class F>
FARPROC Export(F* function)
{
    // Through the generic function pointer type, which converts to any other without complaint.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Module {
    Module(const std::string& moduleName, uintptr_t moduleBase, bool bPinnedModule)
        : name(moduleName), base(moduleBase), bPinned(bPinnedModule)
    {
    }
    std::string name;  // as normalised by ModuleName
    uintptr_t base;    // the handle value: only its identity matters
    bool bPinned;      // loaded for the life of the process, like kernel32 and the program itself
    unsigned loads = 0;
    std::map<std::string, FARPROC> exports;
};

// The program's own module has the base the lab's entry point hands to WinMain.
constexpr uintptr_t kProgramBase = 0x400000;

struct Libraries {
    std::mutex lock;
    std::vector<std::unique_ptr<Module>> modules;
    std::set<std::string> missingModules;
    std::set<std::string> missingFunctions;  // "module!function"

    Libraries()
    {
        Add("", true);
        Add("kernel32", true)->exports["GetProcessHandleCount"] = Export(&GetProcessHandleCount);
        Module* pPsapi = Add("psapi", false);
        pPsapi->exports["GetProcessMemoryInfo"] = Export(&GetProcessMemoryInfo);
        pPsapi->exports["EnumProcesses"] = Export(&EnumProcesses);
        pPsapi->exports["EnumProcessModules"] = Export(&EnumProcessModules);
        pPsapi->exports["GetModuleBaseNameA"] = Export(&GetModuleBaseNameA);
        pPsapi->exports["GetModuleFileNameExA"] = Export(&GetModuleFileNameExA);
        Module* pIphlpapi = Add("iphlpapi", false);
        pIphlpapi->exports["GetNetworkParams"] = Export(&GetNetworkParams);
        pIphlpapi->exports["GetAdaptersInfo"] = Export(&GetAdaptersInfo);
        pIphlpapi->exports["GetIfTable"] = Export(&GetIfTable);
        pIphlpapi->exports["GetIfEntry"] = Export(&GetIfEntry);
        pIphlpapi->exports["GetIpAddrTable"] = Export(&GetIpAddrTable);
        pIphlpapi->exports["GetIpForwardTable"] = Export(&GetIpForwardTable);
        pIphlpapi->exports["GetNumberOfInterfaces"] = Export(&GetNumberOfInterfaces);
        ByName("kernel32")->exports["GetSystemWow64DirectoryA"] = Export(&GetSystemWow64DirectoryA);
        Module* pMsi = Add("msi", false);
        pMsi->exports["MsiEnumProductsA"] = Export(&MsiEnumProductsA);
        pMsi->exports["MsiGetProductInfoA"] = Export(&MsiGetProductInfoA);
        Module* pMgmtapi = Add("mgmtapi", false);
        pMgmtapi->exports["SnmpMgrOpen"] = Export(&SnmpMgrOpen);
        pMgmtapi->exports["SnmpMgrRequest"] = Export(&SnmpMgrRequest);
        pMgmtapi->exports["SnmpMgrClose"] = Export(&SnmpMgrClose);
        Module* pSnmpapi = Add("snmpapi", false);
        pSnmpapi->exports["SnmpUtilOidNCmp"] = Export(&SnmpUtilOidNCmp);
        pSnmpapi->exports["SnmpUtilOidCmp"] = Export(&SnmpUtilOidCmp);
        pSnmpapi->exports["SnmpUtilOidCpy"] = Export(&SnmpUtilOidCpy);
        pSnmpapi->exports["SnmpUtilOidFree"] = Export(&SnmpUtilOidFree);
        pSnmpapi->exports["SnmpUtilVarBindFree"] = Export(&SnmpUtilVarBindFree);
        pSnmpapi->exports["SnmpUtilVarBindListFree"] = Export(&SnmpUtilVarBindListFree);
        pSnmpapi->exports["SnmpUtilMemAlloc"] = Export(&SnmpUtilMemAlloc);
        pSnmpapi->exports["SnmpUtilMemReAlloc"] = Export(&SnmpUtilMemReAlloc);
        pSnmpapi->exports["SnmpUtilMemFree"] = Export(&SnmpUtilMemFree);
        Module* pOle32 = Add("ole32", false);
        pOle32->exports["CoEnableCallCancellation"] = Export(&CoEnableCallCancellation);
        pOle32->exports["CoDisableCallCancellation"] = Export(&CoDisableCallCancellation);
        pOle32->exports["CoGetCancelObject"] = Export(&CoGetCancelObject);
        pOle32->exports["CoCancelCall"] = Export(&CoCancelCall);
    }

    Module* Add(const std::string& name, bool bPinned)
    {
        uintptr_t base = name.empty() ? kProgramBase : 0x10000000u + modules.size() * 0x100000u;
        modules.push_back(std::make_unique<Module>(name, base, bPinned));
        return modules.back().get();
    }

    Module* ByName(const std::string& name)
    {
        for (auto& pModule : modules) {
            if (pModule->name == name)
                return pModule.get();
        }
        return nullptr;
    }

    Module* ByHandle(HMODULE h)
    {
        for (auto& pModule : modules) {
            if (pModule->base == reinterpret_cast<uintptr_t>(h))
                return pModule.get();
        }
        return nullptr;
    }
};

Libraries& TheLibraries()
{
    static Libraries* pLibraries = new Libraries;  // outlives every static destructor
    return *pLibraries;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "C:\Windows\System32\PSAPI.DLL", "psapi.dll" and "Psapi" all name "psapi".
std::string ModuleName(const std::string& requested)
{
    std::string name = Lower(requested.substr(requested.find_last_of("\\/") + 1));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0)
        name.resize(name.size() - 4);
    return name;
}

std::string FunctionKey(const std::string& module, const std::string& function)
{
    return ModuleName(module) + "!" + function;
}

// What the profile's lab.ini declares absent: [Libraries] Missing=module or Missing=module!function.
bool MissingInProfile(const std::string& key)
{
    for (const auto& entry : lab::host::Host::Instance().Settings().Section("Libraries")) {
        if (!lab::host::EqualsNoCase(entry.first, "Missing"))
            continue;
        size_t start = 0;
        while (start <= entry.second.size()) {
            size_t comma = entry.second.find(',', start);
            size_t length = comma == std::string::npos ? std::string::npos : comma - start;
            std::string item = entry.second.substr(start, length);
            item.erase(0, item.find_first_not_of(" \t"));
            item.erase(item.find_last_not_of(" \t") + 1);
            size_t bang = item.find('!');
            std::string normalised =
                bang == std::string::npos ? ModuleName(item) : FunctionKey(item.substr(0, bang), item.substr(bang + 1));
            if (!item.empty() && normalised == key)
                return true;
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    return false;
}

bool ModuleMissing(Libraries& libraries, const std::string& name)
{
    return libraries.missingModules.count(name) > 0 || MissingInProfile(name);
}

bool Loaded(const Module& module)
{
    return module.bPinned || module.loads > 0;
}

}  // namespace

namespace lab::win32 {

void SetModuleMissing(const char* module, bool bMissing)
{
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    if (bMissing)
        libraries.missingModules.insert(ModuleName(module));
    else
        libraries.missingModules.erase(ModuleName(module));
}

void SetFunctionMissing(const char* module, const char* function, bool bMissing)
{
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    if (bMissing)
        libraries.missingFunctions.insert(FunctionKey(module, function));
    else
        libraries.missingFunctions.erase(FunctionKey(module, function));
}

void ResetLibrarySwitches()
{
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    libraries.missingModules.clear();
    libraries.missingFunctions.clear();
}

void RegisterExport(const char* module, const char* function, FARPROC proc)
{
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    std::string name = ModuleName(module);
    Module* pModule = libraries.ByName(name);
    if (!pModule)
        pModule = libraries.Add(name, false);
    pModule->exports[function] = proc;
}

}  // namespace lab::win32

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    std::string name = ModuleName(lpLibFileName);
    Module* pModule = name.empty() ? nullptr : libraries.ByName(name);
    if (!pModule || ModuleMissing(libraries, name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++pModule->loads;
    return reinterpret_cast<HMODULE>(pModule->base);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags)
{
    if (hFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD dataFlags =
        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    if ((dwFlags & dataFlags) != 0)
        return lab::win32::LoadDataModule(lpLibFileName, dwFlags);
    return LoadLibraryA(lpLibFileName);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (!lpModuleName)
        return reinterpret_cast<HMODULE>(kProgramBase);
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    std::string name = ModuleName(lpModuleName);
    Module* pModule = name.empty() ? nullptr : libraries.ByName(name);
    if (!pModule || !Loaded(*pModule) || ModuleMissing(libraries, name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(pModule->base);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    Module* pModule = libraries.ByHandle(hModule);
    if (!pModule || !Loaded(*pModule)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Ordinals (values below 64K in place of a name) are not in the table.
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    auto found = pModule->exports.find(lpProcName);
    std::string key = pModule->name + "!" + lpProcName;
    if (found == pModule->exports.end() || libraries.missingFunctions.count(key) > 0 || MissingInProfile(key)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return found->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    if (lab::win32::FreeDataModule(hLibModule))
        return TRUE;
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::mutex> guard(libraries.lock);
    Module* pModule = libraries.ByHandle(hLibModule);
    if (!pModule || !Loaded(*pModule)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!pModule->bPinned)
        --pModule->loads;
    return TRUE;
}
