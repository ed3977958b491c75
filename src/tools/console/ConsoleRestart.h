// The agent restart on a console: the restart dialog's run, its texts as lines on standard output.
#pragma once

#include "src/tools/AgentRestart.h"

#include <cstdio>

// Each status text becomes a line; questions are message boxes without an owner, which the
// console, or whoever stands in for the user, answers. A bar has no place on a line of text.
class CConsoleRestartView : public IRestartView {
public:
    explicit CConsoleRestartView(FILE* pOut) : m_pOut(pOut) {}

    HWND Owner() const override { return nullptr; }
    void EnableRunControls(bool) override {}
    void ShowStatus(const std::string& strText) override;
    void SetProgress(int) override {}
    void StartProgressTimer() override {}
    void StopProgressTimer() override {}
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override;

private:
    FILE* m_pOut;
};

// The restart dialog's controls as commands, one a line: "restart" runs a restart with the options
// ("rescan on|off", on at first; "snmponly on|off", off at first); "agents" shows the SNMP extension
// agents numbered with their marks, then a number toggles an item's mark (a vendor's agents follow
// it), "ok" writes the marks and "cancel" leaves them. "exit" or the end of input (the close box)
// ends with the dialog's end code: 2.
int RunConsoleRestart(FILE* pIn = stdin, FILE* pOut = stdout);
