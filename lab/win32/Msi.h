// Stands in for msi.dll: the products Windows Installer knows, answered from its registration in the registry,
// and installer databases, read from real .msi files with libmsi.
#pragma once

#include "lab/win32/WinDef.h"

#define ERROR_UNKNOWN_PRODUCT 1605L
#define ERROR_UNKNOWN_PROPERTY 1608L
#define ERROR_UNKNOWN_FEATURE 1606L
#define ERROR_INVALID_HANDLE_STATE 1609L
#define ERROR_BAD_QUERY_SYNTAX 1615L
#define ERROR_OPEN_FAILED 110L
#define ERROR_FUNCTION_FAILED 1627L

typedef DWORD MSIHANDLE;

// How MsiOpenDatabaseA opens a database: a small number in place of a path.
#define MSIDBOPEN_READONLY (LPCSTR)0
#define MSIDBOPEN_TRANSACT (LPCSTR)1
#define MSIDBOPEN_DIRECT (LPCSTR)2
#define MSIDBOPEN_CREATE (LPCSTR)3
#define MSIDBOPEN_CREATEDIRECT (LPCSTR)4

// A feature's name has at most this many characters.
#define MAX_FEATURE_CHARS 38

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

UINT WINAPI MsiOpenProductA(LPCSTR szProduct, MSIHANDLE* phProduct);
// lpFeatureBuf and lpParentBuf hold MAX_FEATURE_CHARS + 1 characters each.
UINT WINAPI MsiEnumFeaturesA(LPCSTR szProduct, DWORD iFeatureIndex, LPSTR lpFeatureBuf, LPSTR lpParentBuf);
UINT WINAPI MsiGetFeatureInfoA(MSIHANDLE hProduct, LPCSTR szFeature, LPDWORD lpAttributes, LPSTR lpTitleBuf,
                               LPDWORD pcchTitleBuf, LPSTR lpHelpBuf, LPDWORD pcchHelpBuf);

UINT WINAPI MsiOpenDatabaseA(LPCSTR szDatabasePath, LPCSTR szPersist, MSIHANDLE* phDatabase);
UINT WINAPI MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView);
UINT WINAPI MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord);
UINT WINAPI MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord);
MSIHANDLE WINAPI MsiCreateRecord(UINT cParams);
UINT WINAPI MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue);
UINT WINAPI MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf, LPDWORD pcchValueBuf);
UINT WINAPI MsiCloseHandle(MSIHANDLE hAny);
