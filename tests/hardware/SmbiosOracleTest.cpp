// Real firmware tables: what the report says of BIOS, system, base board, processors and memory
// devices must equal what dmidecode decodes from the same dump.
#include "src/hardware/CheckSystem.h"

#include "tests/support/FirmwareProfile.h"
#include "tests/support/ReportText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using testsupport::CFirmwareProfile;

namespace {

const std::string kTables = std::string(TRIAGIST_SOURCE_DIR) + "/tests/data/smbios/";

// One structure as dmidecode prints it: its type, handle and "Key: Value" lines.
struct SDecoded {
    int nType = -1;
    unsigned nHandle = 0;
    std::map<std::string, std::string> values;
};

struct SDump {
    std::string version;  // "2.8" from "SMBIOS 2.8 present."
    std::vector<SDecoded> structures;
    std::vector<const SDecoded*> OfType(int nType) const
    {
        std::vector<const SDecoded*> found;
        for (const SDecoded& s : structures)
            if (s.nType == nType)
                found.push_back(&s);
        return found;
    }
};

bool Decode(const std::string& file, SDump& dump)
{
    FILE* pPipe = popen(("dmidecode --from-dump '" + file + "' 2>/dev/null").c_str(), "r");
    if (!pPipe)
        return false;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pPipe)) > 0)
        text.append(buffer, n);
    if (pclose(pPipe) != 0)
        return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned handle = 0, length = 0;
        int type = 0;
        char szVersion[16];
        if (std::sscanf(line.c_str(), "SMBIOS %15s present.", szVersion) == 1) {
            dump.version = szVersion;
        } else if (std::sscanf(line.c_str(), "Handle 0x%x, DMI type %d, %u bytes", &handle, &type, &length) == 3) {
            dump.structures.push_back(SDecoded{type, handle, {}});
        } else if (!dump.structures.empty() && line.size() > 1 && line[0] == '\t' && line[1] != '\t') {
            size_t colon = line.find(": ");
            if (colon != std::string::npos)
                dump.structures.back().values[line.substr(1, colon - 1)] = line.substr(colon + 2);
        }
    }
    return true;
}

std::string Unescape(std::string text)
{
    const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& entity : kEntities) {
        for (size_t at = text.find(entity.first); at != std::string::npos; at = text.find(entity.first, at + 1))
            text.replace(at, std::string(entity.first).size(), entity.second);
    }
    return text;
}

// The text of a child element; "(missing)" when the element is not there.
std::string Child(const std::string& block, const std::string& name)
{
    std::string open = "<" + name + ">";
    size_t start = block.find(open);
    if (start == std::string::npos)
        return block.find("<" + name + "/>") != std::string::npos ? "" : "(missing)";
    start += open.size();
    return Unescape(block.substr(start, block.find("</" + name + ">", start) - start));
}

// What dmidecode shows for a string the report writes only when present.
std::string StringValue(const std::string& reported)
{
    return reported == "(missing)" ? "Not Specified" : reported;
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The entries of a type element, each from its "<Entry Handle=" to its end.
std::vector<std::string> Entries(const std::string& typeBlock)
{
    std::vector<std::string> entries;
    for (size_t at = typeBlock.find("<Entry Handle="); at != std::string::npos;
         at = typeBlock.find("<Entry Handle=", at + 1))
        entries.push_back(typeBlock.substr(at, typeBlock.find("</Entry>", at) - at));
    return entries;
}

unsigned HandleOf(const std::string& entry)
{
    return static_cast<unsigned>(std::stoul(entry.substr(entry.find('"') + 1)));
}

// A memory size as dmidecode prints it ("4 GB", "512 MB", "No Module Installed"), in kB; -1: none.
long long DecodedKilobytes(const std::string& text)
{
    if (text == "No Module Installed")
        return 0;
    long long value = 0;
    char szUnit[8] = {};
    if (std::sscanf(text.c_str(), "%lld %7s", &value, szUnit) != 2)
        return -1;
    std::string unit = szUnit;
    return unit == "GB" ? value << 20 : unit == "MB" ? value << 10 : unit == "kB" ? value : -1;
}

long long ReportedKilobytes(const std::string& entry)
{
    size_t at = entry.find("<Size Unit=\"");
    if (at == std::string::npos)
        return -1;
    bool bKilo = entry.compare(at + 12, 5, "KByte") == 0;
    long long value = std::stoll(entry.substr(entry.find('>', at) + 1));
    return bKilo ? value : value << 10;
}

// dmidecode shows the first three fields little-endian from SMBIOS 2.6 on, the report memory order.
std::string ReportedUuidAsDecoded(std::string uuid, const std::string& version)
{
    if (uuid == "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF")
        return "Not Present";
    if (uuid == "00000000-0000-0000-0000-000000000000")
        return "Not Settable";
    unsigned major = 0, minor = 0;
    std::sscanf(version.c_str(), "%u.%u", &major, &minor);
    if (major > 2 || (major == 2 && minor >= 6)) {
        std::string swapped = uuid;
        for (int i = 0; i < 4; ++i)
            swapped.replace(2 * i, 2, uuid.substr(6 - 2 * i, 2));
        swapped.replace(9, 2, uuid.substr(11, 2));
        swapped.replace(11, 2, uuid.substr(9, 2));
        swapped.replace(14, 2, uuid.substr(16, 2));
        swapped.replace(16, 2, uuid.substr(14, 2));
        uuid = swapped;
    }
    for (char& c : uuid)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return uuid;
}

std::string ReportOn(const std::string& file)
{
    CFirmwareProfile server("[Firmware]\nSMBIOS=" + file + "\nPCI=none\n");
    CXmlDocument doc;
    testsupport::StartReport(doc);
    CDiagReport report{std::vector<DiagStep>{}};
    EXPECT_EQ(0u, CheckSystem(report, doc));
    EXPECT_EQ(0u, report.m_dwErrors);
    return doc.GetText();
}

void CompareIdentity(const std::string& block, const SDecoded& decoded, bool bSystem, const std::string& version)
{
    EXPECT_EQ(decoded.values.at("Manufacturer"), StringValue(Child(block, "Vendor")));
    EXPECT_EQ(decoded.values.at("Product Name"), StringValue(Child(block, "Name")));
    EXPECT_EQ(decoded.values.at("Version"), StringValue(Child(block, "Version")));
    EXPECT_EQ(decoded.values.at("Serial Number"), StringValue(Child(block, "SerialNr")));
    if (bSystem) {
        EXPECT_EQ(decoded.values.at("UUID"), ReportedUuidAsDecoded(Child(block, "UUID"), version));
    }
}

class SmbiosOracleTest : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(SmbiosOracleTest, ReportAgreesWithDmidecode)
{
    std::string file = kTables + GetParam();
    SDump dump;
    ASSERT_TRUE(Decode(file, dump)) << "dmidecode is needed (scripts/install-deps installs it)";
    std::string text = ReportOn(file);
    std::string smbios = testsupport::ElementText(text, "SMBIOS");
    EXPECT_NE(std::string::npos, smbios.find("<SMBIOS Version=\"" + dump.version + "\">"));

    const SDecoded& bios = *dump.OfType(0).at(0);
    std::string biosBlock = testsupport::ElementText(text, "BIOS");
    EXPECT_EQ(bios.values.at("Vendor"), StringValue(Child(biosBlock, "Vendor")));
    EXPECT_EQ(bios.values.at("Release Date"), StringValue(Child(biosBlock, "Date")));
    EXPECT_EQ(Trim(bios.values.at("Version")), Child(biosBlock, "Version"));

    CompareIdentity(testsupport::ElementText(smbios, "Type1"), *dump.OfType(1).at(0), true, dump.version);
    CompareIdentity(testsupport::ElementText(smbios, "Type2"), *dump.OfType(2).at(0), false, dump.version);

    std::vector<std::string> processors = Entries(testsupport::ElementText(smbios, "Type4"));
    ASSERT_EQ(dump.OfType(4).size(), processors.size());
    for (size_t i = 0; i < processors.size(); ++i) {
        const SDecoded& cpu = *dump.OfType(4)[i];
        const std::string& entry = processors[i];
        EXPECT_EQ(cpu.nHandle, HandleOf(entry));
        EXPECT_EQ(cpu.values.at("Socket Designation"), StringValue(Child(entry, "Socket")));
        EXPECT_EQ(cpu.values.at("Manufacturer"), StringValue(Child(entry, "Manufacture")));
        EXPECT_EQ(cpu.values.at("Version"), StringValue(Child(entry, "Version")));
        EXPECT_EQ(cpu.values.at("Status") == "Unpopulated", Child(entry, "Status") == "Empty Socket");
        for (const auto& speed :
             {std::make_pair("Current Speed", "CurrentSpeed"), std::make_pair("Max Speed", "MaxSpeed")}) {
            std::string reported = Child(entry, speed.second);
            EXPECT_EQ(cpu.values.at(speed.first), reported == "0" ? "Unknown" : reported + " MHz") << speed.first;
        }
    }

    std::vector<std::string> devices = Entries(testsupport::ElementText(smbios, "Type17"));
    ASSERT_EQ(dump.OfType(17).size(), devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        const SDecoded& dimm = *dump.OfType(17)[i];
        const std::string& entry = devices[i];
        EXPECT_EQ(dimm.nHandle, HandleOf(entry));
        EXPECT_EQ(dimm.values.at("Locator"), StringValue(Child(entry, "DeviceLocator")));
        EXPECT_EQ(dimm.values.at("Bank Locator"), StringValue(Child(entry, "BankLocator")));
        EXPECT_EQ(DecodedKilobytes(dimm.values.at("Size")), ReportedKilobytes(entry)) << dimm.values.at("Size");
        std::string speed = Child(entry, "Speed");
        if (speed != "(missing)") {
            EXPECT_EQ(dimm.values.at("Speed"), speed == "0" ? "Unknown" : speed + " MT/s");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealTables, SmbiosOracleTest,
                         ::testing::Values("Asus-UX307LA.bin", "Gigabyte-GA-MA74GMT-S2.bin",
                                           "Lenovo-ThinkPad-W510.bin", "MSI-MS-7816.bin"));

TEST(SmbiosOracleTest64, OnlyA64BitEntryPointGivesNoStructures)
{
    std::string text = ReportOn(kTables + "Lenovo-ThinkPad-T480.bin");
    EXPECT_NE(std::string::npos, text.find("<Version/>\r\n<SMBIOS Version=\"255.255\"/>\r\n</BIOS>")) << text;
    EXPECT_NE(std::string::npos, text.find("<Processor/>"));
}
