// Stands in for the message boxes of user32: no window on Linux, the answer comes from a script, the console or the default button.
#include "lab/win32/User.h"

#include "lab/host/Host.h"
#include "lab/host/IniFile.h"
#include "lab/win32/UserControl.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Button {
    int id;
    const char* pszText;
};

// The buttons of a box, left to right, as Windows lays them out.
std::vector<Button> Buttons(UINT uType)
{
    switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
        return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    case MB_CANCELTRYCONTINUE:
        return {{IDCANCEL, "Cancel"}, {IDTRYAGAIN, "Try Again"}, {IDCONTINUE, "Continue"}};
    default:
        return {{IDOK, "OK"}};
    }
}

// What pressing Enter gives: the button MB_DEFBUTTONn names, the first when there is no such button.
int DefaultAnswer(UINT uType, const std::vector<Button>& buttons)
{
    size_t index = (uType & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index].id : buttons.front().id;
}

// "4", "Retry", "retry" or "Try Again" as a button id; 0 when it names none.
int ParseAnswer(std::string text)
{
    text.erase(0, text.find_first_not_of(" \t\r\n"));
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    if (text.empty())
        return 0;
    char* pEnd = nullptr;
    long number = std::strtol(text.c_str(), &pEnd, 10);
    if (*pEnd == '\0')
        return static_cast<int>(number);
    static const Button kAll[] = {{IDOK, "OK"},         {IDCANCEL, "Cancel"},      {IDABORT, "Abort"},
                                  {IDRETRY, "Retry"},   {IDIGNORE, "Ignore"},      {IDYES, "Yes"},
                                  {IDNO, "No"},         {IDTRYAGAIN, "Try Again"}, {IDTRYAGAIN, "TryAgain"},
                                  {IDCONTINUE, "Continue"}};
    for (const Button& button : kAll) {
        if (lab::host::EqualsNoCase(text, button.pszText))
            return button.id;
    }
    return 0;
}

struct Answers {
    std::mutex lock;
    std::deque<int> queued;
    uint64_t profileLoad = UINT64_MAX;  // the profile load whose answers are being given
    size_t profileGiven = 0;
};

Answers& TheAnswers()
{
    static Answers* pAnswers = new Answers;  // outlives every static destructor
    return *pAnswers;
}

// The next of the profile's scripted answers ([MessageBox] Answers=4,Cancel in lab.ini), 0 when used up.
int ProfileAnswer(Answers& answers)
{
    lab::host::Host& host = lab::host::Host::Instance();
    if (answers.profileLoad != host.LoadCount()) {
        answers.profileLoad = host.LoadCount();
        answers.profileGiven = 0;
    }
    std::vector<int> script;
    std::stringstream in(host.Settings().Get("MessageBox", "Answers"));
    std::string item;
    while (std::getline(in, item, ','))
        script.push_back(ParseAnswer(item));
    if (answers.profileGiven >= script.size())
        return 0;
    return script[answers.profileGiven++];
}

// A person at a terminal picks a button by its number or its name; Enter or end of input takes the default.
int ConsoleAnswer(LPCSTR pszText, LPCSTR pszCaption, const std::vector<Button>& buttons, int defaultAnswer)
{
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO))
        return 0;
    std::string prompt = std::string("\n[") + pszCaption + "]\n" + pszText + "\n";
    for (size_t i = 0; i < buttons.size(); ++i) {
        prompt += (i ? "  " : "") + std::to_string(i + 1) + ") " + buttons[i].pszText;
        if (buttons[i].id == defaultAnswer)
            prompt += " (default)";
    }
    prompt += "\n> ";
    for (;;) {
        std::fputs(prompt.c_str(), stderr);
        std::fflush(stderr);
        char szLine[256];
        if (!std::fgets(szLine, sizeof szLine, stdin))
            return defaultAnswer;
        std::string line = szLine;
        if (line.find_first_not_of(" \t\r\n") == std::string::npos)
            return defaultAnswer;
        char* pEnd = nullptr;
        long number = std::strtol(line.c_str(), &pEnd, 10);
        if (pEnd != line.c_str() && std::string(pEnd).find_first_not_of(" \t\r\n") == std::string::npos) {
            if (number >= 1 && static_cast<size_t>(number) <= buttons.size())
                return buttons[static_cast<size_t>(number) - 1].id;
            continue;
        }
        int chosen = ParseAnswer(line);
        for (const Button& button : buttons) {
            if (button.id == chosen)
                return chosen;
        }
    }
}

}  // namespace

namespace lab::win32 {

void QueueMessageBoxAnswers(const std::vector<int>& answers)
{
    Answers& all = TheAnswers();
    std::lock_guard<std::mutex> guard(all.lock);
    all.queued.insert(all.queued.end(), answers.begin(), answers.end());
}

void ClearMessageBoxAnswers()
{
    Answers& all = TheAnswers();
    std::lock_guard<std::mutex> guard(all.lock);
    all.queued.clear();
}

size_t PendingMessageBoxAnswers()
{
    Answers& all = TheAnswers();
    std::lock_guard<std::mutex> guard(all.lock);
    return all.queued.size();
}

}  // namespace lab::win32

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    const char* pszText = lpText ? lpText : "";
    const char* pszCaption = lpCaption ? lpCaption : "Error";  // the title Windows gives a box without one
    std::vector<Button> buttons = Buttons(uType);
    int defaultAnswer = DefaultAnswer(uType, buttons);

    int answer = 0;
    {
        Answers& all = TheAnswers();
        std::lock_guard<std::mutex> guard(all.lock);
        if (!all.queued.empty()) {
            answer = all.queued.front();
            all.queued.pop_front();
        } else {
            answer = ProfileAnswer(all);
        }
    }
    if (answer == 0)
        answer = ConsoleAnswer(pszText, pszCaption, buttons, defaultAnswer);
    if (answer == 0)
        answer = defaultAnswer;

    char szOwner[32];
    std::snprintf(szOwner, sizeof szOwner, "0x%llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hWnd)));
    char szStyle[16];
    std::snprintf(szStyle, sizeof szStyle, "0x%X", uType);
    lab::host::Host::Instance().Record(std::string("MessageBoxA owner=") + szOwner + " style=" + szStyle +
                                       " caption=\"" + pszCaption + "\" text=\"" + pszText +
                                       "\" -> " + std::to_string(answer));
    return answer;
}
