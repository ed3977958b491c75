// The lab's event logs: records in the layout ReadEventLogA gives them, the read protocol, and the profile's logs.
#include "tests/lab/LabTestSupport.h"

#include "lab/host/EventLogs.h"
#include "tests/support/TempProfile.h"

#include <cstring>
#include <filesystem>
#include <vector>

using namespace labtest;
using lab::host::Host;

namespace {

// One record as a caller sees it, taken apart through the offsets of its head only.
struct Record {
    EVENTLOGRECORD head;
    std::string source;
    std::string computer;
    std::vector<std::string> strings;
    std::vector<BYTE> sid;
    std::vector<BYTE> data;
    DWORD trailingLength;
};

Record Decode(const BYTE* p)
{
    Record record;
    std::memcpy(&record.head, p, sizeof record.head);
    const EVENTLOGRECORD& head = record.head;
    const char* text = reinterpret_cast<const char*>(p + sizeof(EVENTLOGRECORD));
    record.source = text;
    record.computer = text + record.source.size() + 1;
    const char* strings = reinterpret_cast<const char*>(p + head.StringOffset);
    for (WORD n = 0; n < head.NumStrings; ++n) {
        record.strings.emplace_back(strings);
        strings += record.strings.back().size() + 1;
    }
    record.sid.assign(p + head.UserSidOffset, p + head.UserSidOffset + head.UserSidLength);
    record.data.assign(p + head.DataOffset, p + head.DataOffset + head.DataLength);
    std::memcpy(&record.trailingLength, p + head.Length - sizeof(DWORD), sizeof(DWORD));
    return record;
}

// One read as a careful caller does it: the size of the next record first, then exactly that much.
// False at the end or on any other failure, with the error in dwError.
bool ReadOne(HANDLE hLog, DWORD dwFlags, Record& record, DWORD& dwError)
{
    DWORD dwRead = 0, dwNeeded = 0;
    BYTE probe = 0;
    if (ReadEventLogA(hLog, dwFlags, 0, &probe, 0, &dwRead, &dwNeeded)) {
        dwError = 0;
        ADD_FAILURE() << "an empty buffer took a record";
        return false;
    }
    dwError = GetLastError();
    if (dwError != ERROR_INSUFFICIENT_BUFFER)
        return false;
    std::vector<BYTE> buffer(dwNeeded);
    if (!ReadEventLogA(hLog, dwFlags, 0, buffer.data(), dwNeeded, &dwRead, &dwNeeded)) {
        dwError = GetLastError();
        return false;
    }
    EXPECT_EQ(buffer.size(), dwRead);
    record = Decode(buffer.data());
    return true;
}

std::vector<DWORD> SequentialNumbers(HANDLE hLog, DWORD dwDirection, DWORD& dwEndError)
{
    std::vector<DWORD> numbers;
    Record record;
    while (ReadOne(hLog, EVENTLOG_SEQUENTIAL_READ | dwDirection, record, dwEndError))
        numbers.push_back(record.head.RecordNumber);
    return numbers;
}

std::string NumberedLog(int count, const std::string& first = "")
{
    std::string text = first.empty() ? "" : "[Log]\nFirstRecord=" + first + "\n";
    for (int n = 1; n <= count; ++n)
        text += "[Record]\nTime=2026-03-0" + std::to_string(n) + " 10:00:00\nType=Error\nSource=Ravelind\n" +
                "EventID=0xC0000064\nString=module" + std::to_string(n) + "\n";
    return text;
}

const std::string kComputerKey =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
    "\"ComputerName\"=\"QMTEST-07\"\r\n";

// A server whose logs the test writes; the machine loaded before comes back afterwards.
class LabEventLog : public ::testing::Test {
protected:

    void Load(const std::map<std::string, std::string>& logs, const std::string& labIni = "")
    {
        m_pProfile = std::make_unique<CTempProfile>(kComputerKey, labIni);
        std::filesystem::create_directories(m_pProfile->Dir() + "/eventlog");
        for (const auto& log : logs)
            m_pProfile->Write("eventlog/" + log.first + ".txt", log.second);
        Host::Instance().LoadProfile(m_pProfile->Dir(), m_pProfile->StateDir());
    }

    RestoreProfile m_restore;
    std::unique_ptr<CTempProfile> m_pProfile;
};

// Closes an event log handle at the end of a test.
struct LogHandle {
    explicit LogHandle(HANDLE handle) : h(handle) {}
    ~LogHandle()
    {
        if (h)
            CloseEventLog(h);
    }
    HANDLE h;
};

}  // namespace

TEST_F(LabEventLog, RecordLayoutAsWindowsWritesIt)
{
    Load({{"System", "[Record]\n"
                     "Time=2026-03-06 22:14:09\n"
                     "Written=2026-03-06 22:15:00\n"
                     "Type=Warning\n"
                     "Source=Fennock\n"
                     "EventID=0x80000065\n"
                     "Category=3\n"
                     "User=S-1-5-21-100-200-300-500\n"
                     "String=C:\\Program Files\\x\n"
                     "String=\"  bell\\x07 and tab\\t \"\n"
                     "String=\n"
                     "Data=de ad be ef 01\n"
                     "[Record]\n"
                     "Time=2026-03-06 22:16:00\n"
                     "Type=AuditFailure\n"
                     "Source=Sec\n"
                     "Computer=ELSEWHERE\n"
                     "EventID=4625\n"}});
    LogHandle log(OpenEventLogA(nullptr, "System"));
    ASSERT_NE(nullptr, log.h);

    Record first, second;
    DWORD dwError = 0;
    ASSERT_TRUE(ReadOne(log.h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, first, dwError)) << dwError;
    ASSERT_TRUE(ReadOne(log.h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, second, dwError)) << dwError;

    const EVENTLOGRECORD& head = first.head;
    EXPECT_EQ(0x654C664Cu, head.Reserved);
    EXPECT_EQ(0u, head.Length % 4);
    EXPECT_EQ(head.Length, first.trailingLength);
    EXPECT_EQ(1u, head.RecordNumber);
    EXPECT_EQ(1772835249u, head.TimeGenerated);  // the profile's times are UTC
    EXPECT_EQ(1772835300u, head.TimeWritten);
    EXPECT_EQ(0x80000065u, head.EventID);  // severity bits kept
    EXPECT_EQ(EVENTLOG_WARNING_TYPE, head.EventType);
    EXPECT_EQ(3, head.EventCategory);
    EXPECT_EQ("Fennock", first.source);
    EXPECT_EQ("QMTEST-07", first.computer);  // the machine's name when the record names none
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\x", "  bell\x07 and tab\t ", ""}), first.strings);
    EXPECT_EQ((std::vector<BYTE>{0xde, 0xad, 0xbe, 0xef, 0x01}), first.data);

    // The SID sits on a DWORD boundary after the names; strings follow it, data follows the strings.
    EXPECT_EQ(0u, head.UserSidOffset % 4);
    EXPECT_GE(head.UserSidOffset, sizeof(EVENTLOGRECORD) + first.source.size() + first.computer.size() + 2);
    EXPECT_LT(head.UserSidOffset, sizeof(EVENTLOGRECORD) + first.source.size() + first.computer.size() + 2 + 4);
    std::vector<BYTE> sid{1, 5, 0, 0, 0, 0, 0, 5,  21, 0, 0, 0, 100, 0, 0, 0,
                          200, 0, 0, 0, 0x2c, 1, 0, 0, 0xf4, 1, 0, 0};
    EXPECT_EQ(sid, first.sid);
    EXPECT_EQ(head.UserSidOffset + head.UserSidLength, head.StringOffset);
    size_t stringBytes = 0;
    for (const std::string& text : first.strings)
        stringBytes += text.size() + 1;
    EXPECT_EQ(head.StringOffset + stringBytes, head.DataOffset);
    EXPECT_EQ((head.DataOffset + head.DataLength + 3) / 4 * 4 + 4, head.Length);  // padding, then the length

    EXPECT_EQ(EVENTLOG_AUDIT_FAILURE, second.head.EventType);
    EXPECT_EQ("ELSEWHERE", second.computer);
    EXPECT_TRUE(second.sid.empty());
    EXPECT_EQ(0u, second.head.DataLength);
    EXPECT_EQ(second.head.Length, second.trailingLength);
    EXPECT_EQ(0u, second.head.Length % 4);
}

TEST_F(LabEventLog, SequentialReadsInBothDirections)
{
    Load({{"Application", NumberedLog(5, "100")}});
    DWORD dwEnd = 0;
    {
        LogHandle log(OpenEventLogA(nullptr, "Application"));
        ASSERT_NE(nullptr, log.h);
        DWORD dwCount = 0;
        EXPECT_TRUE(GetNumberOfEventLogRecords(log.h, &dwCount));
        EXPECT_EQ(5u, dwCount);
        // A fresh handle read backwards starts at the newest record; at the end it stays at the end.
        EXPECT_EQ((std::vector<DWORD>{104, 103, 102, 101, 100}),
                  SequentialNumbers(log.h, EVENTLOG_BACKWARDS_READ, dwEnd));
        EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), dwEnd);
        EXPECT_TRUE(SequentialNumbers(log.h, EVENTLOG_BACKWARDS_READ, dwEnd).empty());
        EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), dwEnd);
    }
    LogHandle log(OpenEventLogA(nullptr, "Application"));
    EXPECT_EQ((std::vector<DWORD>{100, 101, 102, 103, 104}), SequentialNumbers(log.h, EVENTLOG_FORWARDS_READ, dwEnd));
    std::vector<BYTE> buffer(4096);
    DWORD dwRead = 0, dwNeeded = 0;
    // Exactly one way of reading and one direction.
    for (DWORD dwFlags : {0x1u, 0x4u, 0x3u | 0x4u, 0x1u | 0xCu, 0x0u}) {
        EXPECT_FALSE(ReadEventLogA(log.h, dwFlags, 100, buffer.data(), 4096, &dwRead, &dwNeeded));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << dwFlags;
    }

    // An empty log is at its end from the start.
    Load({});
    LogHandle empty(OpenEventLogA(nullptr, "Security"));
    ASSERT_NE(nullptr, empty.h);
    EXPECT_TRUE(SequentialNumbers(empty.h, EVENTLOG_BACKWARDS_READ, dwEnd).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), dwEnd);
}

TEST_F(LabEventLog, ShortBufferAsksForTheNextRecordAndLeavesItThere)
{
    Load({{"System", NumberedLog(3)}});
    LogHandle log(OpenEventLogA(nullptr, "System"));
    const DWORD dwFlags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
    DWORD dwRead = 99, dwNeeded = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(ReadEventLogA(log.h, dwFlags, 0, nullptr, 0, &dwRead, &dwNeeded)));
    EXPECT_EQ(0u, dwRead);
    ASSERT_GT(dwNeeded, sizeof(EVENTLOGRECORD));

    std::vector<BYTE> buffer(dwNeeded);
    DWORD dwNeededAgain = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(ReadEventLogA(log.h, dwFlags, 0, buffer.data(), dwNeeded - 1, &dwRead, &dwNeededAgain)));
    EXPECT_EQ(dwNeeded, dwNeededAgain);

    ASSERT_TRUE(ReadEventLogA(log.h, dwFlags, 0, buffer.data(), dwNeeded, &dwRead, &dwNeededAgain));
    EXPECT_EQ(dwNeeded, dwRead);
    Record record = Decode(buffer.data());
    EXPECT_EQ(3u, record.head.RecordNumber);  // the newest, not skipped by the failed reads
    EXPECT_EQ(dwNeeded, record.head.Length);

    // A handle that is no event log, and missing out-parameters.
    EXPECT_FALSE(ReadEventLogA(reinterpret_cast<HANDLE>(0x4444), dwFlags, 0, buffer.data(), dwNeeded, &dwRead,
                               &dwNeeded));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(ReadEventLogA(log.h, dwFlags, 0, buffer.data(), dwNeeded, nullptr, &dwNeeded)));
}

TEST_F(LabEventLog, NamesServersAndTheApplicationFallback)
{
    Load({{"Application", NumberedLog(2)}, {"system", NumberedLog(4)}, {"Quillmont", NumberedLog(1)}});
    auto countOf = [](HANDLE h) {
        DWORD dwCount = 0;
        EXPECT_TRUE(GetNumberOfEventLogRecords(h, &dwCount));
        return dwCount;
    };
    {
        // Log names ignore case; a name that is no log (a source's, say) opens the Application log.
        LogHandle system(OpenEventLogA(nullptr, "SYSTEM"));
        LogHandle custom(OpenEventLogA("", "quillmont"));
        LogHandle source(OpenEventLogA(nullptr, "Ravelind"));
        LogHandle local(OpenEventLogA("\\\\qmtest-07", "System"));
        ASSERT_TRUE(system.h && custom.h && source.h && local.h);
        EXPECT_EQ(4u, countOf(system.h));
        EXPECT_EQ(1u, countOf(custom.h));
        EXPECT_EQ(2u, countOf(source.h));
        EXPECT_EQ(4u, countOf(local.h));
    }
    EXPECT_EQ(1722u, ErrorOf(OpenEventLogA("\\\\OTHERHOST", "System")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ErrorOf(OpenEventLogA(nullptr, nullptr)));

    HANDLE h = OpenEventLogA(nullptr, "System");
    EXPECT_TRUE(CloseEventLog(h));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(CloseEventLog(h)));
    DWORD dwCount = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(GetNumberOfEventLogRecords(h, &dwCount)));
}

TEST_F(LabEventLog, SwitchesMakeOpeningAndReadingFail)
{
    Load({{"System", NumberedLog(2)}}, "[EventLog]\nFailRead=system:1500\n");
    lab::host::EventLogs& logs = Host::Instance().TheEventLogs();
    {
        LogHandle system(OpenEventLogA(nullptr, "System"));
        ASSERT_NE(nullptr, system.h);
        DWORD dwEnd = 0;
        EXPECT_TRUE(SequentialNumbers(system.h, EVENTLOG_BACKWARDS_READ, dwEnd).empty());
        EXPECT_EQ(1500u, dwEnd);

        // Switched back off, the same handle reads again.
        logs.SetReadError("System", 0);
        EXPECT_EQ((std::vector<DWORD>{2, 1}), SequentialNumbers(system.h, EVENTLOG_BACKWARDS_READ, dwEnd));
    }
    // A switch on Application also holds for the names that fall back to it.
    logs.SetOpenError("application", 1502);
    EXPECT_EQ(1502u, ErrorOf(OpenEventLogA(nullptr, "Application")));
    EXPECT_EQ(1502u, ErrorOf(OpenEventLogA(nullptr, "NoSuchLog")));
    logs.SetOpenError("Application", 0);
    LogHandle application(OpenEventLogA(nullptr, "Application"));
    EXPECT_NE(nullptr, application.h);
}

TEST(LabEventLogFile, MalformedTextIsRefusedWithItsLine)
{
    struct Case {
        std::string text;
        const char* error;
    };
    const std::string head = "[Record]\nTime=2026-03-01 10:00:00\nType=Error\nSource=S\nEventID=1\n";  // lines 1-5
    const Case cases[] = {
        {head + "Colour=red\n", "line 6: unknown key Colour"},
        {"[Record]\nType=Error\nSource=S\nEventID=1\n", "line 1: a record needs Time, Type, Source and EventID"},
        {"[Record]\nTime=2026-03-01 10:00:00\nType=Fatal\nSource=S\nEventID=1\n", "line 3: bad type Fatal"},
        {"[Record]\nTime=2026-13-01 10:00:00\nType=Error\nSource=S\nEventID=1\n", "line 2: bad time"},
        {"[Record]\nTime=2026-03-01 10:00:00\nType=Error\nSource=S\nEventID=0x1FFFFFFFF\n", "line 5: bad event id"},
        {head + "String=\"\\q\"\n", "line 6: unknown escape"},
        {head + "String=\"open\n", "line 6: missing closing"},
        {head + "Data=abc\n", "line 6: bad data"},
        {head + "User=S-2-5\n", "line 6: bad SID"},
        {"Time=2026-03-01 10:00:00\n", "line 1: value before the first [block]"},
        {head + "[Log]\nFirstRecord=5\n", "line 6: [Log] must come first"},
    };
    for (const Case& c : cases) {
        lab::host::EventLog log;
        std::string error;
        EXPECT_FALSE(lab::host::EventLogs::Parse("System", c.text, log, error)) << c.text;
        EXPECT_EQ(0u, error.find(c.error)) << error;
        EXPECT_TRUE(log.records.empty());
    }

    // Comments, CRLF, numeric types, escapes only inside quotes.
    lab::host::EventLog log;
    std::string error;
    ASSERT_TRUE(lab::host::EventLogs::Parse("System",
                                            "; note\r\n[Record]\r\n# note\r\nTime=2026-03-01 10:00:00\r\nType=16\r\n"
                                            "Source=Service Control Manager\r\nEventID=7000\r\n"
                                            "String=C:\\new\\x41; not a comment\r\nString=\"a\\x41\\\\\\\"\"\r\n",
                                            log, error))
        << error;
    ASSERT_EQ(1u, log.records.size());
    EXPECT_EQ(16, log.records[0].type);
    EXPECT_EQ("Service Control Manager", log.records[0].source);
    EXPECT_EQ((std::vector<std::string>{"C:\\new\\x41; not a comment", "aA\\\""}), log.records[0].strings);
}
