// What each trace line stands on in the lab: CreateFileA's dispositions (what each reports for a file that is
// or is not there, and for a directory) and the named mutex's note of an owner that ended without releasing.
#include "lab/host/Drives.h"
#include "tests/lab/LabTestSupport.h"

#include <sys/stat.h>

using namespace labtest;

namespace {

std::string Windows(const std::string& hostPath)
{
    return lab::host::Drives::WindowsPath(hostPath);
}

// Opens with the disposition; on success closes again and returns ERROR_SUCCESS or the error it reported.
DWORD OpenResult(const std::string& path, DWORD dwAccess, DWORD dwDisposition, bool& bOpened)
{
    HANDLE h = CreateFileA(Windows(path).c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, dwDisposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD dwError = GetLastError();
    bOpened = h != INVALID_HANDLE_VALUE;
    if (bOpened)
        CloseHandle(h);
    return dwError;
}

void Append(const std::string& path, const char* pszText)
{
    HANDLE h = CreateFileA(Windows(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD cbWritten = 0;
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);  // an append-only handle writes at the end whatever it says
    EXPECT_TRUE(WriteFile(h, pszText, static_cast<DWORD>(std::strlen(pszText)), &cbWritten, nullptr));
    CloseHandle(h);
}

}  // namespace

TEST(LabCreateFile, AlwaysDispositionsTellWhetherTheFileWasThere)
{
    ScratchDir dir;
    bool bOpened = false;
    std::string log = dir.File("trace.txt");

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), OpenResult(log, FILE_APPEND_DATA, OPEN_ALWAYS, bOpened));
    EXPECT_TRUE(bOpened);
    EXPECT_TRUE(Exists(log));
    Append(log, "one ");
    Append(log, "two");
    EXPECT_EQ("one two", testsupport::ReadText(log));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), OpenResult(log, FILE_APPEND_DATA, OPEN_ALWAYS, bOpened));
    EXPECT_EQ("one two", testsupport::ReadText(log));  // opening never truncates

    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), OpenResult(log, GENERIC_WRITE, CREATE_ALWAYS, bOpened));
    EXPECT_TRUE(bOpened);
    EXPECT_EQ("", testsupport::ReadText(log));
    std::string fresh = dir.File("fresh.txt");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), OpenResult(fresh, GENERIC_WRITE, CREATE_ALWAYS, bOpened));
    EXPECT_TRUE(Exists(fresh));

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), OpenResult(log, GENERIC_WRITE, CREATE_NEW, bOpened));
    EXPECT_FALSE(bOpened);
}

TEST(LabCreateFile, MissingFilesAndDirectories)
{
    ScratchDir dir;
    bool bOpened = true;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              OpenResult(dir.File("none.txt"), GENERIC_READ, OPEN_EXISTING, bOpened));
    EXPECT_FALSE(bOpened);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
              OpenResult(dir.File("no/such.txt"), FILE_APPEND_DATA, OPEN_ALWAYS, bOpened));
    EXPECT_FALSE(bOpened);
    EXPECT_FALSE(Exists(dir.File("no")));

    // A directory is no file, however it is asked for.
    ASSERT_EQ(0, mkdir(dir.File("sub").c_str(), 0755));
    for (DWORD dwDisposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_NEW, CREATE_ALWAYS}) {
        for (DWORD dwAccess : {static_cast<DWORD>(GENERIC_READ), static_cast<DWORD>(FILE_APPEND_DATA)}) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenResult(dir.File("sub"), dwAccess, dwDisposition, bOpened))
                << dwDisposition << " " << dwAccess;
            EXPECT_FALSE(bOpened);
        }
    }
}

// A process that owned a named mutex was killed and nobody else had it open: whoever creates the name
// next gets a new mutex, not the dead owner's abandoned one. While another process still has it open, the
// dead owner's mutex is abandoned for the next wait only.
TEST(LabNamedMutex, DeadOwnersNoteEndsWithTheObject)
{
    for (bool bKeptOpen : {false, true}) {
        SCOPED_TRACE(bKeptOpen ? "kept open" : "nobody else had it open");
        std::string name = UniqueName("owner-note");
        HANDLE hKept = bKeptOpen ? CreateMutexA(nullptr, FALSE, name.c_str()) : nullptr;
        ScratchDir dir;
        std::string ready = dir.File("ready");
        std::string tool = ToolPath("LabHoldMutex");
        Started holder;
        Start(holder, tool, Quoted(tool) + " " + Quoted(name) + " infinite " + Quoted(ready) + " " +
                                Quoted(dir.File("release")));
        ASSERT_TRUE(holder.bOk) << holder.dwError;
        ASSERT_EQ("0", AwaitFile(ready));
        ASSERT_TRUE(TerminateProcess(holder.pi.hProcess, 9));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder.pi.hProcess, 30000));

        HANDLE hMutex = CreateMutexA(nullptr, FALSE, name.c_str());
        ASSERT_NE(nullptr, hMutex);
        EXPECT_EQ(bKeptOpen ? static_cast<DWORD>(WAIT_ABANDONED) : WAIT_OBJECT_0, WaitForSingleObject(hMutex, 30000));
        EXPECT_TRUE(ReleaseMutex(hMutex));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));  // a clean release leaves no note
        EXPECT_TRUE(ReleaseMutex(hMutex));
        CloseHandle(hMutex);
        if (hKept)
            CloseHandle(hKept);
    }
}
