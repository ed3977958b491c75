// The lab's FormatMessageA over message tables of real PE files, LoadLibraryExA as data file, and LocalAlloc/LocalFree.
#include "tests/lab/PeFixtures.h"

#include "lab/host/PeImage.h"
#include "lab/win32/ImageFiles.h"
#include "lab/win32/MessageControl.h"
#include "tests/support/TempProfile.h"

#include <cstring>

using namespace labtest;

namespace {

struct DataFile {
    explicit DataFile(const std::string& path, DWORD dwFlags = LOAD_LIBRARY_AS_DATAFILE)
        : h(LoadLibraryExA(path.c_str(), nullptr, dwFlags)), dwError(GetLastError())
    {
    }
    ~DataFile()
    {
        if (h)
            FreeLibrary(h);
    }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
    HMODULE h;
    DWORD dwError;
};

std::vector<DWORD_PTR> Args(std::initializer_list<const char*> texts)
{
    std::vector<DWORD_PTR> args;
    for (const char* text : texts)
        args.push_back(reinterpret_cast<DWORD_PTR>(text));
    return args;
}

// FormatMessageA as the event log scan calls it: an allocated buffer, inserts from an array. A
// failure comes back as "<error N>".
std::string Format(DWORD dwFlags, LPCVOID pSource, DWORD dwId, DWORD dwLanguage, std::vector<DWORD_PTR> args = {})
{
    LPSTR pszMessage = reinterpret_cast<LPSTR>(static_cast<uintptr_t>(0x1));
    SetLastError(0xBAD);
    DWORD dwArgFlag = args.empty() ? 0 : FORMAT_MESSAGE_ARGUMENT_ARRAY;
    DWORD n = FormatMessageA(dwFlags | FORMAT_MESSAGE_ALLOCATE_BUFFER | dwArgFlag, pSource, dwId, dwLanguage,
                             reinterpret_cast<LPSTR>(&pszMessage), 0,
                             args.empty() ? nullptr : reinterpret_cast<va_list*>(args.data()));
    if (n == 0) {
        EXPECT_EQ(nullptr, pszMessage);
        return "<error " + std::to_string(GetLastError()) + ">";
    }
    std::string text(pszMessage);
    EXPECT_EQ(n, text.size());
    EXPECT_EQ(nullptr, LocalFree(pszMessage));
    return text;
}

std::string FormatV(const char* pszFormat, ...)
{
    char szBuffer[128];
    va_list args;
    va_start(args, pszFormat);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, pszFormat, 0, 0, szBuffer, sizeof szBuffer, &args);
    va_end(args);
    return n ? std::string(szBuffer, n) : "<error " + std::to_string(GetLastError()) + ">";
}

// Back to the thread locale the profile gave, whatever a test set.
struct ThreadLocale {
    explicit ThreadLocale(LCID lcid) : m_previous(GetThreadLocale()) { SetThreadLocale(lcid); }
    ~ThreadLocale() { SetThreadLocale(m_previous); }
    LCID m_previous;
};

const DWORD kFromModule = FORMAT_MESSAGE_FROM_HMODULE;

}  // namespace

TEST(LabMessage, ProfileMessageFilesExpandTheEventRecords)
{
    DefaultProfileHost host;
    const size_t modulesBefore = lab::win32::DataModuleCount();
    const size_t blocksBefore = lab::win32::LocalAllocationCount();
    {
        // As the registry names them; "%SystemRoot%" comes from the server's environment.
        char szPath[MAX_PATH];
        ASSERT_LT(ExpandEnvironmentStringsA("%SystemRoot%\\system32\\services.exe", szPath, MAX_PATH), 260u);
        DataFile scm(szPath);
        DataFile snmp("C:\\Windows\\system32\\snmp.exe");
        DataFile events("C:\\Program Files\\Quillmont\\Ravelin\\Bin\\RvEvents.dll");
        ASSERT_NE(nullptr, scm.h) << scm.dwError;
        ASSERT_NE(nullptr, snmp.h) << snmp.dwError;
        ASSERT_NE(nullptr, events.h) << events.dwError;
        EXPECT_EQ(1u, reinterpret_cast<uintptr_t>(events.h) & 3);  // the mark of a data file
        EXPECT_EQ(modulesBefore + 3, lab::win32::DataModuleCount());

        const DWORD dwFlags = 0x2900;  // allocate, argument array, from the module
        EXPECT_EQ("The module RvRemote could not be loaded (error 126).\r\n\r\n",
                  Format(dwFlags, events.h, 0xC0000064, 0x400, Args({"RvRemote", "126"})));
        EXPECT_EQ("The SNMP Service service failed to start due to the following error: \r\n"
                  "The system cannot find the file specified.\r\n\r\n",
                  Format(dwFlags, scm.h, 0xC0001B58, 0x400,
                         Args({"SNMP Service", "The system cannot find the file specified.\r\n"})));
        EXPECT_EQ("The SNMP Service has started successfully.\r\n\r\n", Format(kFromModule, snmp.h, 0x400003E9, 0));

        // The tables hold whole identifiers, severity bits included.
        EXPECT_EQ("<error 317>", Format(dwFlags, events.h, 0x64, 0x400, Args({"x", "y"})));
        EXPECT_EQ("<error 317>", Format(dwFlags, events.h, 0xC0000068, 0x400, Args({"x", "y"})));
    }
    EXPECT_EQ(modulesBefore, lab::win32::DataModuleCount());
    EXPECT_EQ(blocksBefore, lab::win32::LocalAllocationCount());
}

TEST(LabMessage, LanguagesAreSearchedAsDocumented)
{
    CTempProfile profile("", "[System]\nLocale=1033\n");
    DataFile messages(Fixture("Messages.dll"));
    ASSERT_NE(nullptr, messages.h) << messages.dwError;
    ThreadLocale german(0x0407);

    EXPECT_EQ("A plain message.\r\n\r\n", Format(kFromModule, messages.h, 1, 0x0409));
    EXPECT_EQ("Eine einfache Meldung.\r\n\r\n", Format(kFromModule, messages.h, 1, 0x0407));
    EXPECT_EQ("<error 1815>", Format(kFromModule, messages.h, 1, 0x040C));
    // Neutral: the thread's language before the server's; user default: the server's first.
    EXPECT_EQ("Eine einfache Meldung.\r\n\r\n", Format(kFromModule, messages.h, 1, 0));
    EXPECT_EQ("A plain message.\r\n\r\n", Format(kFromModule, messages.h, 1, LANG_USER_DEFAULT));

    // A message only the German table has: any neutral search ends there, English alone does not.
    SetThreadLocale(0x0409);
    EXPECT_EQ("Nur auf Deutsch.\r\n\r\n", Format(kFromModule, messages.h, 7, 0));
    EXPECT_EQ("<error 317>", Format(kFromModule, messages.h, 7, 0x0409));
    EXPECT_EQ("<error 317>", Format(kFromModule, messages.h, 0x99, 0));

    // A table in 8-bit text reads the same; ids of a second block are found too.
    DataFile ansi(Fixture("MessagesAnsi.dll"));
    ASSERT_NE(nullptr, ansi.h) << ansi.dwError;
    EXPECT_EQ("Second block, error 5.\r\n\r\n", Format(kFromModule, ansi.h, 0xC0000100, 0x409, Args({"5"})));
    EXPECT_EQ("Zweiter Block, Fehler 5.\r\n\r\n", Format(kFromModule, messages.h, 0xC0000100, 0x407, Args({"5"})));
}

TEST(LabMessage, InsertsAndEscapesAreWorkedOut)
{
    DataFile messages(Fixture("Messages.dll"));
    ASSERT_NE(nullptr, messages.h) << messages.dwError;

    EXPECT_EQ("Inserts A and B, then A again.\r\n", Format(kFromModule, messages.h, 2, 0x409, Args({"A", "B"})));
    std::vector<DWORD_PTR> mixed = {42, reinterpret_cast<DWORD_PTR>("ab"), 0xBEEF,
                                    reinterpret_cast<DWORD_PTR>("abcdef"),
                                    'x', 0xFFFFFFFF, 4, reinterpret_cast<DWORD_PTR>("z")};
    EXPECT_EQ("[   42] [ab    ] [BEEF] [abc] [x] [4294967295] [   z]",
              Format(kFromModule, messages.h, 3, 0x409, mixed));
    EXPECT_EQ("100% sure. Bang!\tTab\rReturnbEnd", Format(kFromModule, messages.h, 4, 0x409));

    // Ignored inserts stay as written, format and all; the escapes are still worked out.
    const DWORD dwIgnore = kFromModule | FORMAT_MESSAGE_IGNORE_INSERTS;
    EXPECT_EQ("Inserts %1 and %2, then %1 again.\r\n", Format(dwIgnore, messages.h, 2, 0x409));
    EXPECT_EQ("[%1!5d!] [%2!-6s!] [%3!04X!] [%4!.3s!] [%5!c!] [%6!u!] [%7!*s!]",
              Format(dwIgnore, messages.h, 3, 0x409));
    EXPECT_EQ("100% sure. Bang!\tTab\rReturnbEnd", Format(dwIgnore, messages.h, 4, 0x409));

    // Two digits at most, an unclosed format is none, a lone sign at the end is dropped.
    auto letters = Args({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"});
    EXPECT_EQ("b-a%1 j0\r\nkx! 50", Format(FORMAT_MESSAGE_FROM_STRING, "%2-%1!s!%%1 %100%n%11x%! 50%", 0, 0, letters));
    EXPECT_EQ("a! and a", Format(FORMAT_MESSAGE_FROM_STRING, "%1! and %1", 0, 0, letters));
    EXPECT_EQ("[%1!y!]", Format(FORMAT_MESSAGE_FROM_STRING, "[%1!y!]", 0, 0, letters));
    // Inserts without arguments are refused; a text without inserts needs none.
    EXPECT_EQ("<error 87>", Format(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0));
    EXPECT_EQ("no inserts\r\n", Format(FORMAT_MESSAGE_FROM_STRING, "no inserts%n", 0, 0));

    // Through a va_list each argument is one machine word, whatever the insert's number.
    EXPECT_EQ("text before 7", FormatV("%2!s! before %1!d!", 7, "text"));
    EXPECT_EQ("1099511627776 -5 (null)", FormatV("%1!I64u! %2!d! %3", 1ull << 40, -5, static_cast<char*>(nullptr)));
}

TEST(LabMessage, InsertFormatsTakeWindowsSizesAndStarFields)
{
    auto format = [](const char* pszText, std::vector<DWORD_PTR> args) {
        return Format(FORMAT_MESSAGE_FROM_STRING, pszText, 0, 0, std::move(args));
    };
    const DWORD_PTR minusTwo = static_cast<DWORD_PTR>(-2);
    const DWORD_PTR big = 0x123456789ull;

    // Integers: 32 bits unless I64, ll or I say 64; h cuts to 16; l is no wider than the plain size.
    EXPECT_EQ("-2 -2 -2 4294967294", format("%1!d! %1!I64d! %1!lld! %1!u!", {minusTwo}));
    EXPECT_EQ("23456789 23456789 123456789 123456789", format("%1!I32x! %1!lx! %1!Ix! %1!llX!", {big}));
    EXPECT_EQ("-32768 65535", format("%1!hd! %2!hu!", {0x18000, 0x1FFFF}));
    EXPECT_EQ("+5 0xff 0377", format("%1!+d! %2!#x! %2!#o!", {5, 255}));
    EXPECT_EQ("0000000000001234", format("%1!p!", {0x1234}));

    // Wide text and characters come out in the ANSI code page.
    static const char16_t wide[] = u"wide\u00e9";
    const DWORD_PTR pWide = reinterpret_cast<DWORD_PTR>(wide);
    EXPECT_EQ("wide\xE9 wide\xE9 [  wide\xE9]", format("%1!ws! %1!S! [%1!7ls!]", {pWide}));
    EXPECT_EQ("A A \xE9 b", format("%1!C! %1!lc! %2!wc! %3!c!", {0x41, 0xE9, 'b'}));
    EXPECT_EQ("(null) (null)", format("%1!s! %1!ws!", {0}));

    // Star fields take the next arguments; a negative width aligns left, a negative precision is none.
    auto text = reinterpret_cast<DWORD_PTR>("abcdef");
    EXPECT_EQ("[    ab]", format("[%1!*.*s!]", {6, 2, text}));
    EXPECT_EQ("[abc   ]", format("[%1!*.3s!]", {static_cast<DWORD_PTR>(-6), text}));
    EXPECT_EQ("[abcdef]", format("[%1!.*s!]", {static_cast<DWORD_PTR>(-1), text}));

    // A format that is not whole printf stays as written.
    EXPECT_EQ("%1!dd! %1!5! %1!I64!", format("%1!dd! %1!5! %1!I64!", {1}));
}

TEST(LabMessage, BuffersSourcesAndErrors)
{
    const size_t blocksBefore = lab::win32::LocalAllocationCount();
    char szBuffer[32];
    EXPECT_EQ(19u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, szBuffer, 20, nullptr));
    EXPECT_STREQ("Access is denied.\r\n", szBuffer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, szBuffer, 19, nullptr)));

    // An allocated buffer is at least as large as asked for, and goes back with LocalFree, once.
    LPSTR pszMessage = nullptr;
    ASSERT_EQ(19u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                                  reinterpret_cast<LPSTR>(&pszMessage), 4096, nullptr));
    std::memset(pszMessage, 'x', 4096);
    EXPECT_EQ(blocksBefore + 1, lab::win32::LocalAllocationCount());
    EXPECT_EQ(nullptr, LocalFree(pszMessage));
    EXPECT_EQ(static_cast<HLOCAL>(pszMessage), LocalFree(pszMessage));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, LocalFree(nullptr));
    auto* pZeroed = static_cast<uint8_t*>(LocalAlloc(LPTR, 16));
    ASSERT_NE(nullptr, pZeroed);
    EXPECT_EQ(std::vector<uint8_t>(16, 0), std::vector<uint8_t>(pZeroed, pZeroed + 16));
    EXPECT_EQ(nullptr, LocalFree(pZeroed));

    // Exactly one source, and one that is there.
    EXPECT_EQ("<error 87>", Format(0, nullptr, 5, 0));
    EXPECT_EQ("<error 87>", Format(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_SYSTEM, "text", 5, 0));
    EXPECT_EQ("<error 87>", Format(FORMAT_MESSAGE_FROM_STRING, nullptr, 5, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, nullptr, 100, nullptr)));

    // Modules without a message table: one with other resources, one with none, the lab's own, the program.
    DataFile noTable(Fixture("NoVersion.dll"));
    DataFile noResources(Fixture("NoResources.dll"));
    ASSERT_NE(nullptr, noTable.h);
    ASSERT_NE(nullptr, noResources.h);
    HMODULE hKernel = GetModuleHandleA("kernel32");
    EXPECT_EQ("<error 1813>", Format(kFromModule, noTable.h, 1, 0));
    EXPECT_EQ("<error 1812>", Format(kFromModule, noResources.h, 1, 0));
    EXPECT_EQ("<error 1813>", Format(kFromModule, hKernel, 1, 0));
    EXPECT_EQ("<error 1813>", Format(kFromModule, nullptr, 1, 0));
    // With the system as well, its table answers what the module cannot.
    EXPECT_EQ("The system cannot find the file specified.\r\n",
              Format(kFromModule | FORMAT_MESSAGE_FROM_SYSTEM, noTable.h, 2, 0));
    EXPECT_EQ("<error 317>", Format(kFromModule | FORMAT_MESSAGE_FROM_SYSTEM, noTable.h, 0x12345, 0));

    EXPECT_EQ("<error 1815>", Format(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0x407));
    EXPECT_EQ(blocksBefore, lab::win32::LocalAllocationCount());
}

TEST(LabMessage, DataFilesComeFromTheDrivesAndGoAgain)
{
    DefaultProfileHost host;
    ScratchDir dir;
    WriteBytes(dir.File("text.dll"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    const size_t modulesBefore = lab::win32::DataModuleCount();

    // A bare name is looked for in the system directory; each load is a mapping of its own.
    HMODULE hFirst = LoadLibraryExA("services.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE hSecond = LoadLibraryExA("C:\\Windows\\system32\\services.exe", nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, hFirst);
    ASSERT_NE(nullptr, hSecond);
    EXPECT_NE(hFirst, hSecond);
    EXPECT_EQ(2u, reinterpret_cast<uintptr_t>(hSecond) & 3);
    EXPECT_EQ(nullptr, GetModuleHandleA("services.exe"));  // not loaded as a module
    EXPECT_EQ(nullptr, GetProcAddress(hFirst, "ServiceMain"));
    EXPECT_TRUE(FreeLibrary(hSecond));
    EXPECT_FALSE(FreeLibrary(hSecond));
    EXPECT_EQ("The %1 service entered the %2 state.\r\n\r\n",
              Format(kFromModule | FORMAT_MESSAGE_IGNORE_INSERTS, hFirst, 0x40001B7C, 0));
    EXPECT_TRUE(FreeLibrary(hFirst));
    EXPECT_EQ(modulesBefore, lab::win32::DataModuleCount());

    struct Failure {
        std::string name;
        DWORD dwFlags;
        DWORD dwError;
    };
    const Failure failures[] = {
        {"C:\\Windows\\system32\\nosuch.dll", LOAD_LIBRARY_AS_DATAFILE, ERROR_MOD_NOT_FOUND},
        {"C:\\Windows\\system32\\snmp", LOAD_LIBRARY_AS_DATAFILE, ERROR_MOD_NOT_FOUND},  // no ".dll" is added to a path
        {"snmp", LOAD_LIBRARY_AS_DATAFILE, ERROR_MOD_NOT_FOUND},                         // "snmp.dll"
        {dir.Path(), LOAD_LIBRARY_AS_DATAFILE, ERROR_MOD_NOT_FOUND},
        {dir.File("text.dll"), LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE, ERROR_BAD_EXE_FORMAT},
        {"C:\\Program Files\\Quillmont\\Ravelin\\Bin\\RvEvents.dll", 0, ERROR_MOD_NOT_FOUND},  // no code is loaded
    };
    for (const Failure& failure : failures) {
        DataFile file(failure.name, failure.dwFlags);
        EXPECT_EQ(nullptr, file.h) << failure.name;
        EXPECT_EQ(failure.dwError, file.dwError) << failure.name;
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(LoadLibraryExA("snmp.exe", INVALID_HANDLE_VALUE, LOAD_LIBRARY_AS_DATAFILE)));
    // Without a data flag it is the lab's loader as before.
    DataFile psapi("psapi", 0);
    EXPECT_EQ(GetModuleHandleA("psapi"), psapi.h);
}

TEST(LabMessage, AnEntryOfNoLengthEndsTheSearch)
{
    ScratchDir dir;
    const std::string path = dir.File("damaged.dll");
    const std::vector<uint8_t> good = ReadBytes(Fixture("Messages.dll"));
    lab::host::PeImage image;
    ASSERT_TRUE(image.Parse(good));
    const uint16_t english = 0x0409;
    lab::host::PeResource table;
    ASSERT_EQ(lab::host::PeImage::Lookup::Found, image.FindResource(11, 1, &english, table));
    const size_t tableAt = static_cast<size_t>(table.data - image.Bytes().data());

    // An entry claiming no length would make the walk stand still: the id is not found instead.
    std::vector<uint8_t> bytes = good;
    const size_t firstEntry = tableAt + (table.data[12] | (table.data[13] << 8));
    bytes[firstEntry] = 0;
    bytes[firstEntry + 1] = 0;
    WriteBytes(path, bytes);
    DataFile file(path);
    ASSERT_NE(nullptr, file.h);
    EXPECT_EQ("<error 317>", Format(kFromModule, file.h, 2, 0x409, Args({"a", "b"})));
}
