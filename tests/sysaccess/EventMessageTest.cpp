// The text of an event record from its source's message file, with inserts the file's text chooses.
#include "src/sysaccess/EventMessage.h"

#include "lab/win32/MessageControl.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A record of the source "Starry" with its insertion strings, laid out as ReadEventLogA gives it.
std::vector<BYTE> RecordBytes(DWORD dwEventId, const std::vector<std::string>& strings)
{
    std::string tail = std::string("Starry") + '\0' + "QMFS" + '\0';
    DWORD dwStringOffset = static_cast<DWORD>(sizeof(EVENTLOGRECORD) + tail.size());
    for (const std::string& text : strings)
        tail += text + '\0';
    std::vector<BYTE> bytes(sizeof(EVENTLOGRECORD) + tail.size() + 4, 0);
    EVENTLOGRECORD record{};
    record.Length = static_cast<DWORD>(bytes.size());
    record.EventID = dwEventId;
    record.NumStrings = static_cast<WORD>(strings.size());
    record.StringOffset = dwStringOffset;
    std::memcpy(bytes.data(), &record, sizeof record);
    std::memcpy(bytes.data() + sizeof record, tail.data(), tail.size());
    return bytes;
}

// The source "Starry" of the System log, with its message file.
class CStarryProfile : public CTempProfile {
public:
    CStarryProfile()
        : CTempProfile("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\System\\Starry]\r\n"
                       "\"EventMessageFile\"=\"C:\\\\Qm\\\\Messages.dll\"\r\n\r\n",
                       "[System]\nLocale=1033\nUserLanguage=1033\n")
    {
        PlaceFixture("Messages.dll", "Qm/Messages.dll");
    }
};

// "Wide %99!*.*s! end.": insert 99 takes its width and precision from the next two arguments.
TEST(EventMessageTest, StarredInsertsStayInsideTheArguments)
{
    CStarryProfile profile;
    std::vector<BYTE> bytes = RecordBytes(0x8, std::vector<std::string>(100, "x"));
    CEventMessage message(reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()), nullptr);
    ASSERT_NE(message.Get(), nullptr);
    const std::string text = message.Get();
    EXPECT_EQ(text.rfind("Wide ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 5), " end.") << text;
}

// The message's block goes with the object; an event the file has no text for leaves none behind.
TEST(EventMessageTest, TheMessageIsFreedWithTheObjectAndAMissingOneLeavesNothing)
{
    CStarryProfile profile;
    const size_t blocksBefore = lab::win32::LocalAllocationCount();
    {
        std::vector<BYTE> bytes = RecordBytes(0x8, std::vector<std::string>(100, "x"));
        CEventMessage message(reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()), nullptr);
        ASSERT_NE(message.Get(), nullptr);
        EXPECT_EQ(lab::win32::LocalAllocationCount(), blocksBefore + 1);
    }
    EXPECT_EQ(lab::win32::LocalAllocationCount(), blocksBefore);

    std::vector<BYTE> bytes = RecordBytes(0x4711, {});
    CEventMessage missing(reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()), nullptr);
    EXPECT_EQ(missing.Get(), nullptr);
    EXPECT_EQ(lab::win32::LocalAllocationCount(), blocksBefore);
}

}  // namespace
