// The added items are invented and all alike but for their numbers; each one is something the report
// lists, so that the report shows whether the profile took effect.
#include "bench/wholerun/ScaledProfile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace wholerun {

namespace {

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWhole(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

int CountOf(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

// A base file that the profile replaces is taken over with the additions at its end.
std::string BaseFile(const std::string& baseProfile, const char* pszName)
{
    std::string text = ReadWhole(baseProfile + "/" + pszName);
    if (!text.empty() && text.back() != '\n')
        text += "\n";
    return text;
}

// Seconds after an hour that lies after everything in the sample server's logs.
std::string TimeAfter(const char* pszDay, int seconds)
{
    char szTime[32];
    std::snprintf(szTime, sizeof szTime, "%s %02d:%02d:%02d", pszDay, seconds / 3600 % 24, seconds / 60 % 60,
                  seconds % 60);
    return szTime;
}

// The installer keeps a product under its code with the digits of each group reversed (the last eight
// groups of two swapped within each pair).
std::string PackedCode(const std::string& digits)
{
    std::string packed;
    auto reversed = [&](size_t from, size_t count) { packed.append(digits.rbegin() + (32 - from - count), digits.rbegin() + (32 - from)); };
    reversed(0, 8);
    reversed(8, 4);
    reversed(12, 4);
    for (size_t i = 16; i < 32; i += 2) {
        packed += digits[i + 1];
        packed += digits[i];
    }
    return packed;
}

std::string Products(int added)
{
    std::ostringstream reg;
    reg << "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 1; i <= added; ++i) {
        char szDigits[48], szNumber[16];
        std::snprintf(szDigits, sizeof szDigits, "5EB0C0DE2C4A4E1B9D07%012X", i);
        std::snprintf(szNumber, sizeof szNumber, "%04d", i);
        std::string packed = PackedCode(szDigits);
        reg << "[HKEY_CLASSES_ROOT\\Installer\\Products\\" << packed << "]\r\n"
            << "\"ProductName\"=\"Tessaly Report Pack " << szNumber << "\"\r\n"
            << "\"Language\"=dword:00000409\r\n\"Version\"=dword:01020000\r\n\r\n"
            << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
               "Products\\"
            << packed << "\\InstallProperties]\r\n"
            << "\"DisplayName\"=\"Tessaly Report Pack " << szNumber << "\"\r\n"
            << "\"DisplayVersion\"=\"1.2." << i << "\"\r\n"
            << "\"Publisher\"=\"Tessaly Software\"\r\n"
            << "\"InstallDate\"=\"20251020\"\r\n"
            << "\"InstallLocation\"=\"C:\\\\Program Files\\\\Tessaly\\\\Pack" << szNumber << "\\\\\"\r\n\r\n";
    }
    return reg.str();
}

std::string ProductEvents(const std::string& base, int added)
{
    std::ostringstream log;
    log << base;
    for (int i = 0; i < added; ++i) {
        bool bError = i % 2 == 0;
        log << "\n[Record]\nTime=" << TimeAfter("2026-03-06", 3600 + i * 7) << "\n"
            << "Type=" << (bError ? "Error" : "Warning") << "\nSource=Ravelind\n"
            << (bError ? "EventID=0xC0000064\nString=RvRemote.dll\nString=126\n" : "EventID=0x80000065\nString=RvPower\n");
    }
    return log.str();
}

std::string Processes(const std::string& base, int added)
{
    std::ostringstream list;
    list << base;
    // Above any Linux process id (at most 2^22): the program itself is listed by its own.
    for (int i = 0; i < added; ++i) {
        list << "\n[Process]\nPid=" << 8000000 + 4 * i << "\n"
             << "Image=C:\\Windows\\system32\\svchost.exe\n"
             << "Module=C:\\Windows\\SYSTEM32\\ntdll.dll\nModule=C:\\Windows\\System32\\KERNEL32.DLL\n"
             << "WorkingSet=" << 8000 + i % 500 << "K\nPagefileUsage=3120K\nPageFaults=" << 2000 + i
             << "\nHandles=" << 100 + i % 300 << "\n";
    }
    return list.str();
}

std::string SystemEvents(const std::string& base, int added)
{
    std::ostringstream answers;
    answers << base;
    for (int i = 0; i < added; ++i) {
        answers << "\n[Event]\nTime=" << TimeAfter("2026-03-03", i * 11) << "\n"
                << "Severity=" << (i % 3 == 0 ? 2 : 0) << "\n"
                << (i % 3 == 0 ? "ErrorCode=0x0317\nMessage=FAN2 SYS: speed below warning threshold\n"
                               : "ErrorCode=0x0318\nMessage=FAN2 SYS: speed back to normal\n");
    }
    return answers.str();
}

}  // namespace

const char* ItemName(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Products:
        return "installed products";
    case ItemKind::ProductEvents:
        return "product event records";
    case ItemKind::Processes:
        return "processes";
    case ItemKind::SystemEvents:
        return "system event log entries";
    }
    return "?";
}

int ReportedItems(const std::string& report, ItemKind kind)
{
    switch (kind) {
    case ItemKind::Products:
        return CountOf(report, "<Product ");  // the operating system's own <Product> has no attribute
    case ItemKind::ProductEvents:
        return CountOf(report, "<Record ");
    case ItemKind::Processes:
        return CountOf(report, "<Process ");
    case ItemKind::SystemEvents: {
        size_t from = report.find("<SystemEventlog>");
        size_t to = report.find("</SystemEventlog>");
        if (from == std::string::npos || to == std::string::npos || to < from)
            return 0;
        return CountOf(report.substr(from, to - from), "<Entry>");
    }
    }
    return 0;
}

int ListedProcesses(const std::string& baseProfile)
{
    return CountOf(BaseFile(baseProfile, "processes.ini"), "[Process]");
}

void WriteScaledProfile(const std::string& dir, const std::string& baseProfile, ItemKind kind, int added)
{
    std::filesystem::create_directories(dir);
    WriteWhole(dir + "/lab.ini", "[Profile]\nBase=" + std::filesystem::absolute(baseProfile).string() + "\n");
    if (added == 0)
        return;
    switch (kind) {
    case ItemKind::Products:
        WriteWhole(dir + "/registry.reg", Products(added));
        break;
    case ItemKind::ProductEvents:
        WriteWhole(dir + "/eventlog/Application.txt",
                   ProductEvents(BaseFile(baseProfile, "eventlog/Application.txt"), added));
        break;
    case ItemKind::Processes:
        WriteWhole(dir + "/processes.ini", Processes(BaseFile(baseProfile, "processes.ini"), added));
        break;
    case ItemKind::SystemEvents:
        WriteWhole(dir + "/baseservice.ini", SystemEvents(BaseFile(baseProfile, "baseservice.ini"), added));
        break;
    }
}

}  // namespace wholerun
