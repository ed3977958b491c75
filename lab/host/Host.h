// Stands in for the whole managed server: its profile, state, registry, drives, clock and outputs.
#pragma once

#include "lab/host/BaseService.h"
#include "lab/host/Clock.h"
#include "lab/host/Drives.h"
#include "lab/host/EventLogs.h"
#include "lab/host/Firmware.h"
#include "lab/host/FileTimes.h"
#include "lab/host/IniFile.h"
#include "lab/host/ProfileLayers.h"
#include "lab/host/Processes.h"
#include "lab/host/Network.h"
#include "lab/host/SnmpAgent.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lab::host {

class RegistryTree;
class ServiceTable;

class Host {
public:
    // The machine of this process: the profile named by TRIAGIST_LAB, else the default one.
    static Host& Instance();

    // Rebuilds the machine from a profile. stateDir empty: TRIAGIST_LAB_STATE, else the cache.
    // False, with the reason on standard error, when the profile or one of its bases is missing;
    // the machine is then made of the layers that were found.
    bool LoadProfile(const std::string& profileDir, const std::string& stateDir = "");
    // Forgets what earlier runs changed and reloads the profile as it stands.
    void ResetState();

    const std::string& ProfileDir() const { return m_profileDir; }
    // The profile and the profiles it builds on, for facilities that read the profile's files.
    const ProfileLayers& Layers() const { return m_layers; }
    const std::string& StateDir() const { return m_stateDir; }
    const IniFile& Settings() const { return m_settings; }

    RegistryTree& Registry() { return *m_pRegistry; }
    // Persists the registry into the state directory; called after every change.
    void SaveRegistry();

    // The service control manager's database; its state changes persist in the state directory.
    ServiceTable& Services() { return *m_pServices; }

    // How many times a profile was loaded in this process, so facilities can tell a reload.
    uint64_t LoadCount() const { return m_loadCount; }

    Clock& TheClock() { return m_clock; }
    const Drives& TheDrives() const { return m_drives; }
    EventLogs& TheEventLogs() { return m_eventLogs; }
    Processes& TheProcesses() { return m_processes; }
    Network& TheNetwork() { return m_network; }
    // The agent behind the SNMP service, while that service runs.
    SnmpAgent& TheSnmpAgent() { return m_snmpAgent; }
    FileTimes& TheFileTimes() { return m_fileTimes; }
    // What answers behind the command router (it answers only while its service runs).
    BaseService& TheBaseService() { return m_baseService; }
    // Physical memory, the routing interface and PCI configuration space behind the board driver.
    Firmware& TheFirmware() { return m_firmware; }

    // A variable of the machine's environment: the profile's, then the process's.
    bool Environment(const std::string& name, std::string& value) const;

    // The debugger output: kept for tests, and appended to TRIAGIST_LAB_DEBUG_OUTPUT when set.
    void DebugOutput(const std::string& text);
    std::vector<std::string> TakeDebugOutput();

    // Calls to facilities that leave no trace on Linux (COM, common controls), in order.
    void Record(const std::string& call);
    std::vector<std::string> Journal() const;
    void ClearJournal();

private:
    Host();
    void LoadRegistry();
    std::string RegistryStamp() const;
    void LoadServices();
    void LoadFileTimes();

    std::string m_profileDir;
    ProfileLayers m_layers;
    std::string m_stateDir;
    IniFile m_settings;
    std::unique_ptr<RegistryTree> m_pRegistry;
    Clock m_clock;
    Drives m_drives;
    std::unique_ptr<ServiceTable> m_pServices;
    uint64_t m_loadCount = 0;
    EventLogs m_eventLogs;
    Processes m_processes;
    Network m_network;
    FileTimes m_fileTimes;
    SnmpAgent m_snmpAgent;
    BaseService m_baseService;
    Firmware m_firmware;

    mutable std::mutex m_outputLock;
    std::vector<std::string> m_debugOutput;
    std::vector<std::string> m_journal;
};

}  // namespace lab::host
