// The diagnosis step that records the operating system: product, processes, product-specific event records, installed products.
#include "src/checks/CheckOperatingSystem.h"

#include "src/checks/OperatingSystemParts.h"
#include "src/sysaccess/RegistryKey.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <cstring>

namespace {

const char CURRENT_VERSION_KEY[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char PRODUCT_OPTIONS_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

bool ReadCurrentVersionValue(LPCSTR pszKey, LPCSTR pszValue, char (&szText)[MAX_PATH])
{
    CRegistryKey key;
    DWORD cbText = sizeof szText;
    return key.Open(pszKey, HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64) == ERROR_SUCCESS &&
           key.QueryString(pszValue, szText, &cbText) == ERROR_SUCCESS;
}

std::string VersionText(const OSVERSIONINFOA* pBasic)
{
    char szText[2 * MAX_PATH] = "";
    if (pBasic)
        std::snprintf(szText, sizeof szText, "%d.%d", static_cast<int>(pBasic->dwMajorVersion),
                      static_cast<int>(pBasic->dwMinorVersion));

    OSVERSIONINFOEXA extended = {};
    extended.dwOSVersionInfoSize = sizeof extended;
    char szServicePack[MAX_PATH];
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
        std::snprintf(szText, sizeof szText, "%d.%d Build %d %s ", static_cast<int>(extended.dwMajorVersion),
                      static_cast<int>(extended.dwMinorVersion), static_cast<int>(extended.dwBuildNumber),
                      extended.szCSDVersion);
    } else if (pBasic && ReadCurrentVersionValue(CURRENT_VERSION_KEY, "CSDVersion", szServicePack)) {
        std::snprintf(szText, sizeof szText, "%d.%d, %s", static_cast<int>(pBasic->dwMajorVersion),
                      static_cast<int>(pBasic->dwMinorVersion), szServicePack);
    }
    return szText;
}

std::string ProductName(const OSVERSIONINFOA* pBasic)
{
    char szName[MAX_PATH];
    if (!ReadCurrentVersionValue(CURRENT_VERSION_KEY, "ProductName", szName)) {
        if (!pBasic)
            return "n/a";
        std::snprintf(szName, sizeof szName, "Windows NT %d.%d", static_cast<int>(pBasic->dwMajorVersion),
                      static_cast<int>(pBasic->dwMinorVersion));
        return szName;
    }

    std::string strName = szName;
    const char szMaker[] = "Microsoft";
    if (strName.compare(0, sizeof szMaker - 1, szMaker) == 0) {
        size_t nStart = sizeof szMaker - 1;
        while (nStart < strName.size() && strName[nStart] == ' ')
            ++nStart;
        strName.erase(0, nStart);
    }
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    const char* pszEdition =
        system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 ? " (iA64 Edition)" : " (x64 Edition)";
    if (strName.size() + std::strlen(pszEdition) < MAX_PATH)
        strName += pszEdition;
    return strName;
}

}  // namespace

void WriteOsProduct(CXmlDocument& doc)
{
    doc.AddElement("Product", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();

    OSVERSIONINFOA basic = {};
    basic.dwOSVersionInfoSize = sizeof basic;
    const OSVERSIONINFOA* pBasic = GetVersionExA(&basic) ? &basic : nullptr;
    doc.AddElement("Version", VersionText(pBasic).c_str(), CXmlDocument::ADD_CHILD);
    doc.AddElement("Name", ProductName(pBasic).c_str(), CXmlDocument::ADD_CHILD);

    char szType[MAX_PATH];
    if (ReadCurrentVersionValue(PRODUCT_OPTIONS_KEY, "ProductType", szType))
        doc.AddElement("Type", szType, CXmlDocument::ADD_CHILD);

    doc.AddElement("Language", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    doc.AddElement("System", GetSystemDefaultLangID(), CXmlDocument::ADD_CHILD);
    doc.AddElement("User", GetUserDefaultLangID(), CXmlDocument::ADD_CHILD);
    doc.Ascend();

    doc.Ascend();
}

void WriteInstalledProducts(CXmlDocument& doc)
{
    doc.AddElement("Software", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();

    // The element for each property the product has, in the report's order.
    static const struct {
        const char* pszProperty;
        const char* pszElement;
    } OPTIONAL_PROPERTIES[] = {
        {"InstallDate", "InstallDate"},
        {"InstalledProductName", "Name"},
        {"Publisher", "Manufacture"},
        {"VersionString", "Version"},
    };

    char szCode[39];
    for (DWORD dwIndex = 0; MsiEnumProductsA(dwIndex, szCode) == ERROR_SUCCESS; ++dwIndex) {
        doc.AddElement("Product", nullptr, CXmlDocument::ADD_CHILD);
        doc.SetAttribute(doc.m_iPosChild, "ProductCode", szCode);
        doc.Descend();
        for (const auto& property : OPTIONAL_PROPERTIES) {
            char szValue[MAX_PATH];
            DWORD cchValue = sizeof szValue;
            if (MsiGetProductInfoA(szCode, property.pszProperty, szValue, &cchValue) == ERROR_SUCCESS)
                doc.AddElement(property.pszElement, szValue, CXmlDocument::ADD_CHILD);
        }
        char szLocation[MAX_PATH];
        DWORD cchLocation = sizeof szLocation;
        bool bLocation = MsiGetProductInfoA(szCode, "InstallLocation", szLocation, &cchLocation) == ERROR_SUCCESS &&
                         szLocation[0] != '\0';
        doc.AddElement("Location", bLocation ? szLocation : "n/a", CXmlDocument::ADD_CHILD);
        doc.Ascend();
    }
    doc.Ascend();
}

DWORD CheckOperatingSystem(CDiagReport& report, CXmlDocument& doc)
{
    try {
        if (!EnterReportSection(doc, "OperatingSystem"))
            return STEP_OK;
        WriteOsProduct(doc);
        WriteProcesses(doc);
        SEventCounts counts = WriteProductEvents(doc);
        WriteInstalledProducts(doc);
        doc.Ascend();

        char szText[128];
        if (counts.dwErrors != 0) {
            std::snprintf(szText, sizeof szText, "%d product specific error(s) in event log!",
                          static_cast<int>(counts.dwErrors));
            report.AddMessage(doc, "Eventlog", szText, "Errors");
        }
        if (counts.dwWarnings != 0) {
            std::snprintf(szText, sizeof szText, "%d product specific warning(s) in event log!",
                          static_cast<int>(counts.dwWarnings));
            report.AddMessage(doc, "Eventlog", szText, "Warnings");
        }
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION in CheckOperatingSystem()!");
    }
    return STEP_OK;
}
