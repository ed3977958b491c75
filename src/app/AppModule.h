// The application module: the instance handle the program's resources and windows belong to.
#pragma once

#include "src/platform/Win32.h"

class CAppModule {
public:
    CAppModule() : m_hInstance(nullptr) {}
    ~CAppModule() { Term(); }
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    void Init(HINSTANCE hInstance) { m_hInstance = hInstance; }
    void Term() { m_hInstance = nullptr; }
    HINSTANCE GetInstance() const { return m_hInstance; }

private:
    HINSTANCE m_hInstance;
};

// The module of this process, valid from start-up to shutdown.
extern CAppModule g_AppModule;
