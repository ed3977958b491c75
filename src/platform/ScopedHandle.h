// Owners of platform handles, so every handle is closed on every path: one owner, with close traits
// per kind of handle.
#pragma once

#include "src/platform/Win32.h"

// Traits: the handle's type, the value that means "none", which values are open, and how to close one.
template <class Traits>
class CScoped {
public:
    using Type = typename Traits::Type;

    explicit CScoped(Type h = Traits::None()) : m_h(h) {}
    ~CScoped() { Close(); }
    CScoped(const CScoped&) = delete;
    CScoped& operator=(const CScoped&) = delete;
    CScoped(CScoped&& other) noexcept : m_h(other.Detach()) {}
    CScoped& operator=(CScoped&& other) noexcept
    {
        Reset(other.Detach());
        return *this;
    }

    Type Get() const { return m_h; }
    bool IsValid() const { return Traits::IsOpen(m_h); }
    // Closes what is held and lends the slot to a function that returns a handle through a pointer.
    Type* Receive()
    {
        Close();
        return &m_h;
    }
    // Lends the slot with what it holds to a function that may replace it (an in-out argument); what
    // the function leaves there is owned.
    Type* InOut() { return &m_h; }
    void Reset(Type h = Traits::None())
    {
        if (h == m_h)
            return;
        Close();
        m_h = h;
    }
    // Gives up ownership without closing.
    Type Detach()
    {
        Type h = m_h;
        m_h = Traits::None();
        return h;
    }
    void Close()
    {
        Type h = Detach();
        if (Traits::IsOpen(h))
            Traits::Close(h);
    }

private:
    Type m_h;
};

// Traits for handles whose "none" is a null pointer or zero.
template <class T, auto pfnClose>
struct NullIsNoneTraits {
    using Type = T;
    static Type None() { return Type(); }
    static bool IsOpen(Type h) { return h != Type(); }
    static void Close(Type h) { pfnClose(h); }
};

// Kernel objects: files answer INVALID_HANDLE_VALUE for none, most others null.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type None() { return nullptr; }
    static bool IsOpen(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};

// Directory searches: FindFirstFileA answers INVALID_HANDLE_VALUE for none, and FindClose closes.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool IsOpen(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};

inline void FreeLocalMemory(HLOCAL h) { LocalFree(h); }
inline void UnloadModule(HMODULE h) { FreeLibrary(h); }

using CScopedHandle = CScoped<KernelHandleTraits>;
using CScopedRegKey = CScoped<NullIsNoneTraits<HKEY, RegCloseKey>>;
using CScopedServiceHandle = CScoped<NullIsNoneTraits<SC_HANDLE, CloseServiceHandle>>;
using CScopedMsiHandle = CScoped<NullIsNoneTraits<MSIHANDLE, MsiCloseHandle>>;
using CScopedFindHandle = CScoped<FindHandleTraits>;
using CScopedEventLog = CScoped<NullIsNoneTraits<HANDLE, CloseEventLog>>;
using CScopedLocalMemory = CScoped<NullIsNoneTraits<HLOCAL, FreeLocalMemory>>;
using CScopedBstr = CScoped<NullIsNoneTraits<BSTR, SysFreeString>>;
using CScopedModule = CScoped<NullIsNoneTraits<HMODULE, UnloadModule>>;
using CScopedSafeArray = CScoped<NullIsNoneTraits<SAFEARRAY*, SafeArrayDestroy>>;

// A function of a loaded module as type F, nullptr when it is missing. Casting through
// void (*)() keeps the compiler's function-type check quiet.
template <class F>
F ResolveProc(HMODULE hModule, LPCSTR pszFunction)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszFunction)));
}

// A library loaded by name for the owner's lifetime.
class CScopedLibrary : public CScopedModule {
public:
    explicit CScopedLibrary(LPCSTR pszName) : CScopedModule(LoadLibraryA(pszName)) {}

    // The function's address as type F, nullptr when the library or the function is missing.
    template <class F>
    F Resolve(LPCSTR pszFunction) const
    {
        return IsValid() ? ResolveProc<F>(Get(), pszFunction) : nullptr;
    }
};

// A COM interface pointer, released when the owner goes.
template <class T>
class CComPointer {
public:
    explicit CComPointer(T* p = nullptr) : m_p(p) {}
    ~CComPointer() { Release(); }
    CComPointer(const CComPointer&) = delete;
    CComPointer& operator=(const CComPointer&) = delete;
    CComPointer(CComPointer&& other) noexcept : m_p(other.Detach()) {}
    CComPointer& operator=(CComPointer&& other) noexcept
    {
        Reset(other.Detach());
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Releases what is held and lends the slot to a function that returns an interface.
    T** Receive()
    {
        Release();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    // Takes over the reference p, releasing the one held (even when it is the same object's).
    void Reset(T* p = nullptr)
    {
        Release();
        m_p = p;
    }
    // Gives up the reference without releasing it.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Release()
    {
        if (T* p = Detach())
            p->Release();
    }

private:
    T* m_p;
};

// A VARIANT, cleared when the owner goes.
class CScopedVariant {
public:
    CScopedVariant() { VariantInit(&m_v); }
    ~CScopedVariant() { VariantClear(&m_v); }
    CScopedVariant(const CScopedVariant&) = delete;
    CScopedVariant& operator=(const CScopedVariant&) = delete;

    VARIANT* Ptr() { return &m_v; }
    VARIANT& Get() { return m_v; }
    const VARIANT& Get() const { return m_v; }
    void Clear() { VariantClear(&m_v); }

private:
    VARIANT m_v;
};
