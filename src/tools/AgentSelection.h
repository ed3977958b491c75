// The choice of the SNMP extension agents the SNMP service loads at its next start: the agents
// grouped by the vendor of their library, each with a mark that says whether it is enabled.
#pragma once

#include "src/platform/Win32.h"

#include <optional>
#include <string>
#include <vector>

// What an agent item knows of the registry value that lists the agent.
struct AgentEntry {
    DWORD dwKind;                // AGENT_ENTRY_KIND for an agent
    char szKeyPath[MAX_PATH];    // the key under HKEY_LOCAL_MACHINE that holds the value
    char szValueName[MAX_PATH];  // the value's name
};

const DWORD AGENT_ENTRY_KIND = 1;

// Appended to an agent's key path to hide the agent from the SNMP service.
extern const char AGENT_DISABLED_MARKER[];

// One item of the tree: the root, a vendor or an agent. The root has no mark; only agents have an entry.
struct AgentItem {
    std::string strText;
    bool bHasMark = true;
    bool bChecked = true;
    bool bExpanded = false;
    std::optional<AgentEntry> entry;
    std::vector<AgentItem> children;
};

class CAgentSelection {
public:
    CAgentSelection();

    // Builds the tree anew from the registry and the agents' libraries. Items keep their addresses
    // until the next fill.
    void FillAgentTree();
    // A click on item's mark: toggles it, and its children follow the new state.
    static void ClickMark(AgentItem& item);
    // Writes every agent's mark to its registry value.
    void ApplyAgentSelection();
    // Removes or appends the disabled marker in the entry's value; true when the value was rewritten.
    static bool SetAgentEnabled(const AgentEntry& entry, bool bEnabled);

    const AgentItem& Root() const { return m_Root; }
    AgentItem& Root() { return m_Root; }

private:
    void AddAgent(const char* pszValueName, std::string strKeyPath);

    AgentItem m_Root;
};
