// What the version and message suites share: the built PE fixtures, and the assembled default profile as the host.
#pragma once

#include "tests/lab/LabTestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace labtest {

inline std::string Fixture(const std::string& name)
{
    return std::string(TRIAGIST_LAB_FIXTURES_DIR) + "/" + name;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::string text = testsupport::ReadText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    testsupport::WriteText(path, std::string(bytes.begin(), bytes.end()));
}

// The default profile, with its built files on drive C:, as the machine for one test; a state of
// its own, and the machine before it back afterwards.
class DefaultProfileHost {
public:
    DefaultProfileHost()
        : m_previousProfile(lab::host::Host::Instance().ProfileDir()),
          m_previousState(lab::host::Host::Instance().StateDir())
    {
        lab::host::Host::Instance().LoadProfile(TRIAGIST_LAB_DEFAULT_PROFILE_DIR, m_state.Path());
    }
    ~DefaultProfileHost() { lab::host::Host::Instance().LoadProfile(m_previousProfile, m_previousState); }
    DefaultProfileHost(const DefaultProfileHost&) = delete;
    DefaultProfileHost& operator=(const DefaultProfileHost&) = delete;

    const ScratchDir& State() const { return m_state; }

private:
    std::string m_previousProfile;
    std::string m_previousState;
    ScratchDir m_state;
};

}  // namespace labtest
