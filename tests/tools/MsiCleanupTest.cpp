// The installer registration clean-up on lab hosts: packing, the product list, what a clean-up removes,
// its trace and the questions before it.
#include "src/tools/MsiCleanup.h"

#include "lab/host/Drives.h"
#include "tests/support/DefaultServer.h"
#include "tests/support/MsiDatabaseFile.h"
#include "tests/support/MsiRegistration.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using testsupport::MsiComponentRow;
using testsupport::MsiFeatureRow;

const char kAgentsCode[] = "{C8D76C36-5739-489D-BF03-9E58B3F89C09}";
const char kAgentsPacked[] = "63C67D8C9375D984FB30E9853B8FC990";
const char kInstaller[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
const char kUserData[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";

// The SNMP agents' package as the default profile registers it.
const std::vector<MsiFeatureRow> kAgentsFeatures = {
    {"Complete", "Quillmont SNMP Agents", {}},
    {"SnmpAgents",
     "SNMP agents",
     {{"AgentsDirectory", "{0F0FC553-4FC4-49B5-A8D7-146D155A577A}"},
      {"AgentsMibDirectory", "{0498B775-F94F-4872-9F25-1DFAC1ADBBB8}"}}},
    {"TraceTools", "Trace tools", {{"AgentsRegistry", "{52943A91-65ED-4014-AEED-A61C89628F19}"}}},
};

// Every key and value below hRoot\path, one line each ("key" or "key|value=data").
void Collect(HKEY hRoot, const std::string& path, std::set<std::string>& lines)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hRoot, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    lines.insert(path);
    for (DWORD i = 0;; ++i) {
        char szName[260];
        DWORD cchName = sizeof szName;
        BYTE data[1024];
        DWORD cbData = sizeof data;
        if (RegEnumValueA(hKey, i, szName, &cchName, nullptr, nullptr, data, &cbData) != ERROR_SUCCESS)
            break;
        std::string text(reinterpret_cast<char*>(data), cbData);
        if (!text.empty() && text.back() == '\0')
            text.pop_back();
        lines.insert(path + "|" + szName + "=" + text);
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        char szName[260];
        DWORD cchName = sizeof szName;
        if (RegEnumKeyExA(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(szName);
    }
    RegCloseKey(hKey);
    for (const std::string& child : children)
        Collect(hRoot, path + "\\" + child, lines);
}

// The installer's registration: HKCR\Installer and HKLM\...\Installer.
std::set<std::string> InstallerRegistry()
{
    std::set<std::string> lines;
    std::set<std::string> classes;
    Collect(HKEY_CLASSES_ROOT, "Installer", classes);
    for (const std::string& line : classes)
        lines.insert("HKCR\\" + line);
    Collect(HKEY_LOCAL_MACHINE, kInstaller, lines);
    return lines;
}

// Trace lines without the time and process that the trace puts before each.
std::string Untimed(const std::string& lines)
{
    static const std::regex prefix(R"(\[[^\]]*\] \[[^\]]*\] \(\d+\) Triagist: +)");
    return std::regex_replace(lines, prefix, "");
}

// What left the registry: the lines of before that after no longer has.
Lines Removed(const std::set<std::string>& before, const std::set<std::string>& after)
{
    Lines removed;
    for (const std::string& line : before)
        if (!after.count(line))
            removed.push_back(line);
    return removed;
}

// Everything the clean-up asked and showed, as "ask 0x24 [caption] text"; answers from a queue (Yes
// when it is empty); the database path it is given, or Cancel when that is empty.
class CRecordingView : public IMsiCleanupView {
public:
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        Record("ask", strText, strCaption, uStyle);
        if (m_Answers.empty())
            return IDYES;
        int nAnswer = m_Answers.front();
        m_Answers.pop_front();
        return nAnswer;
    }
    void Show(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        Record("show", strText, strCaption, uStyle);
    }
    bool ChooseDatabase(std::string& strPath) override
    {
        m_Events.push_back("choose");
        strPath = m_strPath;
        return !m_strPath.empty();
    }

    void Answer(std::initializer_list<int> answers) { m_Answers.insert(m_Answers.end(), answers); }
    void Pick(const std::string& strPath) { m_strPath = strPath; }
    const Lines& Events() const { return m_Events; }

private:
    void Record(const char* pszWhat, const std::string& strText, const std::string& strCaption, UINT uStyle)
    {
        char szStyle[16];
        std::snprintf(szStyle, sizeof szStyle, "0x%X", uStyle);
        m_Events.push_back(std::string(pszWhat) + " " + szStyle + " [" + strCaption + "] " + strText);
    }

    std::deque<int> m_Answers;
    std::string m_strPath;
    Lines m_Events;
};

class MsiCleanupTest : public ::testing::Test {
protected:
    explicit MsiCleanupTest(const std::string& strRegistry = "") : m_server(strRegistry) {}

    // A database written below the scratch directory; its Windows path.
    std::string Database(const std::string& name, const std::string& productCode,
                         const std::vector<MsiFeatureRow>& features)
    {
        std::string path = m_server.Profile().Scratch() + "/" + name;
        testsupport::WriteMsiDatabase(path, productCode, features);
        return lab::host::Drives::WindowsPath(path);
    }
    const MsiProductEntry* Find(const CMsiCleanup& cleanup, const std::string& code)
    {
        for (const MsiProductEntry& product : cleanup.Products())
            if (product.strCode == code)
                return &product;
        return nullptr;
    }

    testsupport::CDefaultServer m_server;
    // For the clean-up's parts that put nothing to the user.
    CRecordingView m_view;
};

}  // namespace

TEST(MsiPackGuidTest, PacksTheFiveGroupsAndRefusesAnythingElse)
{
    std::string packed = "unchanged";
    EXPECT_TRUE(PackGuid("{12345678-ABCD-EF01-2345-6789ABCDEF01}", packed));
    EXPECT_EQ(packed, "87654321DCBA10FE32547698BADCFE10");
    // Letters keep their case; the registry's names are compared without regard to it.
    EXPECT_TRUE(PackGuid("{c8d76c36-5739-489d-bf03-9e58b3f89c09}", packed));
    EXPECT_EQ(packed, "63c67d8c9375d984fb30e9853b8fc990");

    for (const char* pszBad : {"", "{}", "12345678", "{12345678-ABCD-EF01-2345}", "{1-2-3-4-5-6}", "---"}) {
        packed = "unchanged";
        EXPECT_FALSE(PackGuid(pszBad, packed)) << pszBad;
        EXPECT_EQ(packed, "unchanged") << pszBad;
    }
}

TEST_F(MsiCleanupTest, ListsTheInstalledProductsWithTheirFeaturesTitledFromTheCachedPackage)
{
    CRecordingView view;
    CMsiCleanup cleanup(view);
    cleanup.ListProducts();
    EXPECT_EQ(cleanup.Products().size(), 4u);
    const MsiProductEntry* pAgents = Find(cleanup, kAgentsCode);
    ASSERT_NE(pAgents, nullptr);
    EXPECT_EQ(pAgents->strName, "Quillmont SNMP Agents");
    ASSERT_EQ(pAgents->features.size(), 3u);
    EXPECT_EQ(pAgents->features[0].strName, "Complete");
    EXPECT_EQ(pAgents->features[0].strParent, "");
    EXPECT_EQ(pAgents->features[2].strName, "TraceTools");
    EXPECT_EQ(pAgents->features[2].strParent, "Complete");
    // Without its cached package a feature's title is its name.
    EXPECT_EQ(pAgents->features[2].strTitle, "TraceTools");
    EXPECT_TRUE(view.Events().empty());

    std::string path = m_server.Profile().Dir() + "/drive_c/Windows/Installer";
    std::filesystem::create_directories(path);
    testsupport::WriteMsiDatabase(path + "/3f9a2c.msi", kAgentsCode, kAgentsFeatures);
    CMsiCleanup cached(m_view);
    cached.ListProducts();
    pAgents = Find(cached, kAgentsCode);
    ASSERT_NE(pAgents, nullptr);
    ASSERT_EQ(pAgents->features.size(), 3u);
    EXPECT_EQ(pAgents->features[1].strTitle, "SNMP agents");
    EXPECT_EQ(pAgents->features[2].strTitle, "Trace tools");
}

TEST_F(MsiCleanupTest, RemovesExactlyTheProductsRegistrationAndTracesEachRemoval)
{
    std::string path = Database("agents.msi", kAgentsCode, kAgentsFeatures);
    CTraceFile trace(m_server.Profile().Scratch() + "/trace.log", 2);
    std::set<std::string> before = InstallerRegistry();
    EXPECT_EQ(CMsiCleanup(m_view).CleanRegistration(path.c_str()), 1u);
    std::set<std::string> after = InstallerRegistry();

    const std::string p = kAgentsPacked;
    const std::string components = std::string(kUserData) + "\\S-1-5-18\\Components\\";
    const std::string product = std::string(kUserData) + "\\S-1-5-18\\Products\\" + p;
    Lines expected = {
        "HKCR\\Installer\\Features\\" + p,
        "HKCR\\Installer\\Features\\" + p + "|Complete=",
        "HKCR\\Installer\\Features\\" + p + "|SnmpAgents=Complete",
        "HKCR\\Installer\\Features\\" + p + "|TraceTools=Complete",
        "HKCR\\Installer\\Products\\" + p,
        "HKCR\\Installer\\Products\\" + p + "\\SourceList",
        "HKCR\\Installer\\Products\\" + p + "\\SourceList\\Net",
    };
    Lines removed = Removed(before, after);
    for (const std::string& line : expected)
        EXPECT_NE(std::find(removed.begin(), removed.end(), line), removed.end()) << line;
    // Beyond those: the advertised data's values, the component values, the upgrade codes' values and
    // the installation's key; nothing of another product and nothing added.
    for (const std::string& line : removed) {
        bool bAdvertised = line.rfind("HKCR\\Installer\\Products\\" + p, 0) == 0 ||
                           line.rfind("HKCR\\Installer\\Features\\" + p, 0) == 0;
        bool bComponent = line.rfind(components, 0) == 0 && line.find("|" + p + "=") != std::string::npos;
        bool bUpgrade = line.find("UpgradeCodes\\89A6050C72C9A6B4A941C09C897370D1|" + p + "=") != std::string::npos;
        bool bInstalled = line.rfind(product, 0) == 0;
        EXPECT_TRUE(bAdvertised || bComponent || bUpgrade || bInstalled) << line;
    }
    EXPECT_EQ(std::count_if(removed.begin(), removed.end(),
                            [&](const std::string& line) { return line.rfind(components, 0) == 0; }),
              3);
    EXPECT_EQ(std::count_if(removed.begin(), removed.end(),
                            [&](const std::string& line) { return line.find("UpgradeCodes") != std::string::npos; }),
              2);
    EXPECT_TRUE(before.count(product + "\\InstallProperties"));
    EXPECT_FALSE(after.count(product));
    EXPECT_TRUE(after.count(components + "355CF0F04CF45B948A7D41D651A575A7"));  // the key itself stays
    EXPECT_TRUE(Removed(after, before).empty());  // nothing added

    const std::string userData =
        " in one of the subkeys of SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
    EXPECT_EQ(Untimed(trace.Take()),
              "\nRemove HKCR registration for feature Complete in \"Installer\\Features\\" + p + "\"" +
                  "\nRemove MSI component \"355CF0F04CF45B948A7D41D651A575A7\"" + userData +
                  "\nRemove MSI component \"577B8940F49F2784F952D1AF1CDABB8B\"" + userData +
                  "\nRemove HKCR registration for feature SnmpAgents in \"Installer\\Features\\" + p + "\"" +
                  "\nRemove MSI component \"19A34925DE564104EADE6AC19826F891\"" + userData +
                  "\nRemove HKCR registration for feature TraceTools in \"Installer\\Features\\" + p + "\"" +
                  "\nRemove MSI feature HKCR key \"Installer\\Features\\" + p + "\"" +
                  "\nRemove MSI procuct HKCR key \"Installer\\Products\\" + p + "\"" +
                  "\nRemove MSI upgrade code HKCR key \"Installer\\UpgradeCodes\\89A6050C72C9A6B4A941C09C897370D1\\" +
                  p + "\"" + "\nRemove MSI upgrade code \"" + p + "\" in key \"" + kInstaller +
                  "\\UpgradeCodes\\89A6050C72C9A6B4A941C09C897370D1\"" + "\nRemove MSI product code \"" + p + "\"" +
                  userData);

    // The product is gone from the installer's list; a second run finds nothing left to remove.
    CMsiCleanup again(m_view);
    again.ListProducts();
    EXPECT_EQ(Find(again, kAgentsCode), nullptr);
    EXPECT_EQ(again.Products().size(), 3u);
    EXPECT_EQ(again.CleanRegistration(path.c_str()), 1u);
    EXPECT_EQ(InstallerRegistry(), after);
    // Only the parents of the keys already gone still open.
    EXPECT_EQ(Untimed(trace.Take()), "\nRemove MSI feature HKCR key \"Installer\\Features\\" + p + "\"" +
                                         "\nRemove MSI procuct HKCR key \"Installer\\Products\\" + p + "\"");
}

TEST_F(MsiCleanupTest, AProductWhoseFeaturesAreGoneStillLosesItsOtherKeys)
{
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("Installer\\Features\\") + kAgentsPacked).c_str()),
              ERROR_SUCCESS);
    std::string path = Database("agents.msi", kAgentsCode, kAgentsFeatures);
    CTraceFile trace(m_server.Profile().Scratch() + "/trace.log", 2);
    std::set<std::string> before = InstallerRegistry();
    EXPECT_EQ(CMsiCleanup(m_view).CleanRegistration(path.c_str()), 1u);
    std::set<std::string> after = InstallerRegistry();
    std::string text = Untimed(trace.Take());
    EXPECT_EQ(text.find("Remove MSI component"), std::string::npos) << text;
    EXPECT_EQ(text.find("Remove HKCR registration for feature"), std::string::npos) << text;
    EXPECT_NE(text.find("Remove MSI procuct HKCR key"), std::string::npos) << text;
    EXPECT_NE(text.find("Remove MSI product code"), std::string::npos) << text;
    EXPECT_FALSE(after.count(std::string("HKCR\\Installer\\Products\\") + kAgentsPacked));
    EXPECT_FALSE(after.count(std::string(kUserData) + "\\S-1-5-18\\Products\\" + kAgentsPacked));
    for (const std::string& line : after)
        EXPECT_EQ(line.find(std::string("UpgradeCodes\\89A6050C72C9A6B4A941C09C897370D1|")), std::string::npos);
    // The components, which only the features lead to, keep their entries.
    EXPECT_TRUE(after.count(std::string(kUserData) + "\\S-1-5-18\\Components\\355CF0F04CF45B948A7D41D651A575A7|" +
                            kAgentsPacked + "=C:\\Program Files\\Quillmont\\Agents\\"));
}

TEST_F(MsiCleanupTest, ADatabaseWithoutProductCodeRemovesNothing)
{
    std::string path = Database("nocode.msi", "", kAgentsFeatures);
    std::set<std::string> before = InstallerRegistry();
    EXPECT_EQ(CMsiCleanup(m_view).CleanRegistration(path.c_str()), 1u);
    EXPECT_EQ(InstallerRegistry(), before);
    EXPECT_EQ(CMsiCleanup(m_view).CleanRegistration("C:\\Missing\\agents.msi"), 0u);
}

class MsiCleanupVariantTest : public MsiCleanupTest {
protected:
    static std::string Registry()
    {
        testsupport::MsiProduct product;
        product.code = kLoneCode;
        product.name = "Lone Tool";
        product.version = "1.0.5";
        product.publisher = "Marrowby";
        product.installDate = "20260101";
        // A component the SNMP agents share, and a feature of its own; no upgrade code.
        std::string packed = testsupport::PackedCode(kLoneCode);
        return testsupport::MsiRegistration(product) + "[HKEY_CLASSES_ROOT\\Installer\\Features\\" + packed +
               "]\r\n\"Main\"=\"\"\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
               "Components\\355CF0F04CF45B948A7D41D651A575A7]\r\n\"" +
               packed + "\"=\"C:\\\\Lone\\\\\"\r\n\r\n";
    }
    MsiCleanupVariantTest() : MsiCleanupTest(Registry()) {}

    static constexpr const char* kLoneCode = "{5E4A3B2C-1D0E-4F9A-8B7C-6D5E4F3A2B1C}";
};

TEST_F(MsiCleanupVariantTest, AProductWithoutUpgradeCodesLeavesTheSharedComponentToTheOther)
{
    std::string packed = testsupport::PackedCode(kLoneCode);
    std::string path = Database("lone.msi", kLoneCode,
                                {{"Main", "Main", {{"SharedDirectory", "{0F0FC553-4FC4-49B5-A8D7-146D155A577A}"}}}});
    CTraceFile trace(m_server.Profile().Scratch() + "/trace.log", 2);
    std::set<std::string> before = InstallerRegistry();
    EXPECT_EQ(CMsiCleanup(m_view).CleanRegistration(path.c_str()), 1u);
    std::set<std::string> after = InstallerRegistry();
    std::string text = Untimed(trace.Take());
    EXPECT_NE(text.find("Remove MSI product code"), std::string::npos) << text;
    EXPECT_EQ(text.find("upgrade code"), std::string::npos) << text;
    const std::string component =
        std::string(kUserData) + "\\S-1-5-18\\Components\\355CF0F04CF45B948A7D41D651A575A7|";
    Lines removed = Removed(before, after);
    EXPECT_NE(std::find(removed.begin(), removed.end(), component + packed + "=C:\\Lone\\"),
              removed.end());
    for (const std::string& line : removed)
        EXPECT_NE(line.find(packed), std::string::npos) << line;
    EXPECT_EQ(std::count_if(after.begin(), after.end(),
                            [&](const std::string& line) { return line.rfind(component + kAgentsPacked, 0) == 0; }),
              1);
}

TEST_F(MsiCleanupTest, CleanAsksChecksTheDatabaseAndOnlyThenRemoves)
{
    CRecordingView view;
    CMsiCleanup cleanup(view);
    cleanup.ListProducts();
    const MsiProductEntry* pAgents = Find(cleanup, kAgentsCode);
    ASSERT_NE(pAgents, nullptr);
    const std::string question = "ask 0x24 [Triagist] Remove registration for \"Quillmont SNMP Agents\" from system?";
    const std::string sure = "ask 0x24 [] Are you sure to remove the component registration?";
    std::set<std::string> before = InstallerRegistry();

    view.Answer({IDNO});
    cleanup.Clean(*pAgents);
    EXPECT_EQ(view.Events(), Lines({question}));

    view.Pick("");  // Cancel in the file dialog
    cleanup.Clean(*pAgents);
    EXPECT_EQ(view.Events(), Lines({question, question, "choose"}));

    view.Pick("C:\\Missing\\agents.msi");
    cleanup.Clean(*pAgents);
    EXPECT_EQ(view.Events().back(), "show 0x30 [Error!] Could not open istaller database");

    view.Pick(Database("other.msi", "{5E4A3B2C-1D0E-4F9A-8B7C-6D5E4F3A2B1C}", kAgentsFeatures));
    cleanup.Clean(*pAgents);
    EXPECT_EQ(view.Events().back(),
              "show 0x30 [Error] The selected installer database does not match the product code?");

    // The same code in lower case is the product's; No to the last question still keeps everything.
    view.Pick(Database("agents.msi", "{c8d76c36-5739-489d-bf03-9e58b3f89c09}", kAgentsFeatures));
    view.Answer({IDYES, IDNO});
    cleanup.Clean(*pAgents);
    EXPECT_EQ(view.Events().back(), sure);
    EXPECT_EQ(InstallerRegistry(), before);

    size_t asked = view.Events().size();
    cleanup.Clean(*pAgents);
    EXPECT_EQ(Lines(view.Events().begin() + asked, view.Events().end()), Lines({question, "choose", sure}));
    std::set<std::string> after = InstallerRegistry();
    EXPECT_FALSE(after.count(std::string("HKCR\\Installer\\Products\\") + kAgentsPacked));
}
