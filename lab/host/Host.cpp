// Stands in for the whole managed server: its profile, state, registry, drives, clock and outputs.
#include "lab/host/Host.h"

#include "lab/host/ProfileValues.h"
#include "lab/host/RegistryTree.h"
#include "lab/host/ServiceTable.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#ifndef TRIAGIST_DEFAULT_PROFILE
#define TRIAGIST_DEFAULT_PROFILE ""
#endif

namespace lab::host {

namespace fs = std::filesystem;

namespace {

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

// The installed tree carries the default profile beside the program.
std::string DefaultProfile()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path beside = exe.parent_path() / "lab" / "default";
        if (fs::exists(beside / "registry.reg", ec))
            return beside.string();
    }
    return TRIAGIST_DEFAULT_PROFILE;
}

std::string DefaultStateDir(const std::string& profileDir)
{
    std::string cache = EnvOr("XDG_CACHE_HOME", "");
    if (cache.empty()) {
        std::string home = EnvOr("HOME", "");
        cache = home.empty() ? "/tmp" : home + "/.cache";
    }
    std::string name = fs::path(profileDir).filename().string();
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(profileDir));
    return cache + "/triagist-lab/" + name + "-" + hash;
}

// What the state's snapshot was taken from; a changed profile makes the snapshot stale.
std::string ProfileStamp(const std::string& regFile)
{
    std::error_code ec;
    auto size = fs::file_size(regFile, ec);
    if (ec)
        return "none";
    auto when = fs::last_write_time(regFile, ec).time_since_epoch().count();
    return std::to_string(size) + ":" + std::to_string(static_cast<long long>(when));
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A time of lab.ini, local time.
bool ParseLocal(const std::string& text, std::time_t& result)
{
    DateTime when;
    if (!ParseDateTime(text, when))
        return false;
    result = AsLocalTime(when);
    return true;
}

// A number of lab.ini, or the fallback for none or a bad one.
uint64_t SettingNumber(const IniFile& settings, const char* section, const char* key, uint64_t fallback)
{
    uint64_t value = fallback;
    return ParseNumber(settings.Get(section, key, ""), value) ? value : fallback;
}

std::time_t ParseLocal(const std::string& text)
{
    std::time_t result = 0;
    return ParseLocal(text, result) ? result : std::time(nullptr);
}

}  // namespace

Host& Host::Instance()
{
    static Host* pHost = new Host;  // used by static destructors too, so never destroyed
    return *pHost;
}

Host::Host() : m_pRegistry(new RegistryTree), m_pServices(new ServiceTable(m_clock))
{
    // A machine that silently came up empty would only mislead: a wrong path ends the program.
    if (!LoadProfile(EnvOr("TRIAGIST_LAB", DefaultProfile())))
        std::exit(2);
}

bool Host::LoadProfile(const std::string& profileDir, const std::string& stateDir)
{
    std::error_code ec;
    m_profileDir = profileDir.empty() ? profileDir : fs::absolute(profileDir, ec).lexically_normal().string();
    m_stateDir = !stateDir.empty() ? stateDir : EnvOr("TRIAGIST_LAB_STATE", DefaultStateDir(m_profileDir));
    fs::create_directories(m_stateDir, ec);

    std::string error;
    bool bResolved = m_layers.Resolve(profileDir.empty() ? "." : profileDir, error);
    if (!bResolved)
        std::fprintf(stderr, "lab: %s\n", error.c_str());
    m_settings = m_layers.Settings();
    m_snmpAgent.Stop();  // a new machine's agent takes the new machine's configuration
    std::string silent = m_settings.Get("SNMP", "Silent", "no");
    m_snmpAgent.SetSilent(EqualsNoCase(silent, "yes") || silent == "1");
    SnmpScript script;
    script.bScripted = EqualsNoCase(m_settings.Get("SNMP", "Agent", "snmpd"), "scripted");
    std::string notAdvancing = m_settings.Get("SNMP", "NotAdvancing", "no");
    script.bNotAdvancing = EqualsNoCase(notAdvancing, "yes") || notAdvancing == "1";
    script.wrongTypes = m_settings.Get("SNMP", "WrongTypes", "no");
    for (char& c : script.wrongTypes)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    script.delayMs = static_cast<uint32_t>(SettingNumber(m_settings, "SNMP", "Delay", 0));
    m_snmpAgent.SetScript(script, m_clock);
    std::vector<std::string> driveCs;
    for (const std::string& dir : m_layers.Dirs())
        driveCs.push_back(dir + "/drive_c");
    m_drives.Mount(driveCs, m_stateDir + "/drive_c");

    if (EqualsNoCase(m_settings.Get("Clock", "Mode", "real"), "virtual")) {
        m_clock.SetVirtual(ParseLocal(m_settings.Get("Clock", "Start", "")),
                           SettingNumber(m_settings, "Clock", "Tick", 3600000));
    } else {
        m_clock.SetReal();
    }
    m_clock.SetProgramPatience(static_cast<uint32_t>(
        SettingNumber(m_settings, "Clock", "ProgramPatience", Clock::kDefaultProgramPatienceMs)));
    LoadRegistry();
    LoadServices();
    ++m_loadCount;
    m_eventLogs.Load(m_layers, m_settings);
    m_processes.Load(m_layers, m_settings);
    m_network.Configure(m_layers, m_settings);
    m_firmware.Load(m_layers, m_settings);
    LoadFileTimes();
    // A fact the modelled server could not have shown (the lab would show something else in its place)
    // refuses the profile, as a missing one does.
    bool bFaithful = m_baseService.Load(m_layers.Find("baseservice.ini"));
    std::string snmpConfig, problem;
    if (m_pServices->Exists("SNMP") &&
        !SnmpServiceConfig(*m_pRegistry, m_settings, m_network, m_baseService.Subsystems(), snmpConfig, problem)) {
        std::fprintf(stderr, "lab: %s: the SNMP service: %s\n", m_profileDir.c_str(), problem.c_str());
        bFaithful = false;
    }
    {
        std::lock_guard<std::mutex> guard(m_outputLock);
        m_debugOutput.clear();
        m_journal.clear();
    }
    return bResolved && bFaithful;
}

void Host::ResetState()
{
    std::error_code ec;
    fs::remove(m_stateDir + "/registry.reg", ec);
    fs::remove(m_stateDir + "/registry.stamp", ec);
    fs::remove_all(m_stateDir + "/drive_c", ec);
    fs::remove(m_stateDir + "/services.ini", ec);
    fs::remove(m_stateDir + "/services.stamp", ec);
    LoadProfile(m_profileDir, m_stateDir);
}

// The registry files of every layer, the deepest base first, each applied over the ones before.
std::string Host::RegistryStamp() const
{
    std::string stamp;
    for (const std::string& file : m_layers.FindAll("registry.reg"))
        stamp += file + "=" + ProfileStamp(file) + "\n";
    return stamp.empty() ? "none" : stamp;
}

void Host::LoadRegistry()
{
    std::string stateReg = m_stateDir + "/registry.reg";
    std::vector<std::string> sources = m_layers.FindAll("registry.reg");
    std::error_code ec;
    if (fs::exists(stateReg, ec) && ReadWhole(m_stateDir + "/registry.stamp") == RegistryStamp())
        sources = {stateReg};

    m_pRegistry->Clear();
    for (const std::string& source : sources) {
        std::string error;
        if (!m_pRegistry->LoadRegFile(source, error)) {
            std::fprintf(stderr, "lab: %s: %s\n", source.c_str(), error.c_str());
            m_pRegistry->Clear();
            break;
        }
    }
    for (const auto& entry : m_settings.Section("Registry")) {
        if (EqualsNoCase(entry.first, "Deny64BitView"))
            if (!m_pRegistry->SetDeny64BitView(entry.second, true))
                std::fprintf(stderr, "lab: %s/lab.ini: unknown key %s\n", m_profileDir.c_str(), entry.second.c_str());
    }
}

void Host::LoadServices()
{
    std::string profileIni = m_layers.Find("services.ini");
    m_pServices->Load(profileIni, m_settings);
    m_pServices->Persist(m_stateDir + "/services.ini", m_stateDir + "/services.stamp", ProfileStamp(profileIni));
}

// [FileTimes] C:\path\file.dll=2024-05-14 09:30:00 gives a file its creation time (local time).
void Host::LoadFileTimes()
{
    m_fileTimes.Clear();
    for (const auto& entry : m_settings.Section("FileTimes")) {
        std::time_t when = 0;
        if (!ParseLocal(entry.second, when)) {
            std::fprintf(stderr, "lab: %s/lab.ini: bad time for %s\n", m_profileDir.c_str(), entry.first.c_str());
            continue;
        }
        m_fileTimes.SetCreation(FileTimes::Key(entry.first), FileTimeFromUnix(when));
    }
}

void Host::SaveRegistry()
{
    std::string stateReg = m_stateDir + "/registry.reg";
    std::string temp = stateReg + "." + std::to_string(getpid());
    if (!m_pRegistry->SaveRegFile(temp))
        return;
    std::error_code ec;
    fs::rename(temp, stateReg, ec);
    std::ofstream(m_stateDir + "/registry.stamp", std::ios::binary) << RegistryStamp();
}

bool Host::Environment(const std::string& name, std::string& value) const
{
    for (const auto& entry : m_settings.Section("Environment")) {
        if (EqualsNoCase(entry.first, name)) {
            value = entry.second;
            return true;
        }
    }
    for (char** pp = environ; *pp; ++pp) {
        std::string pair = *pp;
        size_t eq = pair.find('=');
        if (eq != std::string::npos && EqualsNoCase(pair.substr(0, eq), name)) {
            value = pair.substr(eq + 1);
            return true;
        }
    }
    return false;
}

void Host::DebugOutput(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_outputLock);
    m_debugOutput.push_back(text);
    std::string file = EnvOr("TRIAGIST_LAB_DEBUG_OUTPUT", "");
    if (!file.empty())
        std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

std::vector<std::string> Host::TakeDebugOutput()
{
    std::vector<std::string> lines;
    std::lock_guard<std::mutex> guard(m_outputLock);
    lines.swap(m_debugOutput);
    return lines;
}

void Host::Record(const std::string& call)
{
    std::lock_guard<std::mutex> guard(m_outputLock);
    m_journal.push_back(call);
}

std::vector<std::string> Host::Journal() const
{
    std::lock_guard<std::mutex> guard(m_outputLock);
    return m_journal;
}

void Host::ClearJournal()
{
    std::lock_guard<std::mutex> guard(m_outputLock);
    m_journal.clear();
}

}  // namespace lab::host
