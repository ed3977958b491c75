// Stands in for the kernel's object handle table (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/WinDef.h"

#include <memory>

namespace lab::win32 {

// Anything a HANDLE can name. Wait() answers WaitForSingleObject with the
// timeout already converted to real milliseconds (INFINITE stays INFINITE).
class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual DWORD Wait(DWORD dwRealMilliseconds);
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> pObject);
std::shared_ptr<KernelObject> LookupHandle(HANDLE h);
bool RemoveHandle(HANDLE h);
size_t HandleCount();

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE h)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(h));
}

}  // namespace lab::win32
