// Stands in for the loader's binding of msi.dll: msitools' libmsi, with glib and gobject, loaded on first use.
#include "lab/win32/MsiLibrary.h"

#include "lab/host/SharedLibrary.h"

#ifndef TRIAGIST_LIBMSI_SONAME
#define TRIAGIST_LIBMSI_SONAME "libmsi.so.0"
#endif

namespace {

struct LoadedLibrary {
    lab::host::SharedLibrary library{TRIAGIST_LIBMSI_SONAME,
                                     "installer databases cannot be read (Debian package libmsi0)"};
    lab::win32::MsiLibrary functions{};
    bool bComplete = false;

    LoadedLibrary()
    {
        // glib's functions are found through libmsi, which depends on glib and gobject.
        lab::win32::MsiLibrary& f = functions;
        bComplete = library.Bind("libmsi_database_new", f.databaseNew)
                        .Bind("libmsi_query_new", f.queryNew)
                        .Bind("libmsi_query_execute", f.queryExecute)
                        .Bind("libmsi_query_fetch", f.queryFetch)
                        .Bind("libmsi_query_close", f.queryClose)
                        .Bind("libmsi_record_new", f.recordNew)
                        .Bind("libmsi_record_set_string", f.recordSetString)
                        .Bind("libmsi_record_get_string", f.recordGetString)
                        .Bind("libmsi_record_get_field_count", f.recordFieldCount)
                        .Bind("g_object_unref", f.objectUnref)
                        .Bind("g_error_free", f.errorFree)
                        .Bind("g_free", f.free)
                        .Complete();
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
