// Owners of platform handles, so every handle is closed on every path.
#pragma once

#include "src/platform/Win32.h"

class CScopedHandle {
public:
    explicit CScopedHandle(HANDLE h = nullptr) : m_h(h) {}
    ~CScopedHandle() { Close(); }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (IsValid())
            CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h;
};

class CScopedRegKey {
public:
    explicit CScopedRegKey(HKEY hKey = nullptr) : m_hKey(hKey) {}
    ~CScopedRegKey() { Close(); }
    CScopedRegKey(const CScopedRegKey&) = delete;
    CScopedRegKey& operator=(const CScopedRegKey&) = delete;

    HKEY Get() const { return m_hKey; }
    PHKEY Receive()
    {
        Close();
        return &m_hKey;
    }
    void Close()
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

private:
    HKEY m_hKey;
};

// A function of a loaded module as type F, nullptr when it is missing. Casting through
// void (*)() keeps the compiler's function-type check quiet.
template <class F>
F ResolveProc(HMODULE hModule, LPCSTR pszFunction)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszFunction)));
}

class CScopedLibrary {
public:
    explicit CScopedLibrary(LPCSTR pszName) : m_hModule(LoadLibraryA(pszName)) {}
    ~CScopedLibrary()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    CScopedLibrary(const CScopedLibrary&) = delete;
    CScopedLibrary& operator=(const CScopedLibrary&) = delete;

    HMODULE Get() const { return m_hModule; }
    // The function's address as type F, nullptr when the library or the function is missing.
    template <class F>
    F Resolve(LPCSTR pszFunction) const
    {
        return m_hModule ? ResolveProc<F>(m_hModule, pszFunction) : nullptr;
    }

private:
    HMODULE m_hModule;
};

class CScopedServiceHandle {
public:
    explicit CScopedServiceHandle(SC_HANDLE hService = nullptr) : m_hService(hService) {}
    ~CScopedServiceHandle() { Close(); }
    CScopedServiceHandle(const CScopedServiceHandle&) = delete;
    CScopedServiceHandle& operator=(const CScopedServiceHandle&) = delete;

    SC_HANDLE Get() const { return m_hService; }
    void Close()
    {
        if (m_hService)
            CloseServiceHandle(m_hService);
        m_hService = nullptr;
    }

private:
    SC_HANDLE m_hService;
};

class CScopedMsiHandle {
public:
    explicit CScopedMsiHandle(MSIHANDLE hMsi = 0) : m_hMsi(hMsi) {}
    ~CScopedMsiHandle() { Close(); }
    CScopedMsiHandle(const CScopedMsiHandle&) = delete;
    CScopedMsiHandle& operator=(const CScopedMsiHandle&) = delete;

    MSIHANDLE Get() const { return m_hMsi; }
    MSIHANDLE* Receive()
    {
        Close();
        return &m_hMsi;
    }
    void Close()
    {
        if (m_hMsi)
            MsiCloseHandle(m_hMsi);
        m_hMsi = 0;
    }

private:
    MSIHANDLE m_hMsi;
};
