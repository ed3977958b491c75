// Stands in for the loader's binding of msi.dll: msitools' libmsi, with glib and gobject, loaded on first use.
#pragma once

#include <libmsi.h>

namespace lab::win32 {

// The functions the database calls need. Most runs open no database, so they do not pay for loading
// libmsi and the libraries it pulls in at every start.
struct MsiLibrary {
    decltype(&libmsi_database_new) databaseNew;
    decltype(&libmsi_query_new) queryNew;
    decltype(&libmsi_query_execute) queryExecute;
    decltype(&libmsi_query_fetch) queryFetch;
    decltype(&libmsi_query_close) queryClose;
    decltype(&libmsi_record_new) recordNew;
    decltype(&libmsi_record_set_string) recordSetString;
    decltype(&libmsi_record_get_string) recordGetString;
    decltype(&libmsi_record_get_field_count) recordFieldCount;
    decltype(&g_object_unref) objectUnref;
    decltype(&g_error_free) errorFree;
    decltype(&g_free) free;
};

// Loaded on the first call; nullptr when the library or one of its functions is missing, which is said
// once on standard error.
const MsiLibrary* Libmsi();

}  // namespace lab::win32
