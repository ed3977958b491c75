// A lab host whose service control manager holds the services a test describes, on the virtual clock.
#pragma once

#include "lab/host/Host.h"
#include "lab/win32/UserControl.h"
#include "tests/support/TempProfile.h"

#include <string>

class CServiceProfile {
public:
    // strServices is the profile's services.ini; strLabIni is added to a lab.ini that sets the virtual clock.
    explicit CServiceProfile(const std::string& strServices, const std::string& strRegistry = "",
                             const std::string& strLabIni = "")
        : m_profile(strRegistry, "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\nTick=1024000\n" + strLabIni)
    {
        m_profile.Write("services.ini", strServices);
        Reload();
        lab::win32::ClearMessageBoxAnswers();
    }
    ~CServiceProfile() { lab::win32::ClearMessageBoxAnswers(); }
    CServiceProfile(const CServiceProfile&) = delete;
    CServiceProfile& operator=(const CServiceProfile&) = delete;

    // Loads the profile again over the same state, as a later run of the program would.
    void Reload() const { lab::host::Host::Instance().LoadProfile(m_profile.Dir(), m_profile.StateDir()); }
    const CTempProfile& Profile() const { return m_profile; }

    // The lab clock's milliseconds.
    static uint64_t Now() { return lab::host::Host::Instance().TheClock().TickMs(); }

private:
    CTempProfile m_profile;
};
