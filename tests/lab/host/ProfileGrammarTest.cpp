// Every profile file writes numbers, hexadecimal bytes and times one way; and a fact the modelled server could
// not have refuses the profile instead of showing something else.
#include "lab/host/BaseService.h"
#include "lab/host/Host.h"
#include "lab/host/ProfileValues.h"
#include "lab/host/ServiceTable.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using lab::host::DateTime;

std::vector<uint8_t> Bytes(const std::string& text)
{
    std::vector<uint8_t> bytes{0x99};
    return lab::host::ParseHexBytes(text, bytes) ? bytes : std::vector<uint8_t>{0x99};
}

TEST(ProfileGrammar, NumbersBytesAndTimesReadOneWay)
{
    uint64_t number = 0;
    EXPECT_TRUE(lab::host::ParseNumber("010", number));
    EXPECT_EQ(number, 10u);
    EXPECT_TRUE(lab::host::ParseNumber("0x1F", number));
    EXPECT_EQ(number, 31u);
    for (const char* bad : {"", "-1", " 5", "5 ", "0x", "0xG", "1e3", "18446744073709551616"})
        EXPECT_FALSE(lab::host::ParseNumber(bad, number)) << bad;
    uint32_t narrow = 0;
    EXPECT_FALSE(lab::host::ParseNumber("0x100000000", narrow));
    int64_t signedNumber = 0;
    EXPECT_TRUE(lab::host::ParseSignedNumber("-010", signedNumber));
    EXPECT_EQ(signedNumber, -10);

    const std::vector<uint8_t> deadBeef{0xDE, 0xAD, 0xBE, 0xEF};
    for (const char* text : {"de ad be ef", "DE,AD,BE,EF", "de:ad:be:ef", "DE-AD-BE-EF", "deadbeef", "de\tad, be ef"})
        EXPECT_EQ(Bytes(text), deadBeef) << text;
    EXPECT_EQ(Bytes(""), std::vector<uint8_t>());
    for (const char* bad : {"1 c 2", "dea", "de ag", "0x12"})
        EXPECT_EQ(Bytes(bad), std::vector<uint8_t>{0x99}) << bad;

    DateTime when;
    ASSERT_TRUE(lab::host::ParseDateTime("2026-03-07 10:15:30", when));
    EXPECT_EQ(lab::host::AsUtc(when), 1772878530);
    ASSERT_TRUE(lab::host::ParseDateTime("2026-03-07", when));
    EXPECT_EQ(when.hour + when.minute + when.second, 0);
    for (const char* bad : {"2026-13-01 00:00:00", "2026-03-07 24:00:00", "2026-3-7 1:2:3", "2026-03-07 10:15:30Z",
                            "2026-03-07 10:15", "26-03-07"})
        EXPECT_FALSE(lab::host::ParseDateTime(bad, when)) << bad;
}

// "010" was 8 in services.ini, network.ini and baseservice.ini and 10 in the event logs and process lists.
TEST(ProfileGrammar, ALeadingZeroIsDecimalInEveryFile)
{
    CTempProfile profile("");
    profile.Write("services.ini", "[Svc]\nTag=010\nWaitHint=0x10\n");
    profile.Write("network.ini", "[Interface 1]\nMtu=010\nMAC=00:1b:21:3a:4f:10\n");
    profile.Write("baseservice.ini", "[Server]\nCabinetNumber=010\nChassisEEPROM=01:0C:02\n"
                                     "[Event]\nTime=2026-02-27 16:44:09\nSeverity=02\nErrorCode=0x0317\nMessage=x\n");
    lab::host::Host& host = lab::host::Host::Instance();
    ASSERT_TRUE(host.LoadProfile(profile.Dir(), profile.StateDir()));

    lab::host::ServiceEntry service;
    ASSERT_TRUE(host.Services().Find("Svc", service));
    EXPECT_EQ(service.tagId, 10u);
    EXPECT_EQ(service.waitHint, 16u);

    lab::host::NetState network = host.TheNetwork().Snapshot();
    ASSERT_EQ(network.interfaces.size(), 1u);
    EXPECT_EQ(network.interfaces[0].mtu, 10u);
    EXPECT_EQ(network.interfaces[0].physical, (std::vector<uint8_t>{0x00, 0x1B, 0x21, 0x3A, 0x4F, 0x10}));

    int16_t cabinet = 0;
    ASSERT_TRUE(host.TheBaseService().CabinetProperty(cabinet));
    EXPECT_EQ(cabinet, 10);
    lab::host::RouterHeader request, reply;
    request.code = 0x0C10;
    request.extension = 0x0100;
    std::vector<uint8_t> data;
    host.TheBaseService().Answer(request, {}, reply, data);
    EXPECT_EQ(data, (std::vector<uint8_t>{0x01, 0x0C, 0x02}));
}

TEST(ProfileGrammar, ADateOutOfRangeIsRefusedByEveryFile)
{
    lab::host::BaseService service;
    std::string error;
    EXPECT_FALSE(service.Parse("[Event]\nTime=2026-13-40 16:44:09\n", error));
    EXPECT_EQ(error, "line 2: unknown or bad event key Time");
    EXPECT_TRUE(service.Parse("[Event]\nTime=2026-02-27\n[Event]\nTime=-5\n", error)) << error;
}

// The entry's length is 16 bits: a longer message would shift every entry after it.
TEST(BaseServiceEventLog, AMessageLongerThanItsEntryRefusesTheProfile)
{
    const size_t kMost = 0xFFFF - 16 - 1;
    lab::host::BaseService service;
    std::string error;
    EXPECT_TRUE(service.Parse("[Event]\nMessage=" + std::string(kMost, 'm') + "\n", error)) << error;
    EXPECT_FALSE(service.Refused());
    service.Load("");  // forgets what it read
    EXPECT_FALSE(service.Parse("[Event]\nMessage=first\n[Event]\nSeverity=2\nMessage=" + std::string(kMost + 1, 'm') +
                                   "\n",
                               error));
    EXPECT_TRUE(service.Refused());
    EXPECT_EQ(error, "line 5: the Message of [Event] 2 has 65519 characters; an entry's 16-bit length carries at "
                     "most 65518");

    CTempProfile profile("");
    profile.Write("baseservice.ini", "[Event]\nMessage=" + std::string(kMost + 1, 'm') + "\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(lab::host::Host::Instance().LoadProfile(profile.Dir(), profile.StateDir()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("baseservice.ini: line 2: the Message of [Event] 1"),
              std::string::npos);
}

}  // namespace
