// Where the SNMP service finds its extension agents.
#include "src/sysaccess/ExtensionAgents.h"

const char EXTENSION_AGENTS_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";

std::string ExtensionAgentName(const std::string& strKeyPath)
{
    size_t last = strKeyPath.rfind('\\');
    if (last == std::string::npos)
        return "";
    size_t before = strKeyPath.rfind('\\', last == 0 ? 0 : last - 1);
    size_t start = before == std::string::npos || last == 0 ? 0 : before + 1;
    return strKeyPath.substr(start, last - start);
}

std::string ExpandAgentPathname(LPCSTR pszPathname)
{
    char szExpanded[MAX_PATH] = "";
    DWORD cchExpanded = ExpandEnvironmentStringsA(pszPathname, szExpanded, sizeof szExpanded);
    if (cchExpanded == 0 || cchExpanded > sizeof szExpanded)
        return pszPathname;
    return szExpanded;
}
