// Runs the diagnosis steps over a lab server whose outside data comes from the fuzzer: the registry
// values the operating system, SNMP and base service checks read, the records of the System and
// Application logs with their insertion strings, and the base service's first replies. Whatever they
// hold, the report the run writes is well-formed for libxml2 (an independent parser) and the
// sanitizers see no fault.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target CheckRunFuzz &&
//   build/fuzz/fuzz/CheckRunFuzz -max_total_time=60
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/FuzzCheck.h"
#include "lab/host/Host.h"
#include "lab/host/RegistryTree.h"
#include "lab/win32/ComControl.h"
#include "src/app/DiagSteps.h"
#include "src/report/DiagReport.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using lab::host::Host;
using lab::host::RegistryTree;
using lab::host::RegValue;

struct Target {
    const char* pszKey;
    const char* pszValue;
};

// The values the checks read into fixed buffers or copy into the report.
const Target TARGETS[] = {
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CSDVersion"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "RegisteredOrganization"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"},
    {"HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System", "SystemBiosVersion"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25",
     "Ravelin"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Setup", "FileRoot"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Setup", "Version"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Status", "ServerAgent"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Status", "StorageAgent"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup", "FileRoot"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup", "BinRoot"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup", "Version"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\ModuleStatus", "RvSmbios"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\ModuleStatus", "RvStorage"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\Detected", "RvPower"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\RvStorage", "CurrentVersion"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities", "public"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\PermittedManagers", "1"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\TrapConfiguration\\public", "1"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\RFC1156Agent", "sysContact"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents", "2"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\ServerAgent\\CurrentVersion", "Pathname"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Ravelind", "EventMessageFile"},
    {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\System\\Service Control Manager",
     "EventMessageFile"},
};
const size_t TARGET_COUNT = sizeof TARGETS / sizeof TARGETS[0];

// The sources the program explains, and message ids their files hold, so records reach the formatting.
const char* const SOURCES[] = {"Ravelind", "VexilServer", "Fennock", "SNMP", "Service Control Manager", "Tcpip"};
const uint32_t MESSAGE_IDS[] = {0xC0000064, 0x80000065, 0x40000066, 0xC0000067, 0xC0001B58,
                                0xC0001B77, 0x40001B7C, 0x800003EB, 0x400003E9};
const char* const TYPES[] = {"Error", "Warning", "Information", "AuditSuccess", "AuditFailure"};
const uint32_t STATUSES[] = {0, 1, 7, 0x0F, 12, 21, 255, 6};

struct Machine {
    std::string strRoot;
    std::string strReport;
    std::vector<bool> had;
    std::vector<RegValue> original;
};

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The default server on the lab's clock, with its SNMP service stopped (no snmpd per run) and a fixed
// process list; the values fuzzed are remembered so every run starts from the same registry.
Machine& TheMachine()
{
    static Machine* pMachine = [] {
        Host& host = Host::Instance();
        std::string strBase = host.ProfileDir();
        char szTemplate[] = "/tmp/triagist-checkrun-XXXXXX";
        std::string strRoot = mkdtemp(szTemplate);
        std::string strProfile = strRoot + "/profile";
        std::filesystem::create_directories(strProfile);
        std::ofstream(strProfile + "/lab.ini")
            << "[Profile]\nBase=" << strBase << "\n[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n"
            << "[Processes]\nSource=profile\n[Network]\nSource=none\n";
        std::ofstream(strProfile + "/processes.ini")
            << "[Process]\nPid=4\n\n[Process]\nPid=900\n"
               "Image=C:\\Program Files\\Quillmont\\Ravelin\\Bin\\Ravelind.exe\n";
        std::string strServices = Read(strBase + "/services.ini");
        size_t nSnmp = strServices.find("[SNMP]");
        size_t nState = strServices.find("State=running", nSnmp);
        FUZZ_CHECK(nSnmp != std::string::npos && nState != std::string::npos);
        strServices.replace(nState, 13, "State=stopped");
        std::ofstream(strProfile + "/services.ini") << strServices;
        FUZZ_CHECK(host.LoadProfile(strProfile, strRoot + "/state"));

        Machine* p = new Machine;
        p->strRoot = strRoot;
        p->strReport = strRoot + "/report.xml";
        // A run that ends normally leaves nothing behind; one that finds a fault keeps it for a look.
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(TheMachine().strRoot, ec);
        });
        for (const Target& target : TARGETS) {
            RegistryTree::KeyRef key;
            RegValue value;
            bool bHad = host.Registry().OpenPath(target.pszKey, 0, key) == lab::host::RegResult::Success &&
                        host.Registry().GetValue(key, target.pszValue, value) == lab::host::RegResult::Success;
            p->had.push_back(bHad);
            p->original.push_back(value);
        }
        return p;
    }();
    return *pMachine;
}

// Each value is left as the server has it, removed, or replaced by data of any type and length.
void FuzzRegistry(FuzzedDataProvider& fuzz, Machine& machine)
{
    RegistryTree& registry = Host::Instance().Registry();
    for (size_t i = 0; i < TARGET_COUNT; ++i) {
        RegistryTree::KeyRef key;
        FUZZ_CHECK(registry.CreatePath(TARGETS[i].pszKey, 0, key) == lab::host::RegResult::Success);
        const uint8_t bKind = fuzz.ConsumeIntegral<uint8_t>();
        if (bKind < 0x80) {
            if (machine.had[i])
                registry.SetValue(key, TARGETS[i].pszValue, machine.original[i].type, machine.original[i].data);
            else
                registry.DeleteValue(key, TARGETS[i].pszValue);
            continue;
        }
        if (bKind < 0x88) {
            registry.DeleteValue(key, TARGETS[i].pszValue);
            continue;
        }
        static const uint32_t TYPES_OF_DATA[] = {1, 2, 3, 4, 7, 1, 1, 11};
        uint32_t dwType = TYPES_OF_DATA[bKind & 7];
        std::vector<uint8_t> data = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, 64));
        // Lengths around the 260-byte buffers come from few input bytes: the rest is filler.
        if (bKind & 0x40) {
            static const size_t LENGTHS[] = {258, 259, 260, 261, 511, 512, 1024, 65535};
            data.resize(LENGTHS[(bKind >> 3) & 7], 'A');
        }
        registry.SetValue(key, TARGETS[i].pszValue, dwType, data);
    }
}

// A log in the lab's text form; every byte of an insertion string is written as an escape.
std::string FuzzLog(FuzzedDataProvider& fuzz)
{
    std::ostringstream log;
    const size_t nRecords = fuzz.ConsumeIntegralInRange<size_t>(0, 6);
    for (size_t r = 0; r < nRecords; ++r) {
        time_t tTime = static_cast<time_t>(fuzz.ConsumeIntegralInRange<uint32_t>(0, 0xFFFFFFFEu));
        struct tm utc = {};
        gmtime_r(&tTime, &utc);
        char szTime[32];
        std::strftime(szTime, sizeof szTime, "%Y-%m-%d %H:%M:%S", &utc);
        const uint8_t bPick = fuzz.ConsumeIntegral<uint8_t>();
        uint32_t dwId = (bPick & 0x80) ? fuzz.ConsumeIntegral<uint32_t>() : MESSAGE_IDS[bPick % 9];
        log << "[Record]\nTime=" << szTime << "\nType=" << TYPES[(bPick >> 4) % 5]
            << "\nSource=" << SOURCES[bPick % 6] << "\nEventID=0x" << std::hex << dwId << std::dec << "\n";
        const size_t nStrings = fuzz.ConsumeIntegralInRange<size_t>(0, 5);
        for (size_t s = 0; s < nStrings; ++s) {
            std::string strText = fuzz.ConsumeRandomLengthString(300);
            log << "String=\"";
            for (unsigned char c : strText) {
                char szEscape[8];
                std::snprintf(szEscape, sizeof szEscape, "\\x%02X", c == 0 ? 0x20 : c);
                log << szEscape;
            }
            log << "\"\n";
        }
    }
    return log.str();
}

void FuzzLogs(FuzzedDataProvider& fuzz)
{
    for (const char* pszLog : {"System", "Application"}) {
        std::string strError;
        FUZZ_CHECK(Host::Instance().TheEventLogs().SetLogText(pszLog, FuzzLog(fuzz), strError));
    }
}

void FuzzReplies(FuzzedDataProvider& fuzz)
{
    std::vector<lab::host::ScriptedReply> replies;
    const size_t nReplies = fuzz.ConsumeIntegralInRange<size_t>(0, 64);
    while (replies.size() < nReplies && fuzz.remaining_bytes() > 0) {
        lab::host::ScriptedReply reply;
        const uint8_t bKind = fuzz.ConsumeIntegral<uint8_t>();
        reply.status = (bKind & 0x80) ? fuzz.ConsumeIntegral<uint32_t>() : STATUSES[bKind % 8];
        reply.data = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, (bKind & 0x20) ? 600 : 40));
        replies.push_back(reply);
    }
    Host::Instance().TheBaseService().Script(replies);
}

// The first complaint libxml2 has about the report, for the finding's message.
void ExpectWellFormed(const std::string& strText)
{
    xmlResetLastError();
    xmlDocPtr pDoc = xmlReadMemory(strText.data(), static_cast<int>(strText.size()), "report.xml", nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!pDoc) {
        const xmlError* pError = xmlGetLastError();
        std::fprintf(stderr, "libxml2 rejects the report: line %d: %s", pError ? pError->line : 0,
                     pError && pError->message ? pError->message : "?\n");
    }
    FUZZ_CHECK(pDoc != nullptr);
    xmlFreeDoc(pDoc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Machine& machine = TheMachine();
    FuzzedDataProvider fuzz(data, size);
    FuzzRegistry(fuzz, machine);
    FuzzLogs(fuzz);
    FuzzReplies(fuzz);

    std::remove(machine.strReport.c_str());
    {
        CDiagReport report(DiagnosisSteps());
        report.m_strOutputFile = machine.strReport;
        report.Run();
    }
    std::string strText = Read(machine.strReport);
    // The run writes no file when its own check finds the document broken: a finding too.
    FUZZ_CHECK(!strText.empty());
    ExpectWellFormed(strText);
    FUZZ_CHECK(lab::win32::LiveComObjects() == 0);

    Host& host = Host::Instance();
    host.TheBaseService().Script({});
    host.ClearJournal();
    host.TakeDebugOutput();
    return 0;
}
