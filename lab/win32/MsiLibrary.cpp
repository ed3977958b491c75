// Stands in for the loader's binding of msi.dll: msitools' libmsi, with glib and gobject, loaded on first use.
#include "lab/win32/MsiLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

#ifndef TRIAGIST_LIBMSI_SONAME
#define TRIAGIST_LIBMSI_SONAME "libmsi.so.0"
#endif

namespace {

struct CloseLibrary {
    void operator()(void* pHandle) const { dlclose(pHandle); }
};
using LibraryHandle = std::unique_ptr<void, CloseLibrary>;

// Resolves one function into its slot; false (with the missing name) when the library lacks it.
template <class Function>
bool Bind(void* pHandle, const char* pszName, Function& function, std::string& missing)
{
    function = reinterpret_cast<Function>(dlsym(pHandle, pszName));
    if (!function && missing.empty())
        missing = pszName;
    return function != nullptr;
}

struct LoadedLibrary {
    LibraryHandle handle;
    lab::win32::MsiLibrary functions{};
    bool bComplete = false;

    LoadedLibrary()
    {
        handle.reset(dlopen(TRIAGIST_LIBMSI_SONAME, RTLD_NOW | RTLD_LOCAL));
        if (!handle) {
            const char* pszError = dlerror();  // names the library
            std::fprintf(stderr, "lab: %s; installer databases cannot be read (Debian package libmsi0)\n",
                         pszError ? pszError : TRIAGIST_LIBMSI_SONAME " cannot be loaded");
            return;
        }
        // glib's functions are found through libmsi, which depends on glib and gobject.
        void* p = handle.get();
        lab::win32::MsiLibrary& f = functions;
        std::string missing;
        bComplete = Bind(p, "libmsi_database_new", f.databaseNew, missing) &&
                    Bind(p, "libmsi_query_new", f.queryNew, missing) &&
                    Bind(p, "libmsi_query_execute", f.queryExecute, missing) &&
                    Bind(p, "libmsi_query_fetch", f.queryFetch, missing) &&
                    Bind(p, "libmsi_query_close", f.queryClose, missing) &&
                    Bind(p, "libmsi_record_new", f.recordNew, missing) &&
                    Bind(p, "libmsi_record_set_string", f.recordSetString, missing) &&
                    Bind(p, "libmsi_record_get_string", f.recordGetString, missing) &&
                    Bind(p, "libmsi_record_get_field_count", f.recordFieldCount, missing) &&
                    Bind(p, "g_object_unref", f.objectUnref, missing) &&
                    Bind(p, "g_error_free", f.errorFree, missing) &&
                    Bind(p, "g_free", f.free, missing);
        if (!bComplete)
            std::fprintf(stderr, "lab: %s: no function %s; installer databases cannot be read\n",
                         TRIAGIST_LIBMSI_SONAME, missing.c_str());
    }
};

}  // namespace

namespace lab::win32 {

const MsiLibrary* Libmsi()
{
    static LoadedLibrary library;
    return library.bComplete ? &library.functions : nullptr;
}

}  // namespace lab::win32
