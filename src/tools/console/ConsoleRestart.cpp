// The agent restart on a console.
#include "src/tools/console/ConsoleRestart.h"

#include "src/tools/AgentSelection.h"
#include "src/tools/console/ConsoleInput.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char HELP_TEXT[] = "restart | rescan on|off | snmponly on|off | agents | exit";
const char AGENTS_HELP_TEXT[] = "<number> | ok | cancel";

// The tree's vendors and agents in the order the dialog shows them, each with its depth (vendors 0).
void ListItems(AgentItem& item, int nDepth, std::vector<std::pair<AgentItem*, int>>& items)
{
    if (item.bHasMark)
        items.emplace_back(&item, nDepth);
    for (AgentItem& child : item.children)
        ListItems(child, item.bHasMark ? nDepth + 1 : nDepth, items);
}

void PrintAgents(FILE* pOut, AgentItem& root)
{
    PrintLine(pOut, LoadLocalizedString(IDS_AGENTS_PROMPT));
    std::vector<std::pair<AgentItem*, int>> items;
    ListItems(root, 0, items);
    for (size_t i = 0; i < items.size(); ++i)
        PrintLine(pOut, std::to_string(i + 1) + ") " + std::string(2 * static_cast<size_t>(items[i].second), ' ') +
                            (items[i].first->bChecked ? "[x] " : "[ ] ") + items[i].first->strText);
}

// The selection dialog: OK writes, Cancel and the end of input leave the registry alone.
void ChooseAgents(FILE* pIn, FILE* pOut)
{
    CAgentSelection selection;
    selection.FillAgentTree();
    PrintAgents(pOut, selection.Root());
    std::string strLine;
    while (ReadInputLine(pIn, strLine)) {
        std::string strCommand, strRest;
        SplitCommand(strLine, strCommand, strRest);
        if (strCommand == "ok") {
            selection.ApplyAgentSelection();
            return;
        }
        if (strCommand == "cancel")
            return;
        std::vector<std::pair<AgentItem*, int>> items;
        ListItems(selection.Root(), 0, items);
        char* pEnd = nullptr;
        unsigned long ulItem = std::strtoul(strCommand.c_str(), &pEnd, 10);
        if (strCommand.empty() || *pEnd != '\0' || ulItem < 1 || ulItem > items.size()) {
            PrintLine(pOut, AGENTS_HELP_TEXT);
            continue;
        }
        CAgentSelection::ClickMark(*items[ulItem - 1].first);
        PrintAgents(pOut, selection.Root());
    }
}

}  // namespace

void CConsoleRestartView::ShowStatus(const std::string& strText)
{
    PrintLine(m_pOut, strText);
}

int CConsoleRestartView::Ask(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    return MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), uStyle);
}

int RunConsoleRestart(FILE* pIn, FILE* pOut)
{
    CConsoleRestartView view(pOut);
    CAgentRestart restart(view);
    bool bRescan = true;
    bool bSnmpOnly = false;
    std::string strLine;
    while (ReadInputLine(pIn, strLine)) {
        std::string strCommand, strRest;
        SplitCommand(strLine, strCommand, strRest);
        if (strCommand.empty())
            continue;
        if (strCommand == "exit")
            break;
        if (strCommand == "restart")
            restart.RestartAgents(1, 1, bRescan ? 1 : 0, bSnmpOnly ? 0 : 1);
        else if (strCommand == "agents")
            ChooseAgents(pIn, pOut);
        else if (!((strCommand == "rescan" && ParseSwitch(strRest, bRescan)) ||
                   (strCommand == "snmponly" && ParseSwitch(strRest, bSnmpOnly))))
            PrintLine(pOut, HELP_TEXT);
    }
    return CAgentRestart::END_EXIT;
}
