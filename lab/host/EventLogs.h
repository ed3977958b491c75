// Stands in for the event logs of the server (the Windows event log service's files), as the profile describes them.
#pragma once

#include "lab/host/ProfileLayers.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lab::host {


struct EventRecord {
    uint32_t number = 0;         // given in file order, oldest first
    uint32_t timeGenerated = 0;  // seconds since 1970-01-01 UTC
    uint32_t timeWritten = 0;
    uint32_t eventId = 0;  // the full message identifier, severity bits included
    uint16_t type = 0;     // EVENTLOG_ERROR_TYPE ... EVENTLOG_AUDIT_FAILURE
    uint16_t category = 0;
    std::string source;
    std::string computer;  // empty: the machine's own name
    std::vector<std::string> strings;
    std::vector<uint8_t> userSid;  // binary SID, empty for none
    std::vector<uint8_t> data;
};

struct EventLog {
    std::string name;                  // as the file names it
    std::vector<EventRecord> records;  // oldest first
};

class EventLogs {
public:
    // Reads <profile>/eventlog/<Log>.txt for every file there and the switches of lab.ini's [EventLog].
    // "Application", "System" and "Security" always exist, empty without a file. A malformed file
    // leaves its log empty and is reported on standard error.
    void Load(const ProfileLayers& profile, const IniFile& settings);

    // Replaces or adds a log from text in the file format; false with "line N: reason" and nothing
    // changed when the text is malformed.
    bool SetLogText(const std::string& name, const std::string& text, std::string& error);

    // The log of that name (any case), as it stands now; null when there is none.
    std::shared_ptr<const EventLog> Find(const std::string& name) const;
    std::vector<std::string> Names() const;

    // Opening, or every read of, that log fails with the error while it is not 0.
    void SetOpenError(const std::string& name, uint32_t error);
    uint32_t OpenError(const std::string& name) const;
    void SetReadError(const std::string& name, uint32_t error);
    uint32_t ReadError(const std::string& name) const;

    // The text of one log file as records; false with "line N: reason".
    static bool Parse(const std::string& name, const std::string& text, EventLog& log, std::string& error);

private:
    static std::string Key(const std::string& name);

    mutable std::mutex m_lock;
    std::map<std::string, std::shared_ptr<const EventLog>> m_logs;  // by upper-case name
    std::map<std::string, uint32_t> m_openErrors;
    std::map<std::string, uint32_t> m_readErrors;
};

}  // namespace lab::host
