// The clean-up of a broken Windows Installer registration: the installed products with their
// features, and the removal of one product's registry entries guided by its installer database.
// Nothing is uninstalled and no file is touched.
#pragma once

#include "src/platform/Win32.h"

#include <string>
#include <vector>

struct MsiFeatureEntry {
    std::string strName;
    std::string strParent;
    std::string strTitle;
};

struct MsiProductEntry {
    std::string strCode;  // "{...}"
    std::string strName;  // the installed product name
    std::vector<MsiFeatureEntry> features;
};

// What a window shows of a clean-up and asks its user.
class IMsiCleanupView {
public:
    virtual ~IMsiCleanupView() = default;
    // A question in a message box; the button pressed (IDYES, IDNO, ...).
    virtual int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) = 0;
    // A message in a message box.
    virtual void Show(const std::string& strText, const std::string& strCaption, UINT uStyle) = 0;
    // The installer database the user picked; false when the user cancelled.
    virtual bool ChooseDatabase(std::string& strPath) = 0;
};

// The packed form under which the installer's registry data names a GUID: the text split at
// "{", "-" and "}", the first three groups reversed, in the others each pair of characters
// swapped, all joined. False (and nothing packed) unless exactly five groups were found.
bool PackGuid(const std::string& strGuid, std::string& strPacked);

class CMsiCleanup {
public:
    // The clean-up's end codes in the dialog and on the console: the close box, Exit.
    enum { END_CLOSED = 0, END_EXIT = 1 };

    explicit CMsiCleanup(IMsiCleanupView& view) : m_View(view) {}

    // Fills the product entries from the installed products, once.
    void ListProducts();
    const std::vector<MsiProductEntry>& Products() const { return m_Products; }

    // Clean... for a product: the questions, the database check, then the removal.
    void Clean(const MsiProductEntry& product);

    // 0 when the database cannot be opened, 1 otherwise.
    DWORD CleanRegistration(LPCSTR pszDatabasePath);

    static std::string GetDatabaseProductCode(MSIHANDLE hDatabase);
    static std::string GetComponentId(MSIHANDLE hDatabase, const std::string& strComponent);

private:
    void RemoveComponentRegistration(MSIHANDLE hDatabase, const std::string& strFeature, const std::string& strPacked);

    IMsiCleanupView& m_View;
    std::vector<MsiProductEntry> m_Products;
};
