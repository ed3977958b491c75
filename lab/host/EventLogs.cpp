// Stands in for the event logs of the server (the Windows event log service's files), as the profile describes them.
#include "lab/host/EventLogs.h"

#include "lab/host/BlockFile.h"
#include "lab/host/IniFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace lab::host {

namespace fs = std::filesystem;

namespace {

const char* const kStandardLogs[] = {"Application", "System", "Security"};

struct TypeName {
    const char* name;
    uint16_t type;
};
const TypeName kTypes[] = {{"Success", 0},       {"Error", 1},         {"Warning", 2},
                           {"Information", 4},   {"AuditSuccess", 8},  {"AuditFailure", 16}};

// A record's time, read as UTC.
bool ParseUtc(const std::string& text, uint32_t& seconds)
{
    DateTime when;
    if (!ParseDateTime(text, when))
        return false;
    std::time_t value = AsUtc(when);
    if (value < 0 || value > static_cast<std::time_t>(UINT32_MAX))
        return false;
    seconds = static_cast<uint32_t>(value);
    return true;
}

bool ParseType(const std::string& text, uint16_t& type)
{
    for (const TypeName& known : kTypes) {
        if (EqualsNoCase(text, known.name)) {
            type = known.type;
            return true;
        }
    }
    uint64_t number = 0;
    if (!ParseNumber(text, number) || number > 0xFFFF)
        return false;
    type = static_cast<uint16_t>(number);
    return true;
}

// "S-1-5-21-...": revision, sub-authority count, the 48-bit authority big-endian, then the
// sub-authorities little-endian, as a SID lies in memory.
bool ParseSid(const std::string& text, std::vector<uint8_t>& sid)
{
    if (text.size() < 2 || std::toupper(static_cast<unsigned char>(text[0])) != 'S' || text[1] != '-')
        return false;
    std::vector<uint64_t> fields;
    size_t start = 2;
    while (true) {
        size_t dash = text.find('-', start);
        uint64_t number = 0;
        if (!ParseNumber(text.substr(start, dash == std::string::npos ? std::string::npos : dash - start), number))
            return false;
        fields.push_back(number);
        if (dash == std::string::npos)
            break;
        start = dash + 1;
    }
    // Revision 1, an authority, and at most 15 sub-authorities.
    if (fields.size() < 2 || fields.size() > 17 || fields[0] != 1 || fields[1] >= (1ull << 48))
        return false;
    sid.assign({1, static_cast<uint8_t>(fields.size() - 2)});
    for (int shift = 40; shift >= 0; shift -= 8)
        sid.push_back(static_cast<uint8_t>(fields[1] >> shift));
    for (size_t i = 2; i < fields.size(); ++i) {
        if (fields[i] > UINT32_MAX)
            return false;
        for (int shift = 0; shift < 32; shift += 8)
            sid.push_back(static_cast<uint8_t>(fields[i] >> shift));
    }
    return true;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// "System:1500" from a switch line of lab.ini.
bool ParseSwitch(const std::string& text, std::string& log, uint32_t& error)
{
    size_t colon = text.rfind(':');
    uint64_t number = 0;
    if (colon == std::string::npos || colon == 0 || !ParseNumber(text.substr(colon + 1), number) ||
        number > UINT32_MAX)
        return false;
    log = text.substr(0, colon);
    error = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

std::string EventLogs::Key(const std::string& name)
{
    return Upper(name);
}

bool EventLogs::Parse(const std::string& name, const std::string& text, EventLog& log, std::string& error)
{
    std::vector<Block> blocks;
    if (!ParseBlocks(text, blocks, error))
        return false;
    log.name = name;
    log.records.clear();
    uint64_t next = 1;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const Block& block = blocks[b];
        auto fail = [&](int line, const std::string& reason) {
            error = "line " + std::to_string(line) + ": " + reason;
            log.records.clear();
            return false;
        };
        if (EqualsNoCase(block.header, "Log")) {
            if (b != 0)
                return fail(block.line, "[Log] must come first");
            for (const BlockEntry& entry : block.entries) {
                if (!EqualsNoCase(entry.key, "FirstRecord"))
                    return fail(entry.line, "unknown key " + entry.key);
                if (!ParseNumber(entry.value, next) || next == 0 || next > UINT32_MAX)
                    return fail(entry.line, "bad record number");
            }
            continue;
        }
        if (!EqualsNoCase(block.header, "Record"))
            return fail(block.line, "unknown block [" + block.header + "]");
        if (next > UINT32_MAX)
            return fail(block.line, "record numbers run out");

        EventRecord record;
        record.number = static_cast<uint32_t>(next++);
        bool bTime = false, bWritten = false, bType = false, bSource = false, bId = false;
        for (const BlockEntry& entry : block.entries) {
            const std::string& key = entry.key;
            const std::string& value = entry.value;
            uint64_t number = 0;
            if (EqualsNoCase(key, "Time")) {
                if (!ParseUtc(value, record.timeGenerated))
                    return fail(entry.line, "bad time (YYYY-MM-DD HH:MM:SS, UTC)");
                bTime = true;
            } else if (EqualsNoCase(key, "Written")) {
                if (!ParseUtc(value, record.timeWritten))
                    return fail(entry.line, "bad time (YYYY-MM-DD HH:MM:SS, UTC)");
                bWritten = true;
            } else if (EqualsNoCase(key, "Type")) {
                if (!ParseType(value, record.type))
                    return fail(entry.line, "bad type " + value);
                bType = true;
            } else if (EqualsNoCase(key, "Source")) {
                record.source = value;
                bSource = !value.empty();
            } else if (EqualsNoCase(key, "EventID")) {
                if (!ParseNumber(value, number) || number > UINT32_MAX)
                    return fail(entry.line, "bad event id");
                record.eventId = static_cast<uint32_t>(number);
                bId = true;
            } else if (EqualsNoCase(key, "Category")) {
                if (!ParseNumber(value, number) || number > 0xFFFF)
                    return fail(entry.line, "bad category");
                record.category = static_cast<uint16_t>(number);
            } else if (EqualsNoCase(key, "String")) {
                record.strings.push_back(value);
            } else if (EqualsNoCase(key, "Data")) {
                std::vector<uint8_t> bytes;
                if (!ParseHexBytes(value, bytes))
                    return fail(entry.line, "bad data (hexadecimal bytes)");
                record.data.insert(record.data.end(), bytes.begin(), bytes.end());  // Data lines add up
            } else if (EqualsNoCase(key, "User")) {
                if (!ParseSid(value, record.userSid))
                    return fail(entry.line, "bad SID " + value);
            } else if (EqualsNoCase(key, "Computer")) {
                record.computer = value;
            } else {
                return fail(entry.line, "unknown key " + key);
            }
        }
        if (!bTime || !bType || !bSource || !bId)
            return fail(block.line, "a record needs Time, Type, Source and EventID");
        if (!bWritten)
            record.timeWritten = record.timeGenerated;
        log.records.push_back(std::move(record));
    }
    return true;
}

void EventLogs::Load(const ProfileLayers& profile, const IniFile& settings)
{
    std::map<std::string, std::shared_ptr<const EventLog>> logs;
    for (const char* name : kStandardLogs) {
        auto pEmpty = std::make_shared<EventLog>();
        pEmpty->name = name;
        logs[Key(name)] = pEmpty;
    }
    for (const fs::path file : profile.FilesIn("eventlog", ".txt")) {
        std::ifstream in(file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string name = file.stem().string();
        // A standard log keeps the spelling Windows gives it, whatever the file's.
        auto standard = logs.find(Key(name));
        if (standard != logs.end())
            name = standard->second->name;
        auto pLog = std::make_shared<EventLog>();
        std::string error;
        if (!Parse(name, text, *pLog, error)) {
            std::fprintf(stderr, "lab: %s: %s\n", file.string().c_str(), error.c_str());
            pLog->name = name;
            pLog->records.clear();
        }
        logs[Key(name)] = pLog;
    }

    std::map<std::string, uint32_t> openErrors, readErrors;
    for (const auto& entry : settings.Section("EventLog")) {
        bool bOpen = EqualsNoCase(entry.first, "FailOpen");
        if (!bOpen && !EqualsNoCase(entry.first, "FailRead"))
            continue;
        std::string log;
        uint32_t error = 0;
        if (!ParseSwitch(entry.second, log, error)) {
            std::fprintf(stderr, "lab: %s/lab.ini: bad switch %s=%s (log:error)\n", profile.Dirs()[0].c_str(),
                         entry.first.c_str(), entry.second.c_str());
            continue;
        }
        (bOpen ? openErrors : readErrors)[Key(log)] = error;
    }

    std::lock_guard<std::mutex> guard(m_lock);
    m_logs.swap(logs);
    m_openErrors.swap(openErrors);
    m_readErrors.swap(readErrors);
}

bool EventLogs::SetLogText(const std::string& name, const std::string& text, std::string& error)
{
    auto pLog = std::make_shared<EventLog>();
    if (!Parse(name, text, *pLog, error))
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    auto existing = m_logs.find(Key(name));
    if (existing != m_logs.end())
        pLog->name = existing->second->name;
    m_logs[Key(name)] = pLog;
    return true;
}

std::shared_ptr<const EventLog> EventLogs::Find(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_logs.find(Key(name));
    return found == m_logs.end() ? nullptr : found->second;
}

std::vector<std::string> EventLogs::Names() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> names;
    for (const auto& entry : m_logs)
        names.push_back(entry.second->name);
    return names;
}

void EventLogs::SetOpenError(const std::string& name, uint32_t error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (error)
        m_openErrors[Key(name)] = error;
    else
        m_openErrors.erase(Key(name));
}

uint32_t EventLogs::OpenError(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_openErrors.find(Key(name));
    return found == m_openErrors.end() ? 0 : found->second;
}

void EventLogs::SetReadError(const std::string& name, uint32_t error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (error)
        m_readErrors[Key(name)] = error;
    else
        m_readErrors.erase(Key(name));
}

uint32_t EventLogs::ReadError(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_readErrors.find(Key(name));
    return found == m_readErrors.end() ? 0 : found->second;
}

}  // namespace lab::host
