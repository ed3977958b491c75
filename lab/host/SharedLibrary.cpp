// A system library the lab loads on first use rather than at every start: most runs never need it.
#include "lab/host/SharedLibrary.h"

#include <dlfcn.h>

#include <cstdio>

namespace lab::host {

SharedLibrary::SharedLibrary(const char* pszSoname, const char* pszLoss) : m_soname(pszSoname), m_loss(pszLoss)
{
    // Never unloaded: such libraries keep state of their own that the process refers to until it ends.
    m_pHandle = dlopen(pszSoname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!m_pHandle) {
        const char* pszError = dlerror();  // names the library and the reason
        std::fprintf(stderr, "lab: %s; %s\n", pszError ? pszError : (m_soname + " cannot be loaded").c_str(),
                     m_loss.c_str());
    }
}

SharedLibrary::~SharedLibrary()
{
    if (m_pHandle)
        dlclose(m_pHandle);
}

void* SharedLibrary::Symbol(const char* pszName)
{
    void* pFunction = m_pHandle ? dlsym(m_pHandle, pszName) : nullptr;
    if (m_pHandle && !pFunction && m_missing.empty())
        m_missing = pszName;
    return pFunction;
}

bool SharedLibrary::Complete()
{
    if (!m_pHandle)
        return false;
    if (!m_missing.empty())
        std::fprintf(stderr, "lab: %s: no function %s; %s\n", m_soname.c_str(), m_missing.c_str(), m_loss.c_str());
    return m_missing.empty();
}

}  // namespace lab::host
