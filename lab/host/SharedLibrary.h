// A system library the lab loads on first use rather than at every start: most runs never need it.
#pragma once

#include <string>

namespace lab::host {

class SharedLibrary {
public:
    // `pszLoss` says what cannot be done without the library; it ends the message given on failure.
    SharedLibrary(const char* pszSoname, const char* pszLoss);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Resolves one function into its slot (null when missing); functions of the libraries this one
    // depends on are found too.
    template <class Function>
    SharedLibrary& Bind(const char* pszName, Function& function)
    {
        function = reinterpret_cast<Function>(Symbol(pszName));
        return *this;
    }
    // Whether the library loaded and every Bind found its function; when not, says so on standard error.
    bool Complete();

private:
    void* Symbol(const char* pszName);

    void* m_pHandle = nullptr;
    std::string m_soname;
    std::string m_loss;
    std::string m_missing;
};

}  // namespace lab::host
