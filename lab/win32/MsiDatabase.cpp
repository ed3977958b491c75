// Stands in for msi.dll's database functions: real .msi files, read with libmsi (msitools).
#include "lab/win32/Msi.h"

#include "lab/host/Host.h"
#include "lab/win32/Handles.h"
#include "lab/win32/MsiControl.h"
#include "lab/win32/MsiLibrary.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <string>
#include <vector>

// Databases are opened read-only whatever the persistence mode asked for: nothing the program
// does writes to an installer database, and the lab never changes a profile's files.
namespace {

using lab::win32::KernelObject;

using lab::win32::Libmsi;
using lab::win32::MsiLibrary;

// Releases a GObject reference when it goes; only made once the library is loaded.
template <class T>
class GRef {
public:
    explicit GRef(T* p = nullptr) : m_p(p) {}
    ~GRef()
    {
        if (m_p)
            Libmsi()->objectUnref(m_p);
    }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    T* Get() const { return m_p; }
    void Reset(T* p)
    {
        if (m_p)
            Libmsi()->objectUnref(m_p);
        m_p = p;
    }

private:
    T* m_p;
};

class MsiDatabaseObject : public KernelObject {
public:
    explicit MsiDatabaseObject(LibmsiDatabase* p) : database(p) {}
    GRef<LibmsiDatabase> database;
};

class MsiViewObject : public KernelObject {
public:
    MsiViewObject(std::shared_ptr<MsiDatabaseObject> pOwner, LibmsiQuery* p) : owner(std::move(pOwner)), query(p) {}
    std::shared_ptr<MsiDatabaseObject> owner;  // the view keeps its database open
    GRef<LibmsiQuery> query;
    bool bExecuted = false;
};

// Field 0 of a record is its format text; fields 1..n its values.
class MsiRecordObject : public KernelObject {
public:
    std::vector<std::string> fields;
};

MSIHANDLE Insert(std::shared_ptr<KernelObject> pObject)
{
    return static_cast<MSIHANDLE>(reinterpret_cast<uintptr_t>(lab::win32::InsertHandle(std::move(pObject))));
}

template <class T>
std::shared_ptr<T> Lookup(MSIHANDLE h)
{
    return lab::win32::LookupHandleAs<T>(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h)));
}

// libmsi complains on standard error about files it cannot open; a missing file is answered first.
bool IsFile(const std::string& hostPath)
{
    struct stat info;
    return !hostPath.empty() && stat(hostPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void FreeError(const MsiLibrary& msi, GError* pError)
{
    if (pError)
        msi.errorFree(pError);
}

// Windows' copy-out convention: the length without terminator comes back; a short buffer gets
// what fits, terminated, and 234.
UINT CopyOut(const std::string& value, LPSTR pszBuffer, LPDWORD pcchBuffer)
{
    if (!pcchBuffer)
        return pszBuffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD cchSize = *pcchBuffer;
    *pcchBuffer = static_cast<DWORD>(value.size());
    if (!pszBuffer)
        return ERROR_SUCCESS;
    if (cchSize > 0) {
        size_t copied = value.size() < cchSize ? value.size() : cchSize - 1;
        std::memcpy(pszBuffer, value.data(), copied);
        pszBuffer[copied] = '\0';
    }
    return value.size() < cchSize ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

}  // namespace

namespace lab::win32 {

UINT CopyMsiText(const std::string& value, LPSTR pszBuffer, LPDWORD pcchBuffer)
{
    return CopyOut(value, pszBuffer, pcchBuffer);
}

std::string ReadMsiField(const std::string& hostPath, const std::string& query)
{
    const MsiLibrary* pMsi = IsFile(hostPath) ? Libmsi() : nullptr;
    if (!pMsi)
        return "";
    GError* pError = nullptr;
    GRef<LibmsiDatabase> database(pMsi->databaseNew(hostPath.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &pError));
    FreeError(*pMsi, pError);
    if (!database.Get())
        return "";
    pError = nullptr;
    GRef<LibmsiQuery> view(pMsi->queryNew(database.Get(), query.c_str(), &pError));
    FreeError(*pMsi, pError);
    pError = nullptr;
    if (!view.Get() || !pMsi->queryExecute(view.Get(), nullptr, &pError)) {
        FreeError(*pMsi, pError);
        return "";
    }
    GRef<LibmsiRecord> row(pMsi->queryFetch(view.Get(), &pError));
    FreeError(*pMsi, pError);
    if (!row.Get())
        return "";
    gchar* pszValue = pMsi->recordGetString(row.Get(), 1);
    std::string value = pszValue ? pszValue : "";
    pMsi->free(pszValue);
    return value;
}

}  // namespace lab::win32

UINT WINAPI MsiOpenDatabaseA(LPCSTR szDatabasePath, LPCSTR szPersist, MSIHANDLE* phDatabase)
{
    if (!szDatabasePath || !phDatabase)
        return ERROR_INVALID_PARAMETER;
    uintptr_t mode = reinterpret_cast<uintptr_t>(szPersist);
    if (mode > reinterpret_cast<uintptr_t>(MSIDBOPEN_CREATEDIRECT))
        return ERROR_INVALID_PARAMETER;  // saving to another file is not modelled,
    if (mode >= reinterpret_cast<uintptr_t>(MSIDBOPEN_CREATE))
        return ERROR_INVALID_PARAMETER;  // nor is creating a database
    std::string hostPath = lab::host::Host::Instance().TheDrives().HostPath(szDatabasePath, false);
    if (!IsFile(hostPath))
        return ERROR_OPEN_FAILED;
    const MsiLibrary* pMsi = Libmsi();
    if (!pMsi)
        return ERROR_OPEN_FAILED;
    GError* pError = nullptr;
    LibmsiDatabase* pDatabase = pMsi->databaseNew(hostPath.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &pError);
    FreeError(*pMsi, pError);
    if (!pDatabase)
        return ERROR_OPEN_FAILED;
    *phDatabase = Insert(std::make_shared<MsiDatabaseObject>(pDatabase));
    return ERROR_SUCCESS;
}

UINT WINAPI MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView)
{
    std::shared_ptr<MsiDatabaseObject> pDatabase = Lookup<MsiDatabaseObject>(hDatabase);
    if (!pDatabase)
        return ERROR_INVALID_HANDLE;
    if (!szQuery || !phView)
        return ERROR_INVALID_PARAMETER;
    const MsiLibrary* pMsi = Libmsi();  // loaded, as a database is open
    GError* pError = nullptr;
    LibmsiQuery* pQuery = pMsi->queryNew(pDatabase->database.Get(), szQuery, &pError);
    FreeError(*pMsi, pError);
    if (!pQuery)
        return ERROR_BAD_QUERY_SYNTAX;
    *phView = Insert(std::make_shared<MsiViewObject>(pDatabase, pQuery));
    return ERROR_SUCCESS;
}

UINT WINAPI MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord)
{
    std::shared_ptr<MsiViewObject> pView = Lookup<MsiViewObject>(hView);
    if (!pView)
        return ERROR_INVALID_HANDLE;
    const MsiLibrary* pMsi = Libmsi();
    GRef<LibmsiRecord> params;
    if (hRecord) {
        std::shared_ptr<MsiRecordObject> pRecord = Lookup<MsiRecordObject>(hRecord);
        if (!pRecord)
            return ERROR_INVALID_HANDLE;
        guint count = static_cast<guint>(pRecord->fields.size() - 1);
        LibmsiRecord* pParams = pMsi->recordNew(count);
        for (guint i = 1; i <= count; ++i)
            pMsi->recordSetString(pParams, i, pRecord->fields[i].c_str());
        params.Reset(pParams);
    }
    GError* pError = nullptr;
    // Running a view again starts its rows anew; libmsi wants the last run closed first.
    if (pView->bExecuted) {
        pMsi->queryClose(pView->query.Get(), &pError);
        FreeError(*pMsi, pError);
        pError = nullptr;
        pView->bExecuted = false;
    }
    bool bDone = pMsi->queryExecute(pView->query.Get(), params.Get(), &pError);
    FreeError(*pMsi, pError);
    if (!bDone)
        return ERROR_FUNCTION_FAILED;
    pView->bExecuted = true;
    return ERROR_SUCCESS;
}

UINT WINAPI MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord)
{
    std::shared_ptr<MsiViewObject> pView = Lookup<MsiViewObject>(hView);
    if (!pView)
        return ERROR_INVALID_HANDLE;
    if (!phRecord)
        return ERROR_INVALID_PARAMETER;
    if (!pView->bExecuted)
        return ERROR_FUNCTION_FAILED;
    const MsiLibrary* pMsi = Libmsi();
    GError* pError = nullptr;
    GRef<LibmsiRecord> row(pMsi->queryFetch(pView->query.Get(), &pError));
    FreeError(*pMsi, pError);
    if (!row.Get())
        return ERROR_NO_MORE_ITEMS;
    auto pRecord = std::make_shared<MsiRecordObject>();
    guint count = pMsi->recordFieldCount(row.Get());
    pRecord->fields.resize(count + 1);
    for (guint i = 1; i <= count; ++i) {
        gchar* pszValue = pMsi->recordGetString(row.Get(), i);
        pRecord->fields[i] = pszValue ? pszValue : "";
        pMsi->free(pszValue);
    }
    *phRecord = Insert(pRecord);
    return ERROR_SUCCESS;
}

MSIHANDLE WINAPI MsiCreateRecord(UINT cParams)
{
    auto pRecord = std::make_shared<MsiRecordObject>();
    pRecord->fields.resize(static_cast<size_t>(cParams) + 1);
    return Insert(pRecord);
}

UINT WINAPI MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue)
{
    std::shared_ptr<MsiRecordObject> pRecord = Lookup<MsiRecordObject>(hRecord);
    if (!pRecord)
        return ERROR_INVALID_HANDLE;
    if (iField >= pRecord->fields.size())
        return ERROR_INVALID_PARAMETER;
    pRecord->fields[iField] = szValue ? szValue : "";
    return ERROR_SUCCESS;
}

// A field beyond the record's count reads as the empty string, as on Windows.
UINT WINAPI MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf, LPDWORD pcchValueBuf)
{
    std::shared_ptr<MsiRecordObject> pRecord = Lookup<MsiRecordObject>(hRecord);
    if (!pRecord)
        return ERROR_INVALID_HANDLE;
    std::string value = iField < pRecord->fields.size() ? pRecord->fields[iField] : "";
    return CopyOut(value, szValueBuf, pcchValueBuf);
}

UINT WINAPI MsiCloseHandle(MSIHANDLE hAny)
{
    if (hAny == 0)
        return ERROR_SUCCESS;
    return lab::win32::RemoveHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(hAny))) ? ERROR_SUCCESS
                                                                                           : ERROR_INVALID_HANDLE;
}
