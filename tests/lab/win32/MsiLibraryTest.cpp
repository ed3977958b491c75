// The lab's Windows Installer loads msitools' library when a database is first opened, not at start.
#include "tests/lab/LabTestSupport.h"

#include "lab/host/Drives.h"
#include "tests/support/MsiDatabaseFile.h"

#include <cstdlib>
#include <string>

using namespace labtest;

TEST(LabMsiLibrary, LoadedOnTheFirstDatabaseOpened)
{
    ScratchDir dir;
    const std::string database = dir.File("tool.msi");
    testsupport::WriteMsiDatabase(database, "{5B1E0C7A-3D2F-4A68-9C41-7E0B2D6F8A13}",
                                  {{"Main", "Lone Tool", {{"ToolExe", "{7D0C2A41-9E5B-4F36-8A17-C3B2E6D4F501}"}}}});
    const std::string out = dir.File("stdout");
    const std::string command = Quoted(ToolPath("LabMsiProbe")) + " " +
                                Quoted(lab::host::Drives::WindowsPath(database)) + " >" + Quoted(out);
    ASSERT_EQ(0, std::system(command.c_str()));
    const std::string text = testsupport::ReadText(out);
    EXPECT_NE(std::string::npos, text.find("start: absent\n")) << text;
    EXPECT_NE(std::string::npos, text.find("): absent\ndatabase (0): loaded\n")) << text;
}
