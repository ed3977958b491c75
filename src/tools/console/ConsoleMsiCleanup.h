// The installer registration clean-up on a console: the dialog's tree as a numbered list, its
// choices read as lines.
#pragma once

#include "src/tools/MsiCleanup.h"

#include <cstdio>

// Questions and messages are message boxes without an owner, which the console, or whoever stands in
// for the user, answers; the database path is a line of input (an empty line or the end of input
// cancels, as the file dialog's Cancel).
class CConsoleMsiCleanupView : public IMsiCleanupView {
public:
    CConsoleMsiCleanupView(FILE* pIn, FILE* pOut) : m_pIn(pIn), m_pOut(pOut) {}

    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override;
    void Show(const std::string& strText, const std::string& strCaption, UINT uStyle) override;
    bool ChooseDatabase(std::string& strPath) override;

    // A line of input without its line end; false at the end of input.
    bool ReadLine(std::string& strLine);
    void Print(const std::string& strText);

private:
    FILE* m_pIn;
    FILE* m_pOut;
};

// Lists the products with their features, asks for the product by its number and cleans it; then
// the dialog's end code after Exit: 1. An empty line or the end of input picks nothing.
int RunConsoleMsiCleanup(FILE* pIn = stdin, FILE* pOut = stdout);
