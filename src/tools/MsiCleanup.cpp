// The installer registration clean-up.
#include "src/tools/MsiCleanup.h"

#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/RegistryKey.h"
#include "src/trace/FileDebug.h"

#include <algorithm>
#include <utility>

namespace {

const char USER_DATA[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
const char FEATURES[] = "Installer\\Features";
const char PRODUCTS[] = "Installer\\Products";
const char UPGRADE_CODES_HKCR[] = "Installer\\UpgradeCodes";
const char UPGRADE_CODES_HKLM[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes";

const UINT STYLE_QUESTION = MB_YESNO | MB_ICONQUESTION;  // 0x24
const UINT STYLE_ERROR = MB_OK | MB_ICONEXCLAMATION;     // 0x30
const DWORD TRACE_REMOVAL = 2;
const DWORD TEXT_CHARS = 260;

// Field 1 of the query's first row; empty when the query fails or finds nothing.
std::string FirstField(MSIHANDLE hDatabase, const std::string& strQuery)
{
    CScopedMsiHandle view;
    if (MsiDatabaseOpenViewA(hDatabase, strQuery.c_str(), view.Receive()) != ERROR_SUCCESS ||
        MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS)
        return "";
    CScopedMsiHandle record;
    if (MsiViewFetch(view.Get(), record.Receive()) != ERROR_SUCCESS)
        return "";
    char szValue[TEXT_CHARS] = "";
    DWORD cchValue = TEXT_CHARS;
    if (MsiRecordGetStringA(record.Get(), 1, szValue, &cchValue) != ERROR_SUCCESS)
        return "";
    return szValue;
}

bool SameName(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A key found below a search's start: its parent, open with full access, and its path.
struct FoundKey {
    CScopedRegKey parent;
    std::string strName;
    std::string strPath;
};

// The first key named strName at any depth below hKey, depth first in enumeration order.
bool FindKey(HKEY hKey, const std::string& strKeyPath, const std::string& strName, FoundKey& found)
{
    for (const std::string& strChild : SubkeyNames(hKey)) {
        std::string strChildPath = strKeyPath + "\\" + strChild;
        if (SameName(strChild, strName)) {
            found.strName = strChild;
            found.strPath = strChildPath;
            return RegOpenKeyExA(hKey, nullptr, 0, KEY_ALL_ACCESS, found.parent.Receive()) == ERROR_SUCCESS;
        }
        CScopedRegKey child;
        if (RegOpenKeyExA(hKey, strChild.c_str(), 0, KEY_ALL_ACCESS, child.Receive()) == ERROR_SUCCESS &&
            FindKey(child.Get(), strChildPath, strName, found))
            return true;
    }
    return false;
}

// A key holding a value found by a search, open with full access, and its path.
struct FoundValue {
    CScopedRegKey holder;
    std::string strName;
    std::string strPath;
};

// The first value named strName at or below hKey: a key's own values before its subkeys.
bool FindValue(HKEY hKey, const std::string& strKeyPath, const std::string& strName, FoundValue& found)
{
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szValue[TEXT_CHARS];
        DWORD cchValue = TEXT_CHARS;
        if (RegEnumValueA(hKey, dwIndex, szValue, &cchValue, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (SameName(szValue, strName)) {
            found.strName = szValue;
            found.strPath = strKeyPath;
            return RegOpenKeyExA(hKey, nullptr, 0, KEY_ALL_ACCESS, found.holder.Receive()) == ERROR_SUCCESS;
        }
    }
    for (const std::string& strChild : SubkeyNames(hKey)) {
        CScopedRegKey child;
        if (RegOpenKeyExA(hKey, strChild.c_str(), 0, KEY_ALL_ACCESS, child.Receive()) == ERROR_SUCCESS &&
            FindValue(child.Get(), strKeyPath + "\\" + strChild, strName, found))
            return true;
    }
    return false;
}

bool FindInUserData(const std::string& strName, FoundKey& found)
{
    CScopedRegKey userData;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, USER_DATA, 0, KEY_ALL_ACCESS, userData.Receive()) == ERROR_SUCCESS &&
           FindKey(userData.Get(), USER_DATA, strName, found);
}

// Removes the subkey strPacked of hHive\pszParent with everything below it.
void DeleteProductKey(HKEY hHive, LPCSTR pszParent, const char* pszTrace, const std::string& strPacked)
{
    CRegistryKey parent;
    if (parent.Open(pszParent, hHive, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return;
    g_FileDebug.Trace(TRACE_REMOVAL, pszTrace, pszParent, strPacked.c_str());
    parent.DeleteTree(strPacked.c_str(), nullptr, KEY_ALL_ACCESS);
}

}  // namespace

bool PackGuid(const std::string& strGuid, std::string& strPacked)
{
    std::vector<std::string> groups;
    size_t start = 0;
    while (start < strGuid.size()) {
        size_t end = strGuid.find_first_of("{-}", start);
        if (end == std::string::npos)
            end = strGuid.size();
        if (end > start)
            groups.push_back(strGuid.substr(start, end - start));
        start = end + 1;
    }
    if (groups.size() != 5)
        return false;
    std::string strResult;
    for (size_t i = 0; i < groups.size(); ++i) {
        std::string group = groups[i];
        if (i < 3) {
            std::reverse(group.begin(), group.end());
        } else {
            for (size_t c = 0; c + 1 < group.size(); c += 2)
                std::swap(group[c], group[c + 1]);
        }
        strResult += group;
    }
    strPacked = strResult;
    return true;
}

void CMsiCleanup::ListProducts()
{
    char szCode[39];
    for (DWORD dwIndex = 0; MsiEnumProductsA(dwIndex, szCode) == ERROR_SUCCESS; ++dwIndex) {
        MsiProductEntry product;
        product.strCode = szCode;
        char szName[TEXT_CHARS] = "";
        DWORD cchName = TEXT_CHARS;
        if (MsiGetProductInfoA(szCode, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, szName, &cchName) == ERROR_SUCCESS)
            product.strName = szName;

        CScopedMsiHandle hProduct;
        if (MsiOpenProductA(szCode, hProduct.Receive()) == ERROR_SUCCESS) {
            char szFeature[TEXT_CHARS];
            char szParent[TEXT_CHARS];
            for (DWORD dwFeature = 0; MsiEnumFeaturesA(szCode, dwFeature, szFeature, szParent) == ERROR_SUCCESS;
                 ++dwFeature) {
                MsiFeatureEntry feature;
                feature.strName = szFeature;
                feature.strParent = szParent;
                char szTitle[TEXT_CHARS] = "";
                DWORD cchTitle = TEXT_CHARS;
                char szHelp[TEXT_CHARS] = "";
                DWORD cchHelp = TEXT_CHARS;
                DWORD dwAttributes = 0;
                if (MsiGetFeatureInfoA(hProduct.Get(), szFeature, &dwAttributes, szTitle, &cchTitle, szHelp,
                                       &cchHelp) == ERROR_SUCCESS)
                    feature.strTitle = szTitle;
                product.features.push_back(feature);
            }
        }
        m_Products.push_back(product);
    }
}

void CMsiCleanup::Clean(const MsiProductEntry& product)
{
    std::string strQuestion = "Remove registration for \"" + product.strName + "\" from system?";
    if (m_View.Ask(strQuestion, "Triagist", STYLE_QUESTION) != IDYES)
        return;
    std::string strPath;
    if (!m_View.ChooseDatabase(strPath))
        return;

    std::string strDatabaseCode;
    {
        CScopedMsiHandle database;
        if (MsiOpenDatabaseA(strPath.c_str(), MSIDBOPEN_DIRECT, database.Receive()) != ERROR_SUCCESS) {
            m_View.Show("Could not open istaller database", "Error!", STYLE_ERROR);
            return;
        }
        strDatabaseCode = GetDatabaseProductCode(database.Get());
    }
    if (!SameName(strDatabaseCode, product.strCode)) {
        m_View.Show("The selected installer database does not match the product code?", "Error", STYLE_ERROR);
        return;
    }
    if (m_View.Ask("Are you sure to remove the component registration?", "", STYLE_QUESTION) == IDYES)
        CleanRegistration(strPath.c_str());
}

std::string CMsiCleanup::GetDatabaseProductCode(MSIHANDLE hDatabase)
{
    return FirstField(hDatabase, "SELECT Value FROM Property WHERE Property = 'ProductCode'");
}

std::string CMsiCleanup::GetComponentId(MSIHANDLE hDatabase, const std::string& strComponent)
{
    return FirstField(hDatabase, "SELECT ComponentId FROM Component WHERE Component = '" + strComponent + "'");
}

DWORD CMsiCleanup::CleanRegistration(LPCSTR pszDatabasePath)
{
    CScopedMsiHandle database;
    if (MsiOpenDatabaseA(pszDatabasePath, MSIDBOPEN_DIRECT, database.Receive()) != ERROR_SUCCESS)
        return 0;
    std::string strProduct = GetDatabaseProductCode(database.Get());
    std::string strPacked;
    if (strProduct.empty() || !PackGuid(strProduct, strPacked))
        return 1;

    // The removals take the features' own entries away, so the list is taken first.
    std::vector<std::string> features;
    char szFeature[TEXT_CHARS];
    char szParent[TEXT_CHARS];
    for (DWORD dwIndex = 0; MsiEnumFeaturesA(strProduct.c_str(), dwIndex, szFeature, szParent) == ERROR_SUCCESS;
         ++dwIndex)
        features.push_back(szFeature);
    for (const std::string& strFeature : features)
        RemoveComponentRegistration(database.Get(), strFeature, strPacked);

    DeleteProductKey(HKEY_CLASSES_ROOT, FEATURES, "\nRemove MSI feature HKCR key \"%s\\%s\"", strPacked);
    DeleteProductKey(HKEY_CLASSES_ROOT, PRODUCTS, "\nRemove MSI procuct HKCR key \"%s\\%s\"", strPacked);

    CScopedRegKey upgradeCodes;
    FoundValue upgrade;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, UPGRADE_CODES_HKCR, 0, KEY_ALL_ACCESS, upgradeCodes.Receive()) ==
            ERROR_SUCCESS &&
        FindValue(upgradeCodes.Get(), UPGRADE_CODES_HKCR, strPacked, upgrade)) {
        g_FileDebug.Trace(TRACE_REMOVAL, "\nRemove MSI upgrade code HKCR key \"%s\\%s\"", upgrade.strPath.c_str(),
                          upgrade.strName.c_str());
        RegDeleteValueA(upgrade.holder.Get(), upgrade.strName.c_str());
    }
    FoundValue machineUpgrade;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UPGRADE_CODES_HKLM, 0, KEY_ALL_ACCESS, upgradeCodes.Receive()) ==
            ERROR_SUCCESS &&
        FindValue(upgradeCodes.Get(), UPGRADE_CODES_HKLM, strPacked, machineUpgrade)) {
        g_FileDebug.Trace(TRACE_REMOVAL, "\nRemove MSI upgrade code \"%s\" in key \"%s\"",
                          machineUpgrade.strName.c_str(), machineUpgrade.strPath.c_str());
        RegDeleteValueA(machineUpgrade.holder.Get(), machineUpgrade.strName.c_str());
    }

    FoundKey installed;
    if (FindInUserData(strPacked, installed)) {
        g_FileDebug.Trace(TRACE_REMOVAL,
                          "\nRemove MSI product code \"%s\" in one of the subkeys of "
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData",
                          strPacked.c_str());
        CRegistryKey parent;
        parent.DeleteTree(installed.strName.c_str(), installed.parent.Get(), KEY_ALL_ACCESS);
    }
    return 1;
}

// Step 3 for one feature: its components' entries in UserData, then its own value.
void CMsiCleanup::RemoveComponentRegistration(MSIHANDLE hDatabase, const std::string& strFeature,
                                              const std::string& strPacked)
{
    std::string strQuery = "SELECT Component_ FROM FeatureComponents WHERE Feature_ = '" + strFeature + "'";
    CScopedMsiHandle view;
    if (MsiDatabaseOpenViewA(hDatabase, strQuery.c_str(), view.Receive()) == ERROR_SUCCESS &&
        MsiViewExecute(view.Get(), 0) == ERROR_SUCCESS) {
        CScopedMsiHandle record;
        while (MsiViewFetch(view.Get(), record.Receive()) == ERROR_SUCCESS) {
            char szComponent[TEXT_CHARS] = "";
            DWORD cchComponent = TEXT_CHARS;
            if (MsiRecordGetStringA(record.Get(), 1, szComponent, &cchComponent) != ERROR_SUCCESS)
                continue;
            std::string strComponentPacked;
            FoundKey component;
            if (!PackGuid(GetComponentId(hDatabase, szComponent), strComponentPacked) ||
                !FindInUserData(strComponentPacked, component))
                continue;
            g_FileDebug.Trace(TRACE_REMOVAL,
                              "\nRemove MSI component \"%s\" in one of the subkeys of "
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData",
                              strComponentPacked.c_str());
            CScopedRegKey key;
            if (RegOpenKeyExA(component.parent.Get(), component.strName.c_str(), 0, KEY_ALL_ACCESS, key.Receive()) ==
                ERROR_SUCCESS)
                RegDeleteValueA(key.Get(), strPacked.c_str());
        }
    }

    std::string strFeatureKey = std::string(FEATURES) + "\\" + strPacked;
    CScopedRegKey features;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, strFeatureKey.c_str(), 0, KEY_ALL_ACCESS, features.Receive()) !=
        ERROR_SUCCESS)
        return;
    g_FileDebug.Trace(TRACE_REMOVAL, "\nRemove HKCR registration for feature %s in \"%s\"", strFeature.c_str(),
                      strFeatureKey.c_str());
    RegDeleteValueA(features.Get(), strFeature.c_str());
}
