// The sample server as a test's machine, changed where the test says, on the virtual clock.
#pragma once

#include "lab/host/Host.h"
#include "tests/support/TempProfile.h"

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// A file of the assembled default profile as it stands.
inline std::string DefaultProfileFile(const std::string& name)
{
    std::ifstream in(std::string(TRIAGIST_LAB_DEFAULT_PROFILE_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A profile that builds on the default one: strRegistry extends its registry, strLabIni its lab.ini.
class CDefaultServer {
public:
    explicit CDefaultServer(const std::string& strRegistry = "", const std::string& strLabIni = "")
        : m_profile(strRegistry, std::string("[Profile]\nBase=") + TRIAGIST_LAB_DEFAULT_PROFILE_DIR +
                                     "\n[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n" + strLabIni)
    {
    }
    ~CDefaultServer() { lab::host::Host::Instance().TheSnmpAgent().Stop(); }
    CDefaultServer(const CDefaultServer&) = delete;
    CDefaultServer& operator=(const CDefaultServer&) = delete;

    // A file of the variant in place of the default's, the machine loaded anew.
    void Write(const std::string& name, const std::string& text) const
    {
        m_profile.Write(name, text);
        lab::host::Host::Instance().LoadProfile(m_profile.Dir(), m_profile.StateDir());
    }
    const CTempProfile& Profile() const { return m_profile; }

private:
    CTempProfile m_profile;
};

}  // namespace testsupport
