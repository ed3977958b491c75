// Stands in for the agents' base service behind the command router: the commands it answers, from the profile.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace lab::host {

// The 48-byte command header, as the router passes it between its clients and the base service.
struct RouterHeader {
    static constexpr size_t kSize = 48;
    uint32_t dataLength = 0;
    uint32_t code = 0;
    uint32_t extension = 0;
    uint32_t objectId = 0;
    int32_t cabinetId = -1;
    uint32_t status = 0;
    uint16_t midLow = 0;
    uint16_t midHigh = 0;

    // False when the bytes are too short, do not start with "$SIP" or name a smaller header size.
    bool Read(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> Bytes() const;
};

// One call the router took, for tests that look at what a client sent.
struct RouterCall {
    std::string method;
    uint32_t code = 0;
    uint32_t extension = 0;
    uint32_t objectId = 0;
    int timeout = 0;
    size_t headerBytes = 0;  // the length of the header string CmdRequest took; 0 for the other methods
};

// A reply a test or fuzz target puts in the service's mouth: any status and data, and when header is
// not empty, the very bytes the router hands back as the reply's header.
struct ScriptedReply {
    uint32_t status = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> header;
};

// Reply statuses of the lab's base service (its own protocol; 0 and 0x0F are the ones clients rely on).
namespace rvstatus {
constexpr uint32_t kOk = 0;
constexpr uint32_t kUnknownCommand = 1;
constexpr uint32_t kNoSuchObject = 7;
constexpr uint32_t kBusy = 0x0F;
}  // namespace rvstatus

// A subsystem of the server's status tree with its components, as the base service knows them and the
// agents publish them in their status MIB.
struct StatusComponent {
    uint8_t status = 0;
    bool bConfirm = false;
    std::string name;
    std::string description;
    std::string id;  // what the subsystem's component list names it by
    std::string mibType = "integer";  // the status's type in the MIB: integer, gauge, counter or string
};
struct StatusSubsystem {
    std::string name;
    std::string description;
    std::vector<StatusComponent> components;
    std::string componentList;  // the identifiers, separated by blanks
};

class BaseService {
public:
    // The service the router belongs to: it answers only while this service runs.
    static constexpr const char* kServiceName = "Ravelind";

    // Reads the profile's baseservice.ini (the file at path); without it the service knows nothing (what it
    // would look up replies kNoSuchObject, its lists are empty). Problems go to standard error as
    // "lab: <file>: line N: ...".
    // The switches of the file's [Router] section are taken, every switch set by a test is forgotten.
    // False when the file describes what the service could not answer (an event message longer than its
    // entry's 16-bit length can carry): such a profile is refused.
    bool Load(const std::string& path);
    // The same from text; false with "line N: reason" (what was read before stays).
    bool Parse(const std::string& text, std::string& error);
    // Whether the last Parse stopped at a fact the service could not answer, rather than at a bad line.
    bool Refused() const;

    // The reply to one command: the request's header with status and data length replaced, and its data.
    void Answer(const RouterHeader& request, const std::vector<uint8_t>& data, RouterHeader& reply,
                std::vector<uint8_t>& replyData);

    // Router methods by name (any case); false for one the router does not know or is switched off.
    bool KnowsMethod(const std::string& name) const;
    void SetMethodKnown(const std::string& name, bool bKnown);

    // The router's ServerCabinetNumber property; false when the router has none (command 0xE204 still answers).
    bool CabinetProperty(int16_t& number) const;
    void SetCabinetProperty(bool bPresent);

    // Every later command with this code (and extension, when not -1) replies with this status and no data.
    void SetReplyStatus(uint32_t code, int64_t extension, uint32_t status);
    // The next `calls` commands reply "busy" (0x0F).
    void SetBusy(uint32_t calls);
    // The next commands get these replies, in order, whatever they ask.
    void Script(const std::vector<ScriptedReply>& replies);
    // Every later reply's header is this long (48 to 65535 bytes): a valid header that names its size, zeros
    // after the 48 bytes the fields take. 48 is the usual header.
    void SetReplyHeaderSize(uint16_t size);
    // The bytes of a reply's header as the router hands them back: the scripted ones of the last answer, if any.
    std::vector<uint8_t> ReplyHeaderBytes(const RouterHeader& reply) const;

    // The status tree, every component with its identifier and MIB type.
    std::vector<StatusSubsystem> Subsystems() const;

    std::string Version() const;
    void SetClientName(const std::string& name);
    std::string ClientName() const;

    void RecordCall(const RouterCall& call);
    std::vector<RouterCall> Calls() const;

private:
    struct Subsystem : StatusSubsystem {
        bool bListGiven = false;
    };
    struct LogEntry {
        uint8_t severity = 0;
        uint16_t errorCode = 0;
        int32_t time = 0;
        std::string message;
    };

    // Takes one entry of a section; false with the reason.
    using EntryParser = bool (BaseService::*)(const std::string& key, const std::string& value, std::string& error);

    void Clear();
    // Null for a section the file may not have.
    static EntryParser SectionParser(const std::string& section);
    bool ParseEntry(const std::string& section, const std::string& key, const std::string& value,
                    std::string& error);
    bool ParseRouterEntry(const std::string& key, const std::string& value, std::string& error);
    bool ParseServerEntry(const std::string& key, const std::string& value, std::string& error);
    bool ParseProcessorEntry(const std::string& key, const std::string& value, std::string& error);
    bool ParseSecurityEntry(const std::string& key, const std::string& value, std::string& error);
    bool ParseSubsystemEntry(const std::string& key, const std::string& value, std::string& error);
    bool ParseComponent(const std::string& value, Subsystem& subsystem, std::string& error);
    bool ParseStatusMibEntry(const std::string& key, const std::string& value, std::string& error);
    bool ParseEventEntry(const std::string& key, const std::string& value, std::string& error);

    // False for a command the service does not know.
    bool AnswerLocked(const RouterHeader& request, std::vector<uint8_t>& data, uint32_t& status) const;
    bool AnswerServerLocked(const RouterHeader& request, std::vector<uint8_t>& data, uint32_t& status) const;
    void AnswerStatusTreeLocked(const RouterHeader& request, std::vector<uint8_t>& data, uint32_t& status) const;
    bool ServerText(const char* key, std::string& text) const;
    bool ServerNumber(const char* key, long long& number) const;
    std::vector<uint8_t> EventLogBytes() const;

    mutable std::mutex m_lock;
    std::map<std::string, std::string> m_server;  // [Server] keys, lower case
    std::map<uint32_t, std::string> m_processors;
    std::map<uint32_t, std::vector<uint8_t>> m_security;  // by extension
    std::vector<uint8_t> m_eeprom;
    std::vector<Subsystem> m_subsystems;
    std::map<std::string, std::string> m_mibTypes;  // component identifier -> type of its status in the MIB
    std::vector<LogEntry> m_eventLog;
    std::set<std::string> m_unknownMethods;  // lower case
    bool m_bCabinetProperty = true;
    bool m_bRefused = false;
    std::map<uint64_t, uint32_t> m_replyStatus;  // code << 32 | extension, or code << 32 | 0xFFFFFFFF for any
    uint32_t m_busyCalls = 0;
    std::vector<ScriptedReply> m_script;  // the next first
    std::vector<uint8_t> m_scriptedHeader;  // of the last answer
    uint16_t m_replyHeaderSize = RouterHeader::kSize;
    std::string m_clientName;
    std::vector<RouterCall> m_calls;
};

}  // namespace lab::host
