// The registry entries Windows Installer leaves for a product installed per machine, as .reg text for test profiles.
#pragma once

#include "lab/win32/MsiControl.h"
#include "tests/support/TestText.h"

#include <cstdio>
#include <string>

namespace testsupport {

struct MsiProduct {
    std::string code;  // "{...}"
    std::string name;
    std::string version;  // "major.minor.build"
    std::string publisher;
    std::string installDate;  // "YYYYMMDD"
    std::string location;     // empty: the product has none
    std::string packageCode;  // empty: none registered
    bool bInstalled = true;  // false: only advertised, no UserData entry
};

inline std::string PackedCode(const std::string& guid)
{
    std::string packed;
    lab::win32::PackGuid(guid, packed);
    return packed;
}

inline std::string MsiRegistration(const MsiProduct& product)
{
    const std::string installer = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
    const std::string userData = installer + "\\UserData\\S-1-5-18";
    std::string packed = PackedCode(product.code);
    unsigned major = 0, minor = 0, build = 0;
    std::sscanf(product.version.c_str(), "%u.%u.%u", &major, &minor, &build);
    uint32_t version = (major << 24) | (minor << 16) | build;

    std::string reg = "[HKEY_CLASSES_ROOT\\Installer\\Products\\" + packed + "]\r\n";
    reg += RegLine("ProductName", RegString(product.name));
    if (!product.packageCode.empty())
        reg += RegLine("PackageCode", RegString(PackedCode(product.packageCode)));
    reg += RegLine("Language", RegDword(1033)) + RegLine("Version", RegDword(version));
    reg += RegLine("Assignment", RegDword(1)) + "\r\n";
    if (product.bInstalled) {
        reg += "[" + userData + "\\Products\\" + packed + "\\InstallProperties]\r\n";
        reg += RegLine("DisplayName", RegString(product.name));
        reg += RegLine("DisplayVersion", RegString(product.version));
        reg += RegLine("Publisher", RegString(product.publisher));
        reg += RegLine("InstallDate", RegString(product.installDate));
        if (!product.location.empty())
            reg += RegLine("InstallLocation", RegString(product.location));
        reg += RegLine("VersionMajor", RegDword(major)) + RegLine("VersionMinor", RegDword(minor)) + "\r\n";
    }
    return reg;
}

}  // namespace testsupport
