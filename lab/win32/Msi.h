// Stands in for msi.dll: the products Windows Installer knows, answered from its registration in the registry.
#pragma once

#include "lab/win32/WinDef.h"

#define ERROR_UNKNOWN_PRODUCT 1605L
#define ERROR_UNKNOWN_PROPERTY 1608L

// Properties of installed products.
#define INSTALLPROPERTY_INSTALLEDPRODUCTNAME "InstalledProductName"
#define INSTALLPROPERTY_VERSIONSTRING "VersionString"
#define INSTALLPROPERTY_HELPLINK "HelpLink"
#define INSTALLPROPERTY_HELPTELEPHONE "HelpTelephone"
#define INSTALLPROPERTY_INSTALLLOCATION "InstallLocation"
#define INSTALLPROPERTY_INSTALLSOURCE "InstallSource"
#define INSTALLPROPERTY_INSTALLDATE "InstallDate"
#define INSTALLPROPERTY_PUBLISHER "Publisher"
#define INSTALLPROPERTY_LOCALPACKAGE "LocalPackage"
#define INSTALLPROPERTY_URLINFOABOUT "URLInfoAbout"
#define INSTALLPROPERTY_URLUPDATEINFO "URLUpdateInfo"
#define INSTALLPROPERTY_VERSIONMINOR "VersionMinor"
#define INSTALLPROPERTY_VERSIONMAJOR "VersionMajor"
#define INSTALLPROPERTY_PRODUCTID "ProductID"
#define INSTALLPROPERTY_REGCOMPANY "RegCompany"
#define INSTALLPROPERTY_REGOWNER "RegOwner"
// Properties of advertised (and so also of installed) products.
#define INSTALLPROPERTY_PRODUCTNAME "ProductName"
#define INSTALLPROPERTY_PACKAGECODE "PackageCode"
#define INSTALLPROPERTY_VERSION "Version"
#define INSTALLPROPERTY_LANGUAGE "Language"
#define INSTALLPROPERTY_TRANSFORMS "Transforms"
#define INSTALLPROPERTY_ASSIGNMENTTYPE "AssignmentType"
#define INSTALLPROPERTY_PRODUCTICON "ProductIcon"
#define INSTALLPROPERTY_INSTANCETYPE "InstanceType"
#define INSTALLPROPERTY_AUTHORIZED_LUA_APP "AuthorizedLUAApp"
#define INSTALLPROPERTY_PACKAGENAME "PackageName"

// lpProductBuf holds 39 characters: a product code in braces and its terminator.
UINT WINAPI MsiEnumProductsA(DWORD iProductIndex, LPSTR lpProductBuf);
UINT WINAPI MsiGetProductInfoA(LPCSTR szProduct, LPCSTR szAttribute, LPSTR lpValueBuf, LPDWORD pcchValueBuf);
