// registry.reg: the keys the checks, the tools and the trace facility read, in regedit's REGEDIT4 export format.
#include "src/capture/Capture.h"

#include "src/sysaccess/RegistryKey.h"

#include <vector>

namespace {

struct SRoot {
    HKEY hHive;
    const char* pszHive;
    const char* pszKey;
};

// Both views: the 64-bit view shows the 32-bit one under WOW6432Node, as regedit exports it.
const SRoot ROOTS[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\ComputerName"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\ProductOptions"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Debug"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\WOW6432Node\\Debug"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Software\\Marrowby"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HARDWARE\\DESCRIPTION\\System"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\UUID"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Brennock"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\WOW6432Node\\Brennock"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\RFC1156Agent"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\SNMP"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\Eventlog"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\Ravelind"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\Gorrel"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\Fennock"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\ZorEziVE"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "Installer\\Products"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "Installer\\Features"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "Installer\\UpgradeCodes"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "AppID\\{9730B9A2-1CDF-11D2-950E-0000E817385C}"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "CLSID\\{AD289653-B5C5-11D2-88BB-00C095ECACC1}"},
};

// Values that name the customer.
struct SIdentifying {
    const char* pszValue;
    CRedactor::Kind kind;
};
const SIdentifying IDENTIFYING[] = {
    {"ComputerName", CRedactor::NAME},
    {"RegisteredOrganization", CRedactor::ORGANISATION},
    {"RegisteredOwner", CRedactor::USER},
    {"ProductId", CRedactor::SERIAL},
    {"sysContact", CRedactor::USER},
    {"sysLocation", CRedactor::ORGANISATION},
    {"RegCompany", CRedactor::ORGANISATION},
    {"RegOwner", CRedactor::USER},
};

struct SExport {
    SCapture& capture;
    std::string& strOut;
    int nKeys;
    int nValues;
};

std::string Quoted(const std::string& strText)
{
    std::string strOut = "\"";
    for (char c : strText) {
        if (c == '\\' || c == '"')
            strOut += '\\';
        strOut += c;
    }
    return strOut + "\"";
}

// A string that reads back as the same bytes from a quoted REGEDIT4 value: one terminator at the end,
// no control characters.
bool IsPlainString(const std::vector<BYTE>& data)
{
    if (data.empty() || data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] < 0x20)
            return false;
    return true;
}

// hex lines wrap at 80 columns with a trailing backslash, as regedit writes them.
void AppendHex(std::string& strOut, std::string strLine, const BYTE* pData, size_t cbData)
{
    for (size_t i = 0; i < cbData; ++i) {
        std::string strByte = FormatText("%02x", pData[i]) + (i + 1 < cbData ? "," : "");
        if (strLine.size() + strByte.size() > 77 && i + 1 < cbData) {
            strOut += strLine + "\\\r\n";
            strLine = "  ";
        }
        strLine += strByte;
    }
    strOut += strLine + "\r\n";
}

void AppendValue(SExport& out, const std::string& strName, DWORD dwType, const std::vector<BYTE>& data)
{
    std::string strLine = strName.empty() ? "@=" : Quoted(strName) + "=";
    if (dwType == REG_SZ && IsPlainString(data)) {
        std::string strText(reinterpret_cast<const char*>(data.data()), data.size() - 1);
        for (const SIdentifying& identifying : IDENTIFYING)
            if (out.capture.bRedact && lstrcmpiA(strName.c_str(), identifying.pszValue) == 0)
                out.capture.redactor.Add(identifying.kind, strText);
        out.strOut += strLine + Quoted(strText) + "\r\n";
    } else if (dwType == REG_DWORD && data.size() == 4) {
        DWORD dw = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
        out.strOut += strLine + FormatText("dword:%08lx", static_cast<unsigned long>(dw)) + "\r\n";
    } else {
        strLine += dwType == REG_BINARY ? std::string("hex:") : FormatText("hex(%lx):", static_cast<unsigned long>(dwType));
        AppendHex(out.strOut, strLine, data.data(), data.size());
    }
    ++out.nValues;
}

// The key and everything below it; a key that is there but refuses to open is named in the summary.
void ExportKey(SExport& out, HKEY hHive, const std::string& strHive, const std::string& strKey)
{
    CRegistryKey key;
    DWORD dwError = key.Open(strKey.c_str(), hHive, KEY_READ | KEY_WOW64_64KEY);
    if (dwError != ERROR_SUCCESS) {
        if (dwError != ERROR_FILE_NOT_FOUND)
            out.capture.log.Missed("registry key " + strHive + "\\" + strKey, dwError);
        return;
    }
    out.strOut += "[" + strHive + "\\" + strKey + "]\r\n";
    ++out.nKeys;

    std::vector<BYTE> data(4096);
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[16384];
        DWORD cchName = sizeof szName;
        DWORD dwType = 0;
        DWORD cbData = static_cast<DWORD>(data.size());
        dwError = key.EnumValue(dwIndex, szName, &cchName, &dwType, data.data(), &cbData);
        if (dwError == ERROR_MORE_DATA) {
            data.resize(cbData + 1);
            --dwIndex;
            continue;
        }
        if (dwError != ERROR_SUCCESS) {
            if (dwError != ERROR_NO_MORE_ITEMS)
                out.capture.log.Missed("values of " + strHive + "\\" + strKey, dwError);
            break;
        }
        AppendValue(out, szName, dwType, std::vector<BYTE>(data.begin(), data.begin() + cbData));
    }
    out.strOut += "\r\n";

    for (const std::string& strSubkey : SubkeyNames(key.GetKey()))
        ExportKey(out, hHive, strHive, strKey + "\\" + strSubkey);
}

}  // namespace

void CaptureRegistry(SCapture& capture)
{
    std::string& strOut = capture.folder.Text("registry.reg");
    strOut = "REGEDIT4\r\n\r\n";
    SExport out = {capture, strOut, 0, 0};
    for (const SRoot& root : ROOTS)
        ExportKey(out, root.hHive, root.pszHive, root.pszKey);
    capture.log.Captured(FormatText("registry.reg: %d keys, %d values", out.nKeys, out.nValues));
}
