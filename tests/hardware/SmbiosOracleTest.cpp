// Real firmware tables: what the report says of BIOS, system, base board, processors and memory
// devices must equal what dmidecode decodes from the same dump.
#include "src/hardware/CheckSystem.h"

#include "tests/support/FirmwareProfile.h"
#include "tests/support/ReportText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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
    // "(not decoded)" for a line dmidecode did not print.
    std::string Value(const std::string& key) const
    {
        auto found = values.find(key);
        return found == values.end() ? "(not decoded)" : found->second;
    }
};

struct SDump {
    std::string version;  // "2.8" from "SMBIOS 2.8 present.", "3.5" from "SMBIOS 3.5.0 present."
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
            // From a 64-bit entry point dmidecode adds the document revision ("3.0.0"); the
            // report gives major and minor only.
            dump.version = szVersion;
            size_t second = dump.version.find('.', dump.version.find('.') + 1);
            dump.version = dump.version.substr(0, second);
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

// The text of a child element, attributes or not; "(missing)" when the element is not there.
std::string Child(const std::string& block, const std::string& name)
{
    size_t start = block.find("<" + name + ">");
    if (start == std::string::npos)
        start = block.find("<" + name + " ");
    if (start == std::string::npos)
        return block.find("<" + name + "/>") != std::string::npos ? "" : "(missing)";
    start = block.find('>', start) + 1;
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

// The entries of a type element, each from its "<Entry" to its end.
std::vector<std::string> Entries(const std::string& typeBlock)
{
    std::vector<std::string> entries;
    for (size_t at = typeBlock.find("<Entry"); at != std::string::npos; at = typeBlock.find("<Entry", at + 1))
        entries.push_back(typeBlock.substr(at, typeBlock.find("</Entry>", at) - at));
    return entries;
}

unsigned HandleOf(const std::string& entry)
{
    return static_cast<unsigned>(std::stoul(entry.substr(entry.find('"') + 1)));
}

std::string Hex4(const std::string& reported)
{
    char szText[16];
    snprintf(szText, sizeof szText, "0x%04X", static_cast<unsigned>(std::stoul(reported)));
    return szText;
}

// Where the report's format defines a field otherwise than dmidecode prints it, the value
// dmidecode would print for what the report holds.

// A handle word: dmidecode names the two markers.
std::string HandleAsDecoded(const std::string& reported)
{
    return reported == "65534" ? "Not Provided" : reported == "65535" ? "No Error" : Hex4(reported);
}

std::string WidthAsDecoded(const std::string& reported)
{
    return reported == "65535" || reported == "0" ? "Unknown" : reported + " bits";
}

std::string DeviceSetAsDecoded(const std::string& reported)
{
    return reported == "0" ? "None" : reported == "255" ? "Unknown" : reported;
}

// The report keeps the value names of the 2.x era: sentence case, and one old spelling.
std::string NameAsDecoded(const std::string& reported)
{
    if (reported == "CProprietary Card")
        return "Proprietary Card";
    if (reported == "FLASH")
        return "Flash";
    return reported;
}

bool SameWords(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// dmidecode lists every detail bit and says "None" for none; the report's "Other" and "Unknown"
// stand alone, and no bit is "".
void ExpectTypeDetail(const std::string& decoded, const std::string& reported)
{
    if (reported == "Other" || reported == "Unknown") {
        EXPECT_EQ(0u, decoded.find(reported)) << decoded;
    } else {
        EXPECT_EQ(decoded == "None" ? "" : decoded, reported);
    }
}

// "Populated, Enabled" and the like; the report names only the state.
std::string StatusAsDecoded(const std::string& reported)
{
    const std::pair<const char*, const char*> kStates[] = {{"Empty Socket", "Unpopulated"},
                                                           {"Enabled", "Populated, Enabled"},
                                                           {"User disabled", "Populated, Disabled By User"},
                                                           {"BIOS disabled", "Populated, Disabled By BIOS"},
                                                           {"Idle", "Populated, Idle"},
                                                           {"Other", "Populated, Other"},
                                                           {"Unknown", "Populated, Unknown"}};
    for (const auto& state : kStates)
        if (reported == state.first)
            return state.second;
    return "(not a state: " + reported + ")";
}

std::string ProcessorTypeAsDecoded(const std::string& reported)
{
    const char* const kTypes[] = {"Other", "Unknown", "Central Processor", "Math Processor", "DSP Processor",
                                  "Video Processor"};
    unsigned n = static_cast<unsigned>(std::stoul(reported));
    return n >= 1 && n <= 6 ? kTypes[n - 1] : "(type " + reported + ")";
}

// dmidecode abbreviates first and names in brackets; the report the other way round.
std::string IpmiInterfaceAsDecoded(const std::string& reported)
{
    size_t open = reported.find(" (");
    if (open == std::string::npos)
        return reported;
    std::string abbreviation = reported.substr(open + 2, reported.size() - open - 3);
    std::string name = reported.substr(0, open);
    if (name == "Keyboard Controller Style")
        name = "Keyboard Control Style";
    return abbreviation + " (" + name + ")";
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
    return unit == "TB"   ? value << 30
           : unit == "GB" ? value << 20
           : unit == "MB" ? value << 10
           : unit == "kB" ? value
                          : -1;
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
    EXPECT_EQ(decoded.Value("Manufacturer"), StringValue(Child(block, "Vendor")));
    EXPECT_EQ(decoded.Value("Product Name"), StringValue(Child(block, "Name")));
    EXPECT_EQ(decoded.Value("Version"), StringValue(Child(block, "Version")));
    EXPECT_EQ(decoded.Value("Serial Number"), StringValue(Child(block, "SerialNr")));
    if (bSystem) {
        EXPECT_EQ(decoded.Value("UUID"), ReportedUuidAsDecoded(Child(block, "UUID"), version));
    }
}

void CompareProcessor(const std::string& entry, const SDecoded& cpu)
{
    EXPECT_EQ(cpu.nHandle, HandleOf(entry));
    EXPECT_EQ(cpu.Value("Socket Designation"), StringValue(Child(entry, "Socket")));
    EXPECT_EQ(cpu.Value("Manufacturer"), StringValue(Child(entry, "Manufacture")));
    EXPECT_EQ(cpu.Value("Version"), StringValue(Child(entry, "Version")));
    EXPECT_EQ(cpu.Value("Type"), ProcessorTypeAsDecoded(Child(entry, "Type")));
    EXPECT_EQ(cpu.Value("Status"), StatusAsDecoded(Child(entry, "Status")));
    for (const auto& speed :
         {std::make_pair("Current Speed", "CurrentSpeed"), std::make_pair("Max Speed", "MaxSpeed")}) {
        std::string reported = Child(entry, speed.second);
        EXPECT_EQ(cpu.Value(speed.first), reported == "0" ? "Unknown" : reported + " MHz") << speed.first;
    }
    // dmidecode decodes the signature of the x86 families it knows.
    auto signature = cpu.values.find("Signature");
    if (signature != cpu.values.end()) {
        unsigned family = 0, model = 0, step = 0;
        size_t at = signature->second.find("Family ");
        ASSERT_EQ(3, std::sscanf(signature->second.c_str() + at, "Family %u, Model %u, Stepping %u", &family,
                                 &model, &step));
        EXPECT_EQ(std::to_string(family), Child(entry, "Family"));
        EXPECT_EQ(std::to_string(model), Child(entry, "Model"));
        EXPECT_EQ(std::to_string(step), Child(entry, "Step"));
    }
    // dmidecode leaves out a count that is 0 (unknown); the report writes every count the structure has.
    for (const auto& count : {std::make_pair("Core Count", "CoreCount"), std::make_pair("Core Enabled", "CoreEnabled"),
                              std::make_pair("Thread Count", "ThreadCount")}) {
        auto decoded = cpu.values.find(count.first);
        std::string reported = Child(entry, count.second);
        if (decoded != cpu.values.end()) {
            EXPECT_EQ(decoded->second, reported) << count.first;
        } else {
            EXPECT_TRUE(reported == "0" || reported == "(missing)") << count.first << " " << reported;
        }
    }
}

void CompareArray(const std::string& entry, const SDecoded& array)
{
    EXPECT_EQ(HandleAsDecoded(Child(entry, "Handle")), array.Value("Error Information Handle"));
    EXPECT_TRUE(SameWords(array.Value("Location"), Child(entry, "Location"))) << Child(entry, "Location");
    EXPECT_TRUE(SameWords(array.Value("Use"), Child(entry, "Use"))) << Child(entry, "Use");
    EXPECT_EQ(array.Value("Error Correction Type"), Child(entry, "ErrorCorrection"));
    std::string capacity = Child(entry, "MaxCapacity");
    ASSERT_NE("(missing)", capacity);
    EXPECT_EQ(DecodedKilobytes(array.Value("Maximum Capacity")) >> 10, std::stoll(capacity));
    EXPECT_EQ(array.Value("Number Of Devices"), Child(entry, "NumberMemDevices"));
}

void CompareDevice(const std::string& entry, const SDecoded& dimm)
{
    EXPECT_EQ(dimm.nHandle, HandleOf(entry));
    EXPECT_EQ(dimm.Value("Array Handle"), Hex4(Child(entry, "ArrayHandle")));
    EXPECT_EQ(dimm.Value("Error Information Handle"), HandleAsDecoded(Child(entry, "ErrorHandle")));
    EXPECT_EQ(dimm.Value("Total Width"), WidthAsDecoded(Child(entry, "TotalWidth")));
    EXPECT_EQ(dimm.Value("Data Width"), WidthAsDecoded(Child(entry, "DataWidth")));
    EXPECT_EQ(DecodedKilobytes(dimm.Value("Size")), ReportedKilobytes(entry)) << dimm.Value("Size");
    EXPECT_EQ(dimm.Value("Form Factor"), NameAsDecoded(Child(entry, "FormFactor")));
    EXPECT_EQ(dimm.Value("Set"), DeviceSetAsDecoded(Child(entry, "DeviceSet")));
    EXPECT_EQ(dimm.Value("Locator"), StringValue(Child(entry, "DeviceLocator")));
    EXPECT_EQ(dimm.Value("Bank Locator"), StringValue(Child(entry, "BankLocator")));
    EXPECT_EQ(dimm.Value("Type"), NameAsDecoded(Child(entry, "MemoryType")));
    ExpectTypeDetail(dimm.Value("Type Detail"), Child(entry, "TypeDetail"));
    // For an empty slot dmidecode prints no speed.
    std::string speed = Child(entry, "Speed");
    if (speed != "(missing)" && dimm.Value("Size") != "No Module Installed") {
        EXPECT_EQ(dimm.Value("Speed"), speed == "0" ? "Unknown" : speed + " MT/s");
    }
}

// The report writes the slave address as the raw byte in hexadecimal; dmidecode the I2C address,
// the byte shifted right by one.
void CompareIpmi(const std::string& block, const SDecoded& ipmi)
{
    EXPECT_EQ(ipmi.Value("Interface Type"), IpmiInterfaceAsDecoded(Child(block, "Interface")));
    EXPECT_EQ(ipmi.Value("Specification Version"), Child(block, "Revision"));
    char szAddress[16];
    unsigned address = static_cast<unsigned>(std::stoul(Child(block, "SlaveAddress"), nullptr, 16));
    snprintf(szAddress, sizeof szAddress, "0x%02x", address >> 1);
    EXPECT_EQ(ipmi.Value("I2C Slave Address"), szAddress);
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
    EXPECT_EQ(bios.Value("Vendor"), StringValue(Child(biosBlock, "Vendor")));
    EXPECT_EQ(bios.Value("Release Date"), StringValue(Child(biosBlock, "Date")));
    EXPECT_EQ(Trim(bios.Value("Version")), Child(biosBlock, "Version"));

    CompareIdentity(testsupport::ElementText(smbios, "Type1"), *dump.OfType(1).at(0), true, dump.version);
    CompareIdentity(testsupport::ElementText(smbios, "Type2"), *dump.OfType(2).at(0), false, dump.version);

    std::vector<std::string> processors = Entries(testsupport::ElementText(smbios, "Type4"));
    ASSERT_EQ(dump.OfType(4).size(), processors.size());
    for (size_t i = 0; i < processors.size(); ++i) {
        SCOPED_TRACE("processor " + std::to_string(i));
        CompareProcessor(processors[i], *dump.OfType(4)[i]);
    }

    std::vector<std::string> arrays = Entries(testsupport::ElementText(smbios, "Type16"));
    ASSERT_EQ(dump.OfType(16).size(), arrays.size());
    for (size_t i = 0; i < arrays.size(); ++i) {
        SCOPED_TRACE("memory array " + std::to_string(i));
        CompareArray(arrays[i], *dump.OfType(16)[i]);
    }

    std::vector<std::string> devices = Entries(testsupport::ElementText(smbios, "Type17"));
    ASSERT_EQ(dump.OfType(17).size(), devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE("memory device " + std::to_string(i));
        CompareDevice(devices[i], *dump.OfType(17)[i]);
    }

    std::string ipmi = testsupport::ElementText(smbios, "Type38");
    ASSERT_EQ(dump.OfType(38).empty(), ipmi.empty());
    if (!ipmi.empty()) {
        CompareIpmi(ipmi, *dump.OfType(38).at(0));
    }
}

INSTANTIATE_TEST_SUITE_P(RealTables, SmbiosOracleTest,
                         ::testing::Values("Asus-UX307LA.bin", "Gigabyte-GA-MA74GMT-S2.bin",
                                           "Lenovo-ThinkPad-W510.bin", "MSI-MS-7816.bin", "Lenovo-ThinkPad-T480.bin",
                                           "Dell-PowerEdge-R640.bin", "Intel-S2600WTT.bin", "ASRock-Ryzen.bin",
                                           "Beelink-EQ12.bin"));
