// A lab host with the command router installed and the base service answering from the text a test gives.
#pragma once

#include "lab/host/Host.h"
#include "lab/win32/ComControl.h"
#include "lab/win32/ServiceControl.h"
#include "tests/support/ServiceProfile.h"

#include <string>

// A server that answers every command of the checks, healthy.
const char ROUTER_SERVER[] =
    "[Server]\n"
    "CabinetNumber=3\n"
    "ServerModel=QX100 S2\n"
    "ChassisModel=QX100 R\n"
    "CabinetSerialNumber=SN0001\n"
    "Systemboard=D1000\n"
    "ControllerModel=iQRC 4\n"
    "ControllerFirmware=4.10A\n"
    "ChassisEEPROM=0a 01 ff\n"
    "SystemStatus=1\n";

class CRouterProfile {
public:
    static const char* Registration()
    {
        return "[HKEY_CLASSES_ROOT\\CLSID\\{AD289653-B5C5-11D2-88BB-00C095ECACC1}]\r\n"
               "\"AppID\"=\"{9730B9A2-1CDF-11D2-950E-0000E817385C}\"\r\n\r\n"
               "[HKEY_CLASSES_ROOT\\AppID\\{9730B9A2-1CDF-11D2-950E-0000E817385C}]\r\n"
               "\"LocalService\"=\"Ravelind\"\r\n\r\n";
    }

    // strBaseService is the profile's baseservice.ini; the router's class is registered unless bRegistered is false.
    explicit CRouterProfile(const std::string& strBaseService = ROUTER_SERVER, bool bRegistered = true,
                            const std::string& strLabIni = "")
        : m_host("[Ravelind]\nType=0x10\nState=running\nAccept=0x1\n", bRegistered ? Registration() : "",
                 strLabIni)
    {
        m_host.Profile().Write("baseservice.ini", strBaseService);
        m_host.Reload();
    }
    CRouterProfile(const CRouterProfile&) = delete;
    CRouterProfile& operator=(const CRouterProfile&) = delete;

    lab::host::BaseService& Service() const { return lab::host::Host::Instance().TheBaseService(); }
    const CTempProfile& Profile() const { return m_host.Profile(); }

    // The base service stops (or runs again), as an administrator would make it.
    void SetRunning(bool bRunning) const
    {
        lab::win32::ChangeService("Ravelind", [bRunning](lab::host::ServiceEntry& entry) {
            entry.state = bRunning ? lab::host::svc::kRunning : lab::host::svc::kStopped;
        });
    }

private:
    CServiceProfile m_host;
};
