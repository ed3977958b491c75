// Writing the report document to its file, with the declaration and the stylesheet instruction.
#include "src/report/DiagReport.h"

#include "src/platform/ScopedHandle.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <string>

namespace {

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

bool WriteAll(HANDLE hFile, const char* pData, size_t cbData)
{
    DWORD dwWritten = 0;
    return WriteFile(hFile, pData, static_cast<DWORD>(cbData), &dwWritten, nullptr) && dwWritten == cbData;
}

}  // namespace

void WriteReport(CDiagReport& report)
{
    const char* pszPath = report.m_strOutputFile.c_str();
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    CScopedHandle file(CreateFileA(pszPath, GENERIC_WRITE, 0, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        TRACE(1, "\nTriagist            : ERROR! Could not create output file \"%s\"", pszPath);
        return;
    }

    // Write errors of the declaration and the text are not reported; the file is what it is.
    WriteAll(file.Get(), kDeclaration, sizeof kDeclaration - 1);

    if (report.m_strStylesheet.empty()) {
        TRACE(1, "\nTriagist            :  ERROR! XSLT file \"%s\" not found!",
              report.m_strStylesheet.c_str());
    } else {
        std::string strInstruction = "<?xml-stylesheet type=\"text/xsl\" href=\"" + report.m_strStylesheet + "\"?>\n";
        if (WriteAll(file.Get(), strInstruction.data(), strInstruction.size())) {
            TRACE(3, "\nTriagist            :  XSLT header successfully written to file \"%s\"", pszPath);
        } else {
            TRACE(1, "\nTriagist            :  ERROR! Failed to write XSLT header to file \"%s\"", pszPath);
        }
    }

    if (report.m_Document.GetTextLength() > 0)
        WriteAll(file.Get(), report.m_Document.GetText(), report.m_Document.GetTextLength());
}
