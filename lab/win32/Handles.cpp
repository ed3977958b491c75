// Stands in for the kernel's object handle table.
#include "lab/win32/Handles.h"

#include "lab/win32/Windows.h"

#include <mutex>
#include <unordered_map>

namespace lab::win32 {

namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0x100;  // multiples of four, like the real table
};

HandleTable& Table()
{
    static HandleTable* pTable = new HandleTable;  // outlives every static destructor
    return *pTable;
}

}  // namespace

DWORD KernelObject::Wait(DWORD)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> pObject)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(pObject));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE h)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(h));
    return it == table.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE h)
{
    std::shared_ptr<KernelObject> pDoomed;  // destroyed outside the lock
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(h));
    if (it == table.objects.end())
        return false;
    pDoomed = std::move(it->second);
    table.objects.erase(it);
    return true;
}

size_t HandleCount()
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.objects.size();
}

}  // namespace lab::win32

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (!lab::win32::RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
