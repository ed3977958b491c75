// The trace settings editor on a console.
#include "src/tools/console/ConsoleTraceSettings.h"

#include "src/platform/ConsoleText.h"
#include "src/tools/TraceSettings.h"

#include <string>

namespace {

// Nothing to enable on a console; questions are message boxes without an owner.
class CConsoleTraceView : public ITraceSettingsView {
public:
    void EnableApply(bool) override {}
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        return MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), uStyle);
    }
};

}  // namespace

int RunConsoleTraceSettings(FILE* pOut)
{
    CConsoleTraceView view;
    CTraceSettings settings(view);
    if (!settings.ScanModules()) {
        std::fprintf(pOut, "%s: %s\n", TRACE_INIT_ERROR_CAPTION, TRACE_INIT_ERROR_TEXT);
        return CTraceSettings::END_CLOSED;
    }
    std::fprintf(pOut, "%-24s %7s %7s %7s  %-32s %s\n", "Name", "Console", "File", "WinDbg", "Trace file", "Sources");
    for (const TraceModule* pModule : settings.FillVisible(TraceFilter())) {
        std::string strSources;
        auto add = [&](const TraceModuleList& list, const char* pszSource) {
            if (ListNames(list, pModule->strName))
                strSources += strSources.empty() ? pszSource : std::string(", ") + pszSource;
        };
        add(settings.Ravelin(), "Ravelin");
        add(settings.SnmpAgents(), "SNMP Agenten");
        add(settings.Farlink(), "RCS");
        add(settings.Registered(), "Registered Modules");
        std::fprintf(pOut, "%-24s %7u %7u %7u  %-32s %s\n", ToConsoleText(pModule->strName).c_str(),
                     static_cast<unsigned>(pModule->dwConLevel), static_cast<unsigned>(pModule->dwFileLevel),
                     static_cast<unsigned>(pModule->dwWinLevel), ToConsoleText(pModule->strTraceFile).c_str(),
                     strSources.c_str());
    }
    std::fflush(pOut);
    return CTraceSettings::END_EXIT;
}
