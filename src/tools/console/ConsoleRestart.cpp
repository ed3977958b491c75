// The agent restart on a console.
#include "src/tools/console/ConsoleRestart.h"

#include "src/platform/ConsoleText.h"

void CConsoleRestartView::ShowStatus(const std::string& strText)
{
    std::fprintf(m_pOut, "%s\n", ToConsoleText(strText).c_str());
    std::fflush(m_pOut);
}

int CConsoleRestartView::Ask(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    return MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), uStyle);
}

int RunConsoleRestart(FILE* pOut)
{
    CConsoleRestartView view(pOut);
    CAgentRestart restart(view);
    restart.RestartAgents(1, 1, 1, 1);
    return CAgentRestart::END_EXIT;
}
