// The installed program's installer registration clean-up on the console, on a variant of the sample server.
#include "tests/e2e/DistShell.h"
#include "tests/support/MsiDatabaseFile.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <string>

using namespace e2e;

namespace {

class MsiCleanupProgramTest : public ::testing::Test {
protected:
    MsiCleanupProgramTest()
    {
        // Both questions answered Yes, as a user at the dialog would.
        Variant(m_root + "/profile", "[MessageBox]\nAnswers=Yes, Yes\n");
    }

    // The program with input on its standard input; its exit code, its output in Output().
    int Run(const std::string& input)
    {
        testsupport::WriteText(m_root + "/in.txt", input);
        return Shell(InLab(kDist, m_root + "/profile", m_root + "/state") + "./triagist -MSI <'" + m_root +
                     "/in.txt' >'" + m_root + "/out.txt' 2>/dev/null");
    }
    std::string Output() const { return testsupport::ReadText(m_root + "/out.txt"); }

    CScratchDir m_scratch{"triagist-msi"};
    const std::string m_root = m_scratch.Path();
};

}  // namespace

TEST_F(MsiCleanupProgramTest, CleansTheChosenProductAndEndsAsExit)
{
    testsupport::WriteMsiDatabase(m_root + "/agents.msi", "{C8D76C36-5739-489D-BF03-9E58B3F89C09}",
                                  {{"SnmpAgents",
                                    "SNMP agents",
                                    {{"AgentsDirectory", "{0F0FC553-4FC4-49B5-A8D7-146D155A577A}"}}}});
    const std::string agents = "4) Quillmont SNMP Agents {C8D76C36-5739-489D-BF03-9E58B3F89C09}\n"
                               "     Complete (Complete)\n     SnmpAgents (SnmpAgents)\n     TraceTools (TraceTools)\n";

    // Nothing chosen: the list, and the end code of Exit.
    EXPECT_EQ(Run(""), 1);
    std::string text = Output();
    EXPECT_EQ(text.find("1) Cobaltline Backup Agent {A0D02293-39A6-420A-A0ED-8D7894FDD7C0}\n"), 0u) << text;
    EXPECT_NE(text.find(agents), std::string::npos) << text;

    EXPECT_EQ(Run("4\n" + m_root + "/agents.msi\n"), 1);
    // The registration is gone for good: the next run lists three products.
    EXPECT_EQ(Run("\n"), 1);
    text = Output();
    EXPECT_EQ(text.find("Quillmont SNMP Agents"), std::string::npos) << text;
    EXPECT_NE(text.find("3) Quillmont Ravelin Base Service"), std::string::npos) << text;
    EXPECT_EQ(text.find("4)"), std::string::npos) << text;
}
