// Stands in for msi.dll: the products Windows Installer knows, answered from its registration in the registry.
#include "lab/win32/Msi.h"

#include "lab/host/Host.h"
#include "lab/host/RegistryTree.h"
#include "lab/win32/Handles.h"
#include "lab/win32/MsiControl.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Only per-machine installations are modelled, registered where Windows Installer keeps them:
// advertised data in HKCR\Installer\Products\<packed code>, what the installation itself recorded
// in the UserData of the local system account (S-1-5-18).
namespace {

using lab::host::RegistryTree;
using lab::host::RegResult;
using lab::host::RegValue;

const char kProducts[] = "HKEY_CLASSES_ROOT\\Installer\\Products";
const char kInstalledProducts[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";

enum class Kept { Advertised, Installed };

struct Property {
    const char* name;   // as the caller asks for it (case counts)
    Kept where;
    const char* value;  // the registry value that holds it, below the product's key
};

const Property kProperties[] = {
    {INSTALLPROPERTY_INSTALLEDPRODUCTNAME, Kept::Installed, "DisplayName"},
    {INSTALLPROPERTY_VERSIONSTRING, Kept::Installed, "DisplayVersion"},
    {INSTALLPROPERTY_HELPLINK, Kept::Installed, "HelpLink"},
    {INSTALLPROPERTY_HELPTELEPHONE, Kept::Installed, "HelpTelephone"},
    {INSTALLPROPERTY_INSTALLLOCATION, Kept::Installed, "InstallLocation"},
    {INSTALLPROPERTY_INSTALLSOURCE, Kept::Installed, "InstallSource"},
    {INSTALLPROPERTY_INSTALLDATE, Kept::Installed, "InstallDate"},
    {INSTALLPROPERTY_PUBLISHER, Kept::Installed, "Publisher"},
    {INSTALLPROPERTY_LOCALPACKAGE, Kept::Installed, "LocalPackage"},
    {INSTALLPROPERTY_URLINFOABOUT, Kept::Installed, "URLInfoAbout"},
    {INSTALLPROPERTY_URLUPDATEINFO, Kept::Installed, "URLUpdateInfo"},
    {INSTALLPROPERTY_VERSIONMINOR, Kept::Installed, "VersionMinor"},
    {INSTALLPROPERTY_VERSIONMAJOR, Kept::Installed, "VersionMajor"},
    {INSTALLPROPERTY_PRODUCTID, Kept::Installed, "ProductID"},
    {INSTALLPROPERTY_REGCOMPANY, Kept::Installed, "RegCompany"},
    {INSTALLPROPERTY_REGOWNER, Kept::Installed, "RegOwner"},
    {INSTALLPROPERTY_PRODUCTNAME, Kept::Advertised, "ProductName"},
    {INSTALLPROPERTY_PACKAGECODE, Kept::Advertised, "PackageCode"},
    {INSTALLPROPERTY_VERSION, Kept::Advertised, "Version"},
    {INSTALLPROPERTY_LANGUAGE, Kept::Advertised, "Language"},
    {INSTALLPROPERTY_TRANSFORMS, Kept::Advertised, "Transforms"},
    {INSTALLPROPERTY_ASSIGNMENTTYPE, Kept::Advertised, "Assignment"},
    {INSTALLPROPERTY_PRODUCTICON, Kept::Advertised, "ProductIcon"},
    {INSTALLPROPERTY_INSTANCETYPE, Kept::Advertised, "InstanceType"},
    {INSTALLPROPERTY_AUTHORIZED_LUA_APP, Kept::Advertised, "AuthorizedLUAApp"},
    {INSTALLPROPERTY_PACKAGENAME, Kept::Advertised, "SourceList\\PackageName"},
};

const Property* FindProperty(const char* name)
{
    for (const Property& property : kProperties) {
        if (std::strcmp(property.name, name) == 0)
            return &property;
    }
    return nullptr;
}

RegistryTree& Tree()
{
    return lab::host::Host::Instance().Registry();
}

bool OpenKey(const std::string& path, RegistryTree::KeyRef& key)
{
    return Tree().OpenPath(path, 0, key) == RegResult::Success;
}

// A registry value as the installer hands it out: strings as they are, numbers in decimal.
std::string AsText(const RegValue& value)
{
    using namespace lab::host::regtype;
    if (value.type == kDword && value.data.size() >= 4) {
        uint32_t number = 0;
        std::memcpy(&number, value.data.data(), 4);
        return std::to_string(number);
    }
    if (value.type == kSz || value.type == kExpandSz) {
        std::string text(value.data.begin(), value.data.end());
        return text.substr(0, text.find('\0'));
    }
    return "";
}

// A value the product never set is an empty property, not an error.
std::string ReadValue(const RegistryTree::KeyRef& key, const std::string& path)
{
    RegistryTree::KeyRef holder = key;
    std::string name = path;
    size_t slash = path.rfind('\\');
    if (slash != std::string::npos) {
        if (Tree().OpenKey(key, path.substr(0, slash), 0, holder) != RegResult::Success)
            return "";
        name = path.substr(slash + 1);
    }
    RegValue value;
    if (Tree().GetValue(holder, name, value) != RegResult::Success)
        return "";
    return AsText(value);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool AllHex(const std::string& text)
{
    for (char c : text) {
        if (HexDigit(c) < 0)
            return false;
    }
    return true;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Group lengths of a GUID's text; the first three are stored reversed, the rest byte by byte swapped.
const size_t kGroups[] = {8, 4, 4, 4, 12};

// Reversing and swapping each undo themselves, so one shuffle packs and unpacks.
std::string ShuffleGroup(const std::string& digits, size_t group)
{
    if (group < 3)
        return std::string(digits.rbegin(), digits.rend());
    std::string result = digits;
    for (size_t i = 0; i + 1 < result.size(); i += 2)
        std::swap(result[i], result[i + 1]);
    return result;
}

}  // namespace

namespace lab::win32 {

bool PackGuid(const std::string& guid, std::string& packed)
{
    if (guid.size() != 38 || guid.front() != '{' || guid.back() != '}')
        return false;
    std::string result;
    size_t pos = 1;
    for (size_t group = 0; group < 5; ++group) {
        std::string digits = guid.substr(pos, kGroups[group]);
        pos += kGroups[group];
        if (!AllHex(digits) || guid[pos] != (group < 4 ? '-' : '}'))
            return false;
        ++pos;
        result += ShuffleGroup(digits, group);
    }
    packed = Upper(result);
    return true;
}

bool UnpackGuid(const std::string& packed, std::string& guid)
{
    if (packed.size() != 32 || !AllHex(packed))
        return false;
    std::string result = "{";
    size_t pos = 0;
    for (size_t group = 0; group < 5; ++group) {
        result += ShuffleGroup(packed.substr(pos, kGroups[group]), group);
        result += group < 4 ? '-' : '}';
        pos += kGroups[group];
    }
    guid = Upper(result);
    return true;
}

}  // namespace lab::win32

namespace {

// A caller lists the products by counting up from 0; what the first call listed serves the calls
// after it while no key is created or deleted.
struct ProductListing {
    std::mutex lock;
    const RegistryTree* pTree = nullptr;
    uint64_t generation = 0;
    bool bListed = false;
    std::vector<std::string> guids;
};

ProductListing& TheProductListing()
{
    static ProductListing* pListing = new ProductListing;  // used by static destructors too, so never destroyed
    return *pListing;
}

// Subkeys that are no packed code are not products and are passed over.
std::vector<std::string> ListProducts()
{
    std::vector<std::string> guids;
    RegistryTree::KeyRef products;
    std::vector<std::string> names;
    if (!OpenKey(kProducts, products) || Tree().SubKeyNames(products, names) != RegResult::Success)
        return guids;
    for (const std::string& name : names) {
        std::string guid;
        if (lab::win32::UnpackGuid(name, guid))
            guids.push_back(guid);
    }
    return guids;
}

}  // namespace

// Lists advertised products as well as installed ones, as Windows Installer does.
UINT WINAPI MsiEnumProductsA(DWORD iProductIndex, LPSTR lpProductBuf)
{
    if (!lpProductBuf)
        return ERROR_INVALID_PARAMETER;
    ProductListing& listing = TheProductListing();
    std::lock_guard<std::mutex> guard(listing.lock);
    const RegistryTree& tree = Tree();
    const uint64_t generation = tree.KeysGeneration();
    if (iProductIndex == 0 || !listing.bListed || listing.pTree != &tree || listing.generation != generation) {
        listing.guids = ListProducts();
        listing.pTree = &tree;
        listing.generation = generation;
        listing.bListed = true;
    }
    if (iProductIndex >= listing.guids.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& guid = listing.guids[iProductIndex];
    std::memcpy(lpProductBuf, guid.c_str(), guid.size() + 1);
    return ERROR_SUCCESS;
}

// A product is known once advertised; the properties of its installation need its UserData entry too.
UINT WINAPI MsiGetProductInfoA(LPCSTR szProduct, LPCSTR szAttribute, LPSTR lpValueBuf, LPDWORD pcchValueBuf)
{
    std::string packed;
    if (!szProduct || !szAttribute || (lpValueBuf && !pcchValueBuf) || !lab::win32::PackGuid(szProduct, packed))
        return ERROR_INVALID_PARAMETER;
    RegistryTree::KeyRef advertised;
    if (!OpenKey(std::string(kProducts) + "\\" + packed, advertised))
        return ERROR_UNKNOWN_PRODUCT;
    const Property* pProperty = FindProperty(szAttribute);
    if (!pProperty)
        return ERROR_UNKNOWN_PROPERTY;

    std::string value;
    if (pProperty->where == Kept::Advertised) {
        value = ReadValue(advertised, pProperty->value);
        std::string guid;
        if (std::strcmp(pProperty->name, INSTALLPROPERTY_PACKAGECODE) == 0 && lab::win32::UnpackGuid(value, guid))
            value = guid;
    } else {
        RegistryTree::KeyRef installed;
        if (!OpenKey(std::string(kInstalledProducts) + "\\" + packed, installed))
            return ERROR_UNKNOWN_PRODUCT;
        value = ReadValue(installed, std::string("InstallProperties\\") + pProperty->value);
    }

    if (!pcchValueBuf)
        return ERROR_SUCCESS;  // only asked whether the product and property exist
    DWORD dwSize = *pcchValueBuf;
    *pcchValueBuf = static_cast<DWORD>(value.size());
    if (!lpValueBuf)
        return ERROR_SUCCESS;
    if (dwSize > 0) {
        // A short buffer still gets what fits, terminated.
        size_t copied = value.size() < dwSize ? value.size() : dwSize - 1;
        std::memcpy(lpValueBuf, value.data(), copied);
        lpValueBuf[copied] = '\0';
    }
    return value.size() < dwSize ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

namespace {

// An open product: its code and the cached package the installation left, which names the
// features' titles.
class MsiProductObject : public lab::win32::KernelObject {
public:
    std::string packed;
    std::string packageHostPath;  // empty when the package is gone
};

const char kFeatures[] = "HKEY_CLASSES_ROOT\\Installer\\Features";

}  // namespace

// Only products installed here (with their UserData entry) can be opened.
UINT WINAPI MsiOpenProductA(LPCSTR szProduct, MSIHANDLE* phProduct)
{
    std::string packed;
    if (!szProduct || !phProduct || !lab::win32::PackGuid(szProduct, packed))
        return ERROR_INVALID_PARAMETER;
    RegistryTree::KeyRef installed;
    if (!OpenKey(std::string(kInstalledProducts) + "\\" + packed, installed))
        return ERROR_UNKNOWN_PRODUCT;
    auto pProduct = std::make_shared<MsiProductObject>();
    pProduct->packed = packed;
    std::string package = ReadValue(installed, "InstallProperties\\LocalPackage");
    if (!package.empty())
        pProduct->packageHostPath = lab::host::Host::Instance().TheDrives().HostPath(package, false);
    HANDLE h = lab::win32::InsertHandle(pProduct);
    *phProduct = static_cast<MSIHANDLE>(reinterpret_cast<uintptr_t>(h));
    return ERROR_SUCCESS;
}

// The features are the values of the product's Installer\Features key, in registry order.
UINT WINAPI MsiEnumFeaturesA(LPCSTR szProduct, DWORD iFeatureIndex, LPSTR lpFeatureBuf, LPSTR lpParentBuf)
{
    std::string packed;
    if (!szProduct || !lpFeatureBuf || !lab::win32::PackGuid(szProduct, packed))
        return ERROR_INVALID_PARAMETER;
    RegistryTree::KeyRef features;
    if (!OpenKey(std::string(kFeatures) + "\\" + packed, features))
        return ERROR_UNKNOWN_PRODUCT;
    RegValue feature;
    if (Tree().EnumValue(features, iFeatureIndex, feature) != RegResult::Success)
        return ERROR_NO_MORE_ITEMS;
    std::string parent = AsText(feature);
    if (feature.name.size() > MAX_FEATURE_CHARS || parent.size() > MAX_FEATURE_CHARS)
        return ERROR_FUNCTION_FAILED;
    std::memcpy(lpFeatureBuf, feature.name.c_str(), feature.name.size() + 1);
    if (lpParentBuf)
        std::memcpy(lpParentBuf, parent.c_str(), parent.size() + 1);
    return ERROR_SUCCESS;
}

// The title and help text come from the package's Feature table. Without a readable package the
// title is the feature's own name and the help text empty, which keeps profiles without cached
// packages usable.
UINT WINAPI MsiGetFeatureInfoA(MSIHANDLE hProduct, LPCSTR szFeature, LPDWORD lpAttributes, LPSTR lpTitleBuf,
                               LPDWORD pcchTitleBuf, LPSTR lpHelpBuf, LPDWORD pcchHelpBuf)
{
    std::shared_ptr<MsiProductObject> pProduct =
        lab::win32::LookupHandleAs<MsiProductObject>(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(hProduct)));
    if (!pProduct)
        return ERROR_INVALID_HANDLE;
    if (!szFeature || (lpTitleBuf && !pcchTitleBuf) || (lpHelpBuf && !pcchHelpBuf))
        return ERROR_INVALID_PARAMETER;
    RegistryTree::KeyRef features;
    RegValue feature;
    if (!OpenKey(std::string(kFeatures) + "\\" + pProduct->packed, features) ||
        Tree().GetValue(features, szFeature, feature) != RegResult::Success)
        return ERROR_UNKNOWN_FEATURE;

    std::string title = szFeature;
    std::string help;
    // A name with a quote cannot be put into the query; such a feature keeps its name as title.
    bool bQueryable = std::string(szFeature).find('\'') == std::string::npos;
    if (!pProduct->packageHostPath.empty() && bQueryable) {
        std::string where = " FROM `Feature` WHERE `Feature` = '" + std::string(szFeature) + "'";
        std::string packaged = lab::win32::ReadMsiField(pProduct->packageHostPath, "SELECT `Title`" + where);
        if (!packaged.empty()) {
            title = packaged;
            help = lab::win32::ReadMsiField(pProduct->packageHostPath, "SELECT `Description`" + where);
        }
    }
    if (lpAttributes)
        *lpAttributes = 0;
    UINT uTitle = lab::win32::CopyMsiText(title, lpTitleBuf, pcchTitleBuf);
    UINT uHelp = lab::win32::CopyMsiText(help, lpHelpBuf, pcchHelpBuf);
    return uTitle != ERROR_SUCCESS ? uTitle : uHelp;
}
