// A lab host with an SNMP service whose registry a test describes, on the virtual clock.
#pragma once

#include "tests/support/ServiceProfile.h"
#include "tests/support/TestText.h"

#include <string>

namespace testsupport {

const char SNMP_PARAMETERS[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\";

// A .reg key of the SNMP service's parameters with its value lines.
inline std::string SnmpKey(const std::string& key, const std::string& lines)
{
    return "[" + std::string(SNMP_PARAMETERS) + key + "]\r\n" + lines + "\r\n";
}

// The registry a small server answers MIB-II from: its name, version and processor.
inline std::string SnmpMachine()
{
    return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
           "\"ComputerName\"=\"QMFS-SNMP\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
           "\"CurrentVersion\"=\"6.3\"\r\n\"CurrentBuildNumber\"=\"14393\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0]\r\n"
           "\"Identifier\"=\"Intel64 Family 6 Model 79 Stepping 1\"\r\n\r\n";
}

// What the agent of SnmpMachine() says of itself (lab.ini gives it two processors).
inline const char* SnmpMachineDescription()
{
    return "Hardware: Intel64 Family 6 Model 79 Stepping 1 AT/AT COMPATIBLE - Software: Windows Version 6.3 "
           "(Build 14393 Multiprocessor Free)";
}

inline std::string SnmpServices(const char* pszState)
{
    return std::string("[SNMP]\nType=0x10\nAccept=0x3\nState=") + pszState + "\n";
}

class CSnmpHost : public CServiceProfile {
public:
    // strParameters: keys of the SNMP service (SnmpKey); the service runs unless told otherwise.
    explicit CSnmpHost(const std::string& strParameters, const std::string& strRegistry = "",
                       const char* pszState = "running", const std::string& strLabIni = "")
        : CServiceProfile(SnmpServices(pszState), SnmpMachine() + strParameters + strRegistry,
                          "[System]\nNumberOfProcessors=2\n" + strLabIni)
    {
    }
};

}  // namespace testsupport
