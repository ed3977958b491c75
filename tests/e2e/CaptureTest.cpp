// triagist-capture over the lab: a captured profile replays to the report of the original.
#include "tests/e2e/DistShell.h"
#include "tests/support/LargeImage.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <utime.h>

namespace fs = std::filesystem;
using namespace e2e;
using testsupport::ReadText;

namespace {

class CaptureTest : public ::testing::Test {
protected:
    // Runs a program of the dist tree on a profile with a state of its own; the exit code.
    int Run(const std::string& program, const std::string& profile, const std::string& args, const std::string& tag)
    {
        fs::create_directories(m_root + "/temp-" + tag);
        return Shell(InLab(m_root, profile, m_root + "/state-" + tag) + "TMPDIR='" + m_root + "/temp-" + tag + "' '" +
                     kDist + "/" + program + "' " + args + " > '" + m_root + "/" + tag + ".out' 2> '" + m_root + "/" +
                     tag + ".err'");
    }

    std::string Capture(const std::string& profile, const std::string& options = "")
    {
        std::string folder = m_root + "/captured";
        EXPECT_EQ(Run("triagist-capture", profile, options + " '" + folder + "'", "capture"), 0) << Output("capture");
        return folder;
    }

    // The unattended diagnosis's XML report, checked against the schema.
    std::string Diagnose(const std::string& profile, const std::string& tag)
    {
        Run("triagist", profile, "-DIAG", tag);
        std::string report = m_root + "/temp-" + tag + "/Status.xml";
        EXPECT_TRUE(SchemaValid(report)) << report;
        return ReadText(report);
    }

    std::string Output(const std::string& tag) { return ReadText(m_root + "/" + tag + ".out"); }

    CScratchDir m_scratch{"triagist-capture"};
    const std::string m_root = m_scratch.Path();
};

// The report of the replay is compared with the original's for every profile by the roundtrip tests.
TEST_F(CaptureTest, DefaultProfileCaptureHoldsEveryFacility)
{
    std::string captured = Capture(kDist + "/lab/default");
    EXPECT_NE(Output("capture").find("[1/10] registry"), std::string::npos);
    EXPECT_NE(Output("capture").find("Nothing was left out."), std::string::npos) << Output("capture");
    for (const char* file : {"registry.reg", "lab.ini", "services.ini", "processes.ini", "network.ini",
                             "baseservice.ini", "eventlog/System.txt", "firmware/smbios.bin", "firmware/pci.txt",
                             "firmware/pir.ini", "drive_c/Program Files/Quillmont/Ravelin/Bin/Vexil.dll"})
        EXPECT_TRUE(fs::exists(captured + "/" + file)) << file;
    EXPECT_NE(Output("capture").find("SNMP agent: answers, status MIB with 3 subsystems"), std::string::npos)
        << Output("capture");

    // The firmware table is one that dmidecode reads.
    std::string dump = m_root + "/dmidecode.txt";
    ASSERT_EQ(Shell("dmidecode --from-dump '" + captured + "/firmware/smbios.bin' > '" + dump + "' 2>&1"), 0);
    std::string text = ReadText(dump);
    EXPECT_NE(text.find("SMBIOS 2.5 present."), std::string::npos) << text;
    EXPECT_NE(text.find("System Information"), std::string::npos) << text;
    EXPECT_EQ(text.find("Invalid entry"), std::string::npos) << text;
    EXPECT_EQ(text.find("checksum"), std::string::npos) << text;
}

TEST_F(CaptureTest, RedactionLeavesNoIdentifyingValueAndAConsistentServer)
{
    std::string original = kDist + "/lab/default";
    std::string captured = Capture(original, "-REDACT");
    // The sample server's name, organisation, serial number, addresses and hardware address.
    const char* const identifying[] = {"QMFS-DEMO01", "Harrowgate", "YK8R002143", "192.168.40.17", "10.20.0.41",
                                       "00-1B-21-4A-71-C0"};
    for (const auto& entry : fs::recursive_directory_iterator(captured)) {
        if (!entry.is_regular_file() || entry.path().string().find("/drive_c/") != std::string::npos)
            continue;
        std::string text = ReadText(entry.path().string());
        for (const char* value : identifying)
            EXPECT_EQ(text.find(value), std::string::npos) << value << " in " << entry.path();
    }
    // One value, one placeholder: the computer name is the same placeholder wherever it stands.
    std::string registry = ReadText(captured + "/registry.reg");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(registry, match, std::regex("\"ComputerName\"=\"(HOST[0-9]+)\"")));
    EXPECT_NE(ReadText(captured + "/network.ini").find("HostName=" + match[1].str()), std::string::npos);

    std::string replayed = Diagnose(captured, "replayed");
    EXPECT_NE(replayed.find(match[1].str()), std::string::npos);
    EXPECT_EQ(replayed.find("QMFS-DEMO01"), std::string::npos);
}

TEST_F(CaptureTest, RefusedAccessIsNamedAndTheCaptureGoesOn)
{
    std::string variant = m_root + "/refusing";
    Variant(variant, "[EventLog]\nFailOpen=Security:5\n[Services]\nDeniedAccess=0x4\n");
    std::string captured = Capture(variant);
    std::string output = Output("capture");
    EXPECT_NE(output.find("event log Security (error 5)"), std::string::npos) << output;
    EXPECT_NE(output.find("services.ini (error 5)"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(captured + "/eventlog/Security.txt"));
    EXPECT_TRUE(fs::exists(captured + "/eventlog/System.txt"));
    EXPECT_TRUE(fs::exists(captured + "/registry.reg"));
    EXPECT_TRUE(fs::exists(captured + "/baseservice.ini"));
}

TEST_F(CaptureTest, LargeImagesAreKeptReducedAndReplayToTheSameReport)
{
    // The event message file the report's event texts come from, grown by a section of filler, and a
    // large file of no image format beside it.
    const std::string bin = "/drive_c/Program Files/Quillmont/Ravelin/Bin/";
    const std::string variant = m_root + "/large";
    Variant(variant, "");
    fs::create_directories(variant + bin);
    std::string small = ReadText(kDist + "/lab/default" + bin + "RvEvents.dll");
    std::vector<uint8_t> image(small.begin(), small.end());
    ASSERT_TRUE(testsupport::InsertFillerSection(image, 3 * 1024 * 1024));
    std::ofstream(variant + bin + "RvEvents.dll", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    struct utimbuf written = {1700000000, 1700000000};
    ASSERT_EQ(utime((variant + bin + "RvEvents.dll").c_str(), &written), 0);
    std::string garbage(1536 * 1024, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 131 + 17);
    std::ofstream(variant + bin + "RvTrace.dll", std::ios::binary) << garbage;

    // The diagnoses and the capture on one virtual clock, so that "now" is the same moment in both reports.
    auto clocked = [&](const std::string& profile, const std::string& tag) {
        std::string dir = m_root + "/clock-" + tag;
        fs::create_directories(dir);
        std::ofstream(dir + "/lab.ini") << "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n\n[Profile]\nBase="
                                        << profile << "\n";
        return dir;
    };
    auto report = [&](const std::string& profile, const std::string& tag) {
        return std::regex_replace(Diagnose(profile, tag), std::regex("<Date>[^<]*</Date>"), "<Date/>");
    };
    const std::string original = clocked(variant, "original");
    std::string captured = Capture(original);
    std::string output = Output("capture");
    EXPECT_NE(output.find(", 1 large image reduced to its headers and resources"), std::string::npos) << output;
    EXPECT_NE(output.find("\\RvTrace.dll copied whole (1.5 MiB): no image with resources"), std::string::npos) << output;
    EXPECT_NE(output.find("Nothing was left out."), std::string::npos) << output;
    EXPECT_LT(fs::file_size(captured + bin + "RvEvents.dll"), image.size() / 100);
    EXPECT_EQ(ReadText(captured + bin + "RvTrace.dll"), garbage);
    EXPECT_EQ(fs::last_write_time(captured + bin + "RvEvents.dll"), fs::last_write_time(variant + bin + "RvEvents.dll"));
    std::string times = ReadText(captured + "/lab.ini");
    EXPECT_NE(times.find("\\Bin\\RvEvents.dll=2025-11-18 14:02:13\r\n"), std::string::npos) << times;

    std::string originalReport = report(original, "original");
    EXPECT_NE(originalReport.find("The module RvPower found no hardware to manage and stays idle."), std::string::npos);
    EXPECT_EQ(report(clocked(captured, "replay"), "replay"), originalReport);
}

}  // namespace
