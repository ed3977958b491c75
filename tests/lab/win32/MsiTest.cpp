// The lab's Windows Installer: products and their properties from the installer's registration.
#include "tests/lab/ApiTestSupport.h"
#include "tests/lab/LabTestSupport.h"

#include "tests/support/MsiRegistration.h"
#include "tests/support/TempProfile.h"

#include <cstring>
#include <vector>

using namespace labtest;
using apitest::ProductInfo;
using testsupport::MsiProduct;
using testsupport::MsiRegistration;

namespace {

const char kAgents[] = "{C8D76C36-5739-489D-BF03-9E58B3F89C09}";
const char kBackup[] = "{2F0A61D4-8B3C-4E27-9D15-6A4C3B8E7F20}";
const char kAdvertised[] = "{9A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}";

MsiProduct Agents()
{
    return {kAgents, "Quillmont SNMP Agents", "4.20.1187", "Quillmont", "20250611",
            "C:\\Program Files\\Quillmont\\Agents\\", "{4A9D62B4-C70D-4263-9280-1C7FCE8AB0E7}", true};
}

MsiProduct Backup()
{
    return {kBackup, "Cobaltline Backup Agent", "11.2.4410", "Cobaltline Software", "20250102", "", "", true};
}

std::vector<std::string> AllProducts()
{
    std::vector<std::string> codes;
    char code[39];
    for (DWORD i = 0; MsiEnumProductsA(i, code) == ERROR_SUCCESS; ++i)
        codes.push_back(code);
    return codes;
}

}  // namespace

TEST(LabMsi, EnumeratesRegisteredProductsInRegistryOrder)
{
    MsiProduct advertised = Backup();
    advertised.code = kAdvertised;
    advertised.bInstalled = false;
    // A subkey that is no packed code is not a product.
    CTempProfile profile(MsiRegistration(Agents()) + MsiRegistration(Backup()) + MsiRegistration(advertised) +
                         "[HKEY_CLASSES_ROOT\\Installer\\Products\\NotAProduct]\r\n\"ProductName\"=\"x\"\r\n");

    // Ordered by the packed codes, as the registry lists them (4D16A0F2..., 63C67D8C..., D3C2B1A9...),
    // not by the codes themselves.
    EXPECT_EQ((std::vector<std::string>{kBackup, kAgents, kAdvertised}), AllProducts());

    char code[39];
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS), MsiEnumProductsA(1000, code));
    CTempProfile nothing("[HKEY_CLASSES_ROOT\\Installer]\r\n");
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS), MsiEnumProductsA(0, code));
}

TEST(LabMsi, PropertiesComeFromTheirRegistryValues)
{
    CTempProfile profile(MsiRegistration(Agents()) + MsiRegistration(Backup()) +
                         "[HKEY_CLASSES_ROOT\\Installer\\Products\\" + testsupport::PackedCode(kAgents) +
                         "\\SourceList]\r\n\"PackageName\"=\"QmSnmpAgents.msi\"\r\n");

    EXPECT_EQ("20", ProductInfo(kAgents, INSTALLPROPERTY_VERSIONMINOR));
    // A code in lower case finds the product the installer registered packed in upper case.
    EXPECT_EQ("4.20.1187", ProductInfo("{c8d76c36-5739-489d-bf03-9e58b3f89c09}", INSTALLPROPERTY_VERSIONSTRING));
    // Advertised properties: numbers in decimal, the package code unpacked, the package name from the source list.
    EXPECT_EQ("Quillmont SNMP Agents", ProductInfo(kAgents, INSTALLPROPERTY_PRODUCTNAME));
    EXPECT_EQ("1033", ProductInfo(kAgents, INSTALLPROPERTY_LANGUAGE));
    EXPECT_EQ(std::to_string((4u << 24) | (20u << 16) | 1187u), ProductInfo(kAgents, INSTALLPROPERTY_VERSION));
    EXPECT_EQ("{4A9D62B4-C70D-4263-9280-1C7FCE8AB0E7}", ProductInfo(kAgents, INSTALLPROPERTY_PACKAGECODE));
    EXPECT_EQ("QmSnmpAgents.msi", ProductInfo(kAgents, INSTALLPROPERTY_PACKAGENAME));
    EXPECT_EQ("1", ProductInfo(kAgents, INSTALLPROPERTY_ASSIGNMENTTYPE));

    // Known properties the product never set are empty, not errors.
    EXPECT_EQ("", ProductInfo(kBackup, INSTALLPROPERTY_INSTALLLOCATION));
    EXPECT_EQ("", ProductInfo(kBackup, INSTALLPROPERTY_PACKAGECODE));
    EXPECT_EQ("", ProductInfo(kBackup, INSTALLPROPERTY_HELPLINK));
}

TEST(LabMsi, UnknownProductsAndProperties)
{
    MsiProduct advertised = Backup();
    advertised.code = kAdvertised;
    advertised.bInstalled = false;
    CTempProfile profile(MsiRegistration(Agents()) + MsiRegistration(advertised));

    EXPECT_EQ("error 1605", ProductInfo(kBackup, "NoSuchProperty"));  // the product is looked for first
    EXPECT_EQ("error 1608", ProductInfo(kAgents, "NoSuchProperty"));
    EXPECT_EQ("error 1608", ProductInfo(kAgents, "versionstring"));  // property names are exact
    // Advertised but not installed: what the installation records is not there.
    EXPECT_EQ("Cobaltline Backup Agent", ProductInfo(kAdvertised, INSTALLPROPERTY_PRODUCTNAME));
    EXPECT_EQ("error 1605", ProductInfo(kAdvertised, INSTALLPROPERTY_INSTALLEDPRODUCTNAME));
}

TEST(LabMsi, BufferProtocol)
{
    CTempProfile profile(MsiRegistration(Agents()));
    const std::string version = "4.20.1187";
    auto getVersion = [](LPSTR lpValue, LPDWORD pcch) {
        return MsiGetProductInfoA(kAgents, INSTALLPROPERTY_VERSIONSTRING, lpValue, pcch);
    };
    const UINT kSuccess = ERROR_SUCCESS;
    const UINT kMoreData = ERROR_MORE_DATA;

    // No buffer: the length, without the terminator.
    DWORD cch = 0;
    EXPECT_EQ(kSuccess, getVersion(nullptr, &cch));
    EXPECT_EQ(version.size(), cch);
    // Neither buffer nor size: only whether the value can be had.
    EXPECT_EQ(kSuccess, getVersion(nullptr, nullptr));
    EXPECT_EQ(static_cast<UINT>(ERROR_UNKNOWN_PROPERTY), MsiGetProductInfoA(kAgents, "Nothing", nullptr, nullptr));

    // Exactly the room needed, then one character less.
    char value[32];
    cch = static_cast<DWORD>(version.size() + 1);
    EXPECT_EQ(kSuccess, getVersion(value, &cch));
    EXPECT_EQ(version.size(), cch);
    EXPECT_EQ(version, value);
    cch = static_cast<DWORD>(version.size());
    EXPECT_EQ(kMoreData, getVersion(value, &cch));
    EXPECT_EQ(version.size(), cch);
    EXPECT_EQ(version.substr(0, version.size() - 1), value);  // cut and terminated

    std::memset(value, 'x', sizeof value);
    cch = 0;
    EXPECT_EQ(kMoreData, getVersion(value, &cch));
    EXPECT_EQ(version.size(), cch);
    EXPECT_EQ('x', value[0]);  // no room, not even for the terminator

    // An empty value fits a buffer of one.
    MsiProduct noLocation = Agents();
    noLocation.location.clear();
    CTempProfile other(MsiRegistration(noLocation));
    cch = 1;
    EXPECT_EQ(kSuccess, MsiGetProductInfoA(kAgents, INSTALLPROPERTY_INSTALLLOCATION, value, &cch));
    EXPECT_EQ(0u, cch);
    EXPECT_STREQ("", value);
}
