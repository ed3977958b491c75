// The installer registration clean-up on a console.
#include "src/tools/console/ConsoleMsiCleanup.h"

#include "src/tools/console/ConsoleInput.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

int CConsoleMsiCleanupView::Ask(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    return MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), uStyle);
}

void CConsoleMsiCleanupView::Show(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), uStyle);
}

bool CConsoleMsiCleanupView::ChooseDatabase(std::string& strPath)
{
    Print("Installer database (Microsoft Installer Database, *.msi):");
    return ReadLine(strPath) && !strPath.empty();
}

bool CConsoleMsiCleanupView::ReadLine(std::string& strLine)
{
    return ReadInputLine(m_pIn, strLine);
}

void CConsoleMsiCleanupView::Print(const std::string& strText)
{
    PrintLine(m_pOut, strText);
}

int RunConsoleMsiCleanup(FILE* pIn, FILE* pOut)
{
    CConsoleMsiCleanupView view(pIn, pOut);
    CMsiCleanup cleanup(view);
    cleanup.ListProducts();
    // In the order the dialog's tree shows them: sorted by name.
    std::vector<const MsiProductEntry*> products;
    for (const MsiProductEntry& product : cleanup.Products())
        products.push_back(&product);
    std::stable_sort(products.begin(), products.end(), [](const MsiProductEntry* a, const MsiProductEntry* b) {
        return lstrcmpiA(a->strName.c_str(), b->strName.c_str()) < 0;
    });
    for (size_t i = 0; i < products.size(); ++i) {
        view.Print(std::to_string(i + 1) + ") " + products[i]->strName + " " + products[i]->strCode);
        for (const MsiFeatureEntry& feature : products[i]->features)
            view.Print("     " + feature.strTitle + " (" + feature.strName + ")");
    }
    view.Print("Product to remove the registration of (number, empty to exit):");
    std::string strLine;
    if (!view.ReadLine(strLine) || strLine.empty())
        return CMsiCleanup::END_EXIT;
    char* pEnd = nullptr;
    unsigned long ulChoice = std::strtoul(strLine.c_str(), &pEnd, 10);
    if (*pEnd != '\0' || ulChoice < 1 || ulChoice > products.size()) {
        view.Print("No product numbered \"" + strLine + "\".");
        return CMsiCleanup::END_EXIT;
    }
    cleanup.Clean(*products[ulChoice - 1]);
    return CMsiCleanup::END_EXIT;
}
