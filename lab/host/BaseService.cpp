// Stands in for the agents' base service behind the command router: the commands it answers, from the profile.
#include "lab/host/BaseService.h"

#include "lab/host/BlockFile.h"
#include "lab/host/IniFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

namespace lab::host {

namespace {

const char kSignature[] = "$SIP";
const char* const kMethods[] = {"SyncRequest", "DefaultTimeout", "VCRequest", "ServerCabinetNumber",
                                "RavelinVersion", "VCRequestEx", "ClientName", "CmdRequest"};

// The command codes the service answers.
constexpr uint32_t kIdentity = 0x0C00;
constexpr uint32_t kEeprom = 0x0C10;
constexpr uint32_t kProcessorBrand = 0x060B;
constexpr uint32_t kEventLog = 0x0B10;
constexpr uint32_t kSecurity = 0xE001;
constexpr uint32_t kCabinetNumber = 0xE204;
constexpr uint32_t kSystemStatus = 0x230F;
constexpr uint32_t kSubsystemCount = 0x2300;
constexpr uint32_t kSubsystemName = 0x2302;
constexpr uint32_t kSubsystemDescription = 0x2304;
constexpr uint32_t kComponentCount = 0x2305;
constexpr uint32_t kComponentStatus = 0x2306;
constexpr uint32_t kComponentName = 0x2307;
constexpr uint32_t kComponentDescription = 0x2308;
constexpr uint32_t kComponentConfirm = 0x2309;

// The identity texts of command 0x0C00, by extension, and their keys in [Server].
struct IdentityKey {
    uint32_t extension;
    const char* key;
};
const IdentityKey kIdentityKeys[] = {
    {0x0608, "servermodel"},   {0x0108, "chassismodel"},    {0x0600, "cabinetserialnumber"},
    {0x0201, "systemboard"},   {0x0508, "controllermodel"}, {0x0506, "controllerfirmware"},
};

const struct {
    uint32_t extension;
    const char* key;
} kSecurityKeys[] = {{0x3810, "SetAllowed"}, {0x3812, "AccountCheck"}, {0x3813, "UserGroup"}};

void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get16(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at)
{
    return Get16(bytes, at) | (Get16(bytes, at + 2) << 16);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<uint8_t> TextBytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool ParseNumber(const std::string& text, long long& value)
{
    int64_t number = 0;
    if (!ParseSignedNumber(text, number))
        return false;
    value = number;
    return true;
}

// A time as the server's clock has it (it knows no zone), or a plain number of seconds.
bool ParseTime(const std::string& text, int32_t& seconds)
{
    long long number = 0;
    if (ParseNumber(text, number)) {
        seconds = static_cast<int32_t>(number);
        return number >= INT32_MIN && number <= INT32_MAX;
    }
    DateTime when;
    if (!ParseDateTime(text, when))
        return false;
    std::time_t value = AsUtc(when);
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    seconds = static_cast<int32_t>(value);
    return true;
}

// A component identifier: one word the agents' list can name.
bool IsIdentifier(const std::string& text)
{
    return !text.empty() && std::none_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' '; });
}

// A text the service hands out may be written in double quotes, with escapes for control characters.
bool ParseText(const std::string& written, std::string& text, std::string& error)
{
    std::string reason;
    if (ParseValue(written, text, reason))
        return true;
    error = reason;
    return false;
}

std::vector<std::string> SplitBar(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t bar = text.find('|', start);
        parts.push_back(TrimIni(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
        if (bar == std::string::npos)
            return parts;
        start = bar + 1;
    }
}

}  // namespace

bool RouterHeader::Read(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < kSize || std::memcmp(bytes.data(), kSignature, 4) != 0 || Get16(bytes, 6) < kSize)
        return false;
    dataLength = Get32(bytes, 8);
    code = Get32(bytes, 12);
    extension = Get32(bytes, 16);
    objectId = Get32(bytes, 20);
    cabinetId = static_cast<int32_t>(Get32(bytes, 24));
    status = Get32(bytes, 28);
    midLow = static_cast<uint16_t>(Get16(bytes, 36));
    midHigh = static_cast<uint16_t>(Get16(bytes, 38));
    return true;
}

std::vector<uint8_t> RouterHeader::Bytes() const
{
    std::vector<uint8_t> bytes(kSize, 0);
    std::memcpy(bytes.data(), kSignature, 4);
    bytes[4] = 2;
    Put16(bytes, 6, kSize);
    Put32(bytes, 8, dataLength);
    Put32(bytes, 12, code);
    Put32(bytes, 16, extension);
    Put32(bytes, 20, objectId);
    Put32(bytes, 24, static_cast<uint32_t>(cabinetId));
    Put32(bytes, 28, status);
    Put16(bytes, 36, midLow);
    Put16(bytes, 38, midHigh);
    return bytes;
}

void BaseService::Clear()
{
    m_bRefused = false;
    m_server.clear();
    m_processors.clear();
    m_security.clear();
    m_eeprom.clear();
    m_subsystems.clear();
    m_mibTypes.clear();
    m_eventLog.clear();
    m_unknownMethods.clear();
    m_bCabinetProperty = true;
    m_replyStatus.clear();
    m_busyCalls = 0;
    m_script.clear();
    m_scriptedHeader.clear();
    m_replyHeaderSize = RouterHeader::kSize;
    m_clientName.clear();
    m_calls.clear();
}

bool BaseService::Load(const std::string& path)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        Clear();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return true;
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!Parse(text.str(), error))
        std::fprintf(stderr, "lab: %s: %s\n", path.c_str(), error.c_str());
    return !Refused();
}

bool BaseService::Refused() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bRefused;
}

bool BaseService::Parse(const std::string& text, std::string& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bRefused = false;
    std::istringstream in(text);
    std::string line;
    std::string section;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        IniLine parsed = ParseIniLine(line);
        bool bOk = true;
        std::string reason;
        if (parsed.kind == IniLine::kSection) {
            section = Lower(parsed.name);
            if (!SectionParser(section))
                bOk = false, reason = "unknown section [" + parsed.name + "]";
            else if (section == "subsystem")
                m_subsystems.emplace_back();
            else if (section == "event")
                m_eventLog.emplace_back();
        } else if (parsed.kind == IniLine::kEntry) {
            bOk = ParseEntry(section, parsed.name, parsed.value, reason);
        } else if (parsed.kind == IniLine::kText) {
            bOk = false, reason = "not a key=value line";
        }
        if (!bOk) {
            error = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    return true;
}

BaseService::EntryParser BaseService::SectionParser(const std::string& section)
{
    static const struct {
        const char* section;
        EntryParser parse;
    } kParsers[] = {
        {"router", &BaseService::ParseRouterEntry},       {"server", &BaseService::ParseServerEntry},
        {"processors", &BaseService::ParseProcessorEntry}, {"security", &BaseService::ParseSecurityEntry},
        {"subsystem", &BaseService::ParseSubsystemEntry}, {"statusmib", &BaseService::ParseStatusMibEntry},
        {"event", &BaseService::ParseEventEntry},
    };
    for (const auto& parser : kParsers) {
        if (section == parser.section)
            return parser.parse;
    }
    return nullptr;
}

bool BaseService::ParseEntry(const std::string& section, const std::string& key, const std::string& value,
                             std::string& error)
{
    EntryParser parse = SectionParser(section);
    if (!parse) {
        error = "entry outside a section";
        return false;
    }
    return (this->*parse)(key, value, error);
}

bool BaseService::ParseRouterEntry(const std::string& key, const std::string& value, std::string& error)
{
    long long number = 0;
    const std::string lowerKey = Lower(key);
    if (lowerKey == "unknown") {
        for (std::string name : SplitBar(value))
            m_unknownMethods.insert(Lower(name));
    } else if (lowerKey == "cabinetproperty") {
        m_bCabinetProperty = !EqualsNoCase(value, "no");
    } else if (lowerKey == "busy" && ParseNumber(value, number) && number >= 0) {
        m_busyCalls = static_cast<uint32_t>(number);
    } else if (lowerKey == "replyheadersize") {
        if (!ParseNumber(value, number) || number < static_cast<long long>(RouterHeader::kSize) || number > 0xFFFF) {
            error = "ReplyHeaderSize wants 48 to 65535";
            return false;
        }
        m_replyHeaderSize = static_cast<uint16_t>(number);
    } else if (lowerKey == "reply") {
        // code[-extension]|status
        std::vector<std::string> parts = SplitBar(value);
        long long code = 0, extension = -1, status = 0;
        size_t dash = parts[0].find('-');
        if (parts.size() != 2 || !ParseNumber(parts[0].substr(0, dash), code) ||
            (dash != std::string::npos && !ParseNumber(parts[0].substr(dash + 1), extension)) ||
            !ParseNumber(parts[1], status)) {
            error = "Reply wants code[-extension]|status";
            return false;
        }
        m_replyStatus[(static_cast<uint64_t>(code) << 32) | static_cast<uint32_t>(extension)] =
            static_cast<uint32_t>(status);
    } else {
        error = "unknown or bad router switch " + key;
        return false;
    }
    return true;
}

bool BaseService::ParseServerEntry(const std::string& key, const std::string& value, std::string& error)
{
    const std::string lowerKey = Lower(key);
    if (lowerKey == "chassiseeprom" && !ParseHexBytes(value, m_eeprom)) {
        error = "ChassisEEPROM wants hexadecimal bytes";
        return false;
    }
    return ParseText(value, m_server[lowerKey], error);
}

bool BaseService::ParseProcessorEntry(const std::string& key, const std::string& value, std::string& error)
{
    long long number = 0;
    if (!ParseNumber(key, number) || number < 0) {
        error = "a processor is named by its number";
        return false;
    }
    return ParseText(value, m_processors[static_cast<uint32_t>(number)], error);
}

bool BaseService::ParseSecurityEntry(const std::string& key, const std::string& value, std::string& error)
{
    for (const auto& entry : kSecurityKeys) {
        if (!EqualsNoCase(key, entry.key))
            continue;
        long long number = 0;
        if (entry.extension == 0x3813) {
            std::string group;
            if (!ParseText(value, group, error))
                return false;
            m_security[entry.extension] = TextBytes(group);
        } else if (ParseNumber(value, number) && number >= 0 && number <= 0xFF) {
            m_security[entry.extension] = {static_cast<uint8_t>(number)};
        } else {
            error = key + " wants a byte";
            return false;
        }
        return true;
    }
    error = "unknown security setting " + key;
    return false;
}

bool BaseService::ParseSubsystemEntry(const std::string& key, const std::string& value, std::string& error)
{
    Subsystem& subsystem = m_subsystems.back();
    const std::string lowerKey = Lower(key);
    if (lowerKey == "name")
        return ParseText(value, subsystem.name, error);
    if (lowerKey == "description")
        return ParseText(value, subsystem.description, error);
    if (lowerKey == "component")
        return ParseComponent(value, subsystem, error);
    if (lowerKey == "componentlist") {
        // Taken as it stands, blanks and all: a list the agents publish need not be tidy.
        subsystem.componentList = value;
        subsystem.bListGiven = true;
        return true;
    }
    error = "unknown subsystem key " + key;
    return false;
}

bool BaseService::ParseComponent(const std::string& value, Subsystem& subsystem, std::string& error)
{
    std::vector<std::string> parts = SplitBar(value);
    long long number = 0;
    if ((parts.size() != 4 && parts.size() != 5) || !ParseNumber(parts[0], number) || number < 0 || number > 0xFF ||
        (parts.size() == 5 && !IsIdentifier(parts[4]))) {
        error = "Component wants status|confirm|name|description[|identifier]";
        return false;
    }
    StatusComponent component;
    component.status = static_cast<uint8_t>(number);
    component.bConfirm = EqualsNoCase(parts[1], "yes");
    if (!ParseText(parts[2], component.name, error) || !ParseText(parts[3], component.description, error))
        return false;
    if (parts.size() == 5)
        component.id = parts[4];
    subsystem.components.push_back(component);
    return true;
}

bool BaseService::ParseStatusMibEntry(const std::string& key, const std::string& value, std::string& error)
{
    std::vector<std::string> parts = SplitBar(value);
    if (Lower(key) != "statustype" || parts.size() != 2 || !IsIdentifier(parts[0]) ||
        (parts[1] != "integer" && parts[1] != "gauge" && parts[1] != "counter" && parts[1] != "string")) {
        error = "StatusType wants identifier|integer, gauge, counter or string";
        return false;
    }
    m_mibTypes[parts[0]] = parts[1];
    return true;
}

bool BaseService::ParseEventEntry(const std::string& key, const std::string& value, std::string& error)
{
    LogEntry& entry = m_eventLog.back();
    long long number = 0;
    const std::string lowerKey = Lower(key);
    if (lowerKey == "time" && ParseTime(value, entry.time)) {
    } else if (lowerKey == "severity" && ParseNumber(value, number) && number >= 0 && number <= 0xFF) {
        entry.severity = static_cast<uint8_t>(number);
    } else if (lowerKey == "errorcode" && ParseNumber(value, number) && number >= 0 && number <= 0xFFFF) {
        entry.errorCode = static_cast<uint16_t>(number);
    } else if (lowerKey == "message") {
        if (!ParseText(value, entry.message, error))
            return false;
        // The entry's length counts its 16-byte head, the message and its NUL in 16 bits: a longer message
        // would move every entry after it.
        const size_t kMessageMax = 0xFFFF - 16 - 1;
        if (entry.message.size() > kMessageMax) {
            error = "the Message of [Event] " + std::to_string(m_eventLog.size()) + " has " +
                    std::to_string(entry.message.size()) + " characters; an entry's 16-bit length carries at most " +
                    std::to_string(kMessageMax);
            m_bRefused = true;
            return false;
        }
    } else {
        error = "unknown or bad event key " + key;
        return false;
    }
    return true;
}

// Entries: length (16 bits), a byte not used, severity, error code (16 bits), 2 bytes not used, time stamp
// (32 bits), 4 bytes not used, the message with its NUL.
std::vector<uint8_t> BaseService::EventLogBytes() const
{
    std::vector<uint8_t> bytes;
    for (const LogEntry& entry : m_eventLog) {
        size_t at = bytes.size();
        size_t length = 16 + entry.message.size() + 1;
        bytes.resize(at + length, 0);
        Put16(bytes, at, static_cast<uint32_t>(length));
        bytes[at + 3] = entry.severity;
        Put16(bytes, at + 4, entry.errorCode);
        Put32(bytes, at + 8, static_cast<uint32_t>(entry.time));
        std::memcpy(&bytes[at + 16], entry.message.c_str(), entry.message.size());
    }
    return bytes;
}

bool BaseService::AnswerLocked(const RouterHeader& request, std::vector<uint8_t>& data, uint32_t& status) const
{
    status = rvstatus::kOk;
    if (request.code >= kSubsystemName && request.code <= kComponentConfirm) {
        AnswerStatusTreeLocked(request, data, status);
        return true;
    }
    return AnswerServerLocked(request, data, status);
}

bool BaseService::ServerText(const char* key, std::string& text) const
{
    auto it = m_server.find(key);
    if (it == m_server.end())
        return false;
    text = it->second;
    return true;
}

bool BaseService::ServerNumber(const char* key, long long& number) const
{
    std::string text;
    return ServerText(key, text) && ParseNumber(text, number);
}

bool BaseService::AnswerServerLocked(const RouterHeader& request, std::vector<uint8_t>& data, uint32_t& status) const
{
    const uint32_t i = request.extension;
    std::string text;
    long long number = 0;
    switch (request.code) {
    case kIdentity:
        for (const IdentityKey& identity : kIdentityKeys) {
            if (identity.extension == i && ServerText(identity.key, text)) {
                data = TextBytes(text);
                return true;
            }
        }
        status = rvstatus::kNoSuchObject;
        return true;
    case kEeprom:
        if (i != 0x0100 || m_eeprom.empty())
            status = rvstatus::kNoSuchObject;
        else
            data = m_eeprom;
        return true;
    case kCabinetNumber:
        if (!ServerNumber("cabinetnumber", number))
            status = rvstatus::kNoSuchObject;
        else
            data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
        return true;
    case kProcessorBrand: {
        auto it = m_processors.find(request.objectId);
        if (it == m_processors.end())
            status = rvstatus::kNoSuchObject;
        else
            data = TextBytes(it->second);
        return true;
    }
    case kSecurity: {
        auto it = m_security.find(i);
        if (it == m_security.end())
            status = rvstatus::kNoSuchObject;
        else
            data = it->second;
        return true;
    }
    case kEventLog:
        data = EventLogBytes();
        return true;
    case kSystemStatus:
        if (!ServerNumber("systemstatus", number))
            status = rvstatus::kNoSuchObject;
        else
            data = {static_cast<uint8_t>(number)};
        return true;
    case kSubsystemCount:
        data = {static_cast<uint8_t>(m_subsystems.size())};
        return true;
    default:
        return false;
    }
}

// Commands 0x2302 to 0x2309: the extension names the subsystem, the object id its component.
void BaseService::AnswerStatusTreeLocked(const RouterHeader& request, std::vector<uint8_t>& data,
                                         uint32_t& status) const
{
    const uint32_t i = request.extension;
    const uint32_t j = request.objectId;
    if (i >= m_subsystems.size()) {
        status = rvstatus::kNoSuchObject;
        return;
    }
    const Subsystem& subsystem = m_subsystems[i];
    switch (request.code) {
    case kSubsystemName:
        data = TextBytes(subsystem.name);
        return;
    case kSubsystemDescription:
        data = TextBytes(subsystem.description);
        return;
    case kComponentCount:
        data = {static_cast<uint8_t>(subsystem.components.size())};
        return;
    default:
        break;
    }
    if (request.code < kComponentStatus || j >= subsystem.components.size()) {
        status = request.code < kComponentStatus ? rvstatus::kUnknownCommand : rvstatus::kNoSuchObject;
        return;
    }
    const StatusComponent& component = subsystem.components[j];
    if (request.code == kComponentStatus)
        data = {component.status};
    else if (request.code == kComponentName)
        data = TextBytes(component.name);
    else if (request.code == kComponentDescription)
        data = TextBytes(component.description);
    else
        data = {static_cast<uint8_t>(component.bConfirm ? 1 : 0)};
}

void BaseService::Answer(const RouterHeader& request, const std::vector<uint8_t>& data, RouterHeader& reply,
                         std::vector<uint8_t>& replyData)
{
    (void)data;  // no command of the lab's service takes data
    std::lock_guard<std::mutex> guard(m_lock);
    reply = request;
    replyData.clear();
    m_scriptedHeader.clear();
    if (!m_script.empty()) {
        ScriptedReply scripted = m_script.front();
        m_script.erase(m_script.begin());
        reply.status = scripted.status;
        replyData = scripted.data;
        reply.dataLength = static_cast<uint32_t>(replyData.size());
        m_scriptedHeader = scripted.header;
        return;
    }
    uint32_t status = rvstatus::kOk;
    auto forced = m_replyStatus.find((static_cast<uint64_t>(request.code) << 32) | request.extension);
    if (forced == m_replyStatus.end())
        forced = m_replyStatus.find((static_cast<uint64_t>(request.code) << 32) | 0xFFFFFFFFu);
    if (m_busyCalls > 0) {
        --m_busyCalls;
        status = rvstatus::kBusy;
    } else if (forced != m_replyStatus.end()) {
        status = forced->second;
    } else if (!AnswerLocked(request, replyData, status)) {
        status = rvstatus::kUnknownCommand;
    }
    if (status != rvstatus::kOk)
        replyData.clear();
    reply.status = status;
    reply.dataLength = static_cast<uint32_t>(replyData.size());
}

void BaseService::Script(const std::vector<ScriptedReply>& replies)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_script = replies;
}

void BaseService::SetReplyHeaderSize(uint16_t size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_replyHeaderSize = size < RouterHeader::kSize ? static_cast<uint16_t>(RouterHeader::kSize) : size;
}

std::vector<uint8_t> BaseService::ReplyHeaderBytes(const RouterHeader& reply) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_scriptedHeader.empty())
        return m_scriptedHeader;
    std::vector<uint8_t> bytes = reply.Bytes();
    if (m_replyHeaderSize > bytes.size()) {
        bytes.resize(m_replyHeaderSize, 0);
        Put16(bytes, 6, m_replyHeaderSize);
    }
    return bytes;
}

bool BaseService::KnowsMethod(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const char* pszMethod : kMethods) {
        if (EqualsNoCase(name, pszMethod))
            return m_unknownMethods.count(Lower(name)) == 0 &&
                   (m_bCabinetProperty || !EqualsNoCase(name, "ServerCabinetNumber"));
    }
    return false;
}

void BaseService::SetMethodKnown(const std::string& name, bool bKnown)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (bKnown)
        m_unknownMethods.erase(Lower(name));
    else
        m_unknownMethods.insert(Lower(name));
}

bool BaseService::CabinetProperty(int16_t& number) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_server.find("cabinetnumber");
    long long value = 0;
    if (!m_bCabinetProperty || it == m_server.end() || !ParseNumber(it->second, value))
        return false;
    number = static_cast<int16_t>(value);
    return true;
}

void BaseService::SetCabinetProperty(bool bPresent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bCabinetProperty = bPresent;
}

void BaseService::SetReplyStatus(uint32_t code, int64_t extension, uint32_t status)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_replyStatus[(static_cast<uint64_t>(code) << 32) | static_cast<uint32_t>(extension)] = status;
}

void BaseService::SetBusy(uint32_t calls)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_busyCalls = calls;
}

std::vector<StatusSubsystem> BaseService::Subsystems() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<StatusSubsystem> subsystems;
    for (size_t i = 0; i < m_subsystems.size(); ++i) {
        StatusSubsystem subsystem = m_subsystems[i];
        std::string list;
        for (size_t j = 0; j < subsystem.components.size(); ++j) {
            StatusComponent& component = subsystem.components[j];
            if (component.id.empty())
                component.id = std::to_string(i + 1) + "." + std::to_string(j + 1);
            auto type = m_mibTypes.find(component.id);
            if (type != m_mibTypes.end())
                component.mibType = type->second;
            list += (list.empty() ? "" : " ") + component.id;
        }
        if (!m_subsystems[i].bListGiven)
            subsystem.componentList = list;
        subsystems.push_back(subsystem);
    }
    return subsystems;
}

std::string BaseService::Version() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_server.find("version");
    return it == m_server.end() ? std::string() : it->second;
}

void BaseService::SetClientName(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_clientName = name;
}

std::string BaseService::ClientName() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_clientName;
}

void BaseService::RecordCall(const RouterCall& call)
{
    // Enough for any test to look back on; a long run keeps only the latest.
    const size_t kKept = 4096;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_calls.size() >= kKept)
        m_calls.erase(m_calls.begin(), m_calls.begin() + kKept / 2);
    m_calls.push_back(call);
}

std::vector<RouterCall> BaseService::Calls() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
}

}  // namespace lab::host
