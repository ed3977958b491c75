// The network check: DNS settings, adapters, and each interface with its IPv4 addresses.
#include "src/checks/CheckNetwork.h"

#include "src/sysaccess/NetworkInterfaceTable.h"
#include "src/trace/FileDebug.h"
#include "src/xml/XmlDescent.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kChild = CXmlDocument::ADD_CHILD;
const DWORD kAddressEntries = 4;

// The first six bytes whatever the address length; the buffer is zeroed, so a short address ends in zeros.
std::string HardwareAddressText(const BYTE* pAddress)
{
    char szText[18];
    snprintf(szText, sizeof szText, "%02X:%02X:%02X:%02X:%02X:%02X", pAddress[0], pAddress[1], pAddress[2],
             pAddress[3], pAddress[4], pAddress[5]);
    return szText;
}

// Network byte order: the first octet is the first byte in memory.
std::string DottedText(DWORD dwAddress)
{
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(&dwAddress);
    char szText[16];
    snprintf(szText, sizeof szText, "%u.%u.%u.%u", pBytes[0], pBytes[1], pBytes[2], pBytes[3]);
    return szText;
}

std::string AddressTypeText(DWORD dwType)
{
    static const struct {
        DWORD dwFlag;
        const char* pszWord;
    } kWords[] = {{CNetworkInterfaceTable::ADDRESS_PRIMARY, "primary"},
                  {CNetworkInterfaceTable::ADDRESS_DYNAMIC, "dynamic"},
                  {CNetworkInterfaceTable::ADDRESS_TRANSIENT, "transient"}};
    std::string text;
    for (const auto& word : kWords) {
        if (dwType & word.dwFlag) {
            if (!text.empty())
                text += ' ';
            text += word.pszWord;
        }
    }
    return text;
}

const char* AdapterTypeText(UINT uType)
{
    switch (uType) {
    case MIB_IF_TYPE_ETHERNET:
        return "Ethernet";
    case MIB_IF_TYPE_TOKENRING:
        return "Token-Ring";
    case MIB_IF_TYPE_FDDI:
        return "FDDI";
    case MIB_IF_TYPE_PPP:
        return "PPP";
    case MIB_IF_TYPE_LOOPBACK:
        return "Loopback";
    case MIB_IF_TYPE_SLIP:
        return "SLIP";
    default:
        return "Other";
    }
}

// A text the lookup hands out after telling its size; empty when either call fails.
template <class LOOKUP>
std::string SizedText(LOOKUP lookup)
{
    DWORD cbText = 0;
    if (!lookup(nullptr, &cbText) || cbText == 0)
        return "";
    std::vector<char> text(cbText);
    if (!lookup(text.data(), &cbText))
        return "";
    return std::string(text.data());
}

void WriteAdapter(CXmlDocument& doc, CNetworkInterfaceTable& table, DWORD dwAdapter)
{
    doc.AddElement("Adapter", nullptr, kChild);
    doc.SetAttribute(doc.m_iPosChild, "Index", static_cast<int>(dwAdapter));
    doc.Descend();
    std::string name =
        SizedText([&](char* pszText, DWORD* pcb) { return table.GetAdapterName(dwAdapter, pszText, pcb); });
    doc.AddElement("Name", name.c_str(), kChild);
    std::string description =
        SizedText([&](char* pszText, DWORD* pcb) { return table.GetAdapterDescription(dwAdapter, pszText, pcb); });
    doc.AddElement("Description", description.c_str(), kChild);
    BYTE address[MAX_ADAPTER_ADDRESS_LENGTH] = {};
    std::string mac =
        table.GetAdapterAddress(dwAdapter, address, sizeof address) ? HardwareAddressText(address) : "n/a";
    doc.AddElement("MACAddress", mac.c_str(), kChild);
    doc.AddElement("Type", AdapterTypeText(table.GetAdapterType(dwAdapter)), kChild);
    doc.Ascend();
}

void WriteAddressEntry(CXmlDocument& doc, CNetworkInterfaceTable& table, DWORD dwInterface, DWORD n, DWORD dwAddress)
{
    doc.AddElement("Entry", nullptr, kChild);
    doc.SetAttribute(doc.m_iPosChild, "Index", static_cast<int>(n));
    doc.Descend();
    doc.AddElement("IPAddress", DottedText(dwAddress).c_str(), kChild);
    doc.AddElement("IPAddressType", AddressTypeText(table.GetIpAddressType(dwInterface, n)).c_str(), kChild);
    DWORD dwMask = table.GetIpSubnetMask(dwInterface, n, 0);
    doc.AddElement("IPSubnetMask", dwMask ? DottedText(dwMask).c_str() : "n/a", kChild);
    DWORD dwGateway = 0;
    bool bGateway = table.GetDefaultGateway(&dwGateway) != FALSE;
    doc.AddElement("IPGateway", bGateway ? DottedText(dwGateway).c_str() : "n/a", kChild);
    doc.Ascend();
}

void WriteInterface(CXmlDocument& doc, CNetworkInterfaceTable& table, DWORD dwInterface)
{
    doc.AddElement("Interface", nullptr, kChild);
    doc.SetAttribute(doc.m_iPosChild, "Index", static_cast<int>(dwInterface));
    doc.Descend();
    // A wide character may take two bytes in a multi-byte code page.
    char szName[2 * MAX_INTERFACE_NAME_LEN];
    doc.AddElement("Name", table.GetInterfaceName(dwInterface, szName, sizeof szName) ? szName : "", kChild);
    std::string description = SizedText(
        [&](char* pszText, DWORD* pcb) { return table.GetInterfaceDescription(dwInterface, pszText, pcb); });
    doc.AddElement("Description", description.c_str(), kChild);
    DWORD dwSpeed = 0;
    std::string speed = table.GetSpeed(dwInterface, &dwSpeed) ? std::to_string(dwSpeed / 1000000) : "n/a";
    doc.AddElement("Speed", speed.c_str(), kChild);
    BYTE address[MAXLEN_PHYSADDR] = {};
    std::string mac =
        table.GetPhysicalAddress(dwInterface, address, sizeof address) ? HardwareAddressText(address) : "n/a";
    doc.AddElement("MACAddress", mac.c_str(), kChild);

    doc.AddElement("IPConfig", nullptr, kChild);
    doc.Descend();
    for (DWORD n = 0; n < kAddressEntries; ++n) {
        DWORD dwAddress = table.GetIpAddress(dwInterface, n, 0);
        if (dwAddress != 0)
            WriteAddressEntry(doc, table, dwInterface, n, dwAddress);
    }
    doc.Ascend();
    doc.Ascend();
}

void WriteNetwork(CXmlDocument& doc)
{
    CXmlDescent section(doc, EnterReportSection(doc, "Network"));
    if (!section.IsEntered())
        return;

    CNetworkInterfaceTable table;
    doc.AddElement("Global", nullptr, kChild);
    doc.Descend();
    std::shared_ptr<const FIXED_INFO> pParams = table.GetNetworkParams();
    doc.AddElement("DNS", pParams && pParams->EnableDns ? "enabled" : "disabled", kChild);
    doc.Ascend();

    doc.AddElement("Adapters", nullptr, kChild);
    doc.Descend();
    // Counted anew for every adapter, as the list may change while the check runs.
    for (DWORD dwAdapter = 0; dwAdapter < table.GetAdapterCount(); ++dwAdapter)
        WriteAdapter(doc, table, dwAdapter);
    doc.Ascend();

    if (!doc.AddElement("Interfaces", nullptr, kChild))
        return;
    doc.Descend();
    for (DWORD dwInterface = 0; dwInterface < table.GetNumberOfInterfaces(); ++dwInterface)
        WriteInterface(doc, table, dwInterface);
    doc.Ascend();
}

}  // namespace

DWORD CheckNetwork(CDiagReport& report, CXmlDocument& doc)
{
    (void)report;  // nothing to report: the values speak for themselves
    TRACE(4, "\nTriagist            : -> CheckNetwork()");
    try {
        WriteNetwork(doc);
    } catch (...) {
        TRACE(1, "\n\nTriagist            :  ## EXCEPTION in CheckNetwork()!");
    }
    TRACE(4, "\nTriagist            : <- CheckNetwork()");
    return STEP_OK;
}
