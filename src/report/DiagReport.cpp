// The diagnosis run: the report document, its summary and the steps run in order.
#include "src/report/DiagReport.h"

#include "src/platform/RegistryText.h"
#include "src/platform/RegistryView.h"
#include "src/platform/ScopedHandle.h"
#include "src/trace/FileDebug.h"

#include <cstdio>

namespace {

const char* const kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

void ResetPositions(CXmlDocument& doc)
{
    doc.m_iPosParent = 0;
    doc.m_iPos = 0;
    doc.m_iPosChild = 0;
}

}  // namespace

bool EnterReportSection(CXmlDocument& doc, const char* pszSection)
{
    ResetPositions(doc);
    if (!doc.FindSibling("Root"))
        return false;
    if (!doc.FindChild(pszSection) && !doc.AddElement(pszSection, nullptr, CXmlDocument::ADD_CHILD))
        return false;
    return doc.Descend();
}

CDiagReport::CDiagReport(const std::vector<DiagStep>& steps)
    : m_dwWarnings(0), m_dwErrors(0), m_bCancel(0), m_Steps(steps), m_pObserver(nullptr)
{
}

CDiagReport::CDiagReport(const std::vector<DiagStep>& steps, IDiagStepObserver& observer) : CDiagReport(steps)
{
    m_pObserver = &observer;
}

void CDiagReport::BeginStep(DWORD dwStep, DWORD dwSequence, DWORD dwTotal)
{
    if (m_pObserver)
        m_pObserver->OnStepBegin(dwStep, dwSequence, dwTotal);
}

void CDiagReport::EndStep(DWORD dwStep, DWORD dwResult)
{
    if (m_pObserver)
        m_pObserver->OnStepEnd(dwStep, dwResult);
}

void CDiagReport::Run()
{
    m_dwWarnings = 0;
    m_dwErrors = 0;
    m_bCancel = 0;
    try {
        m_Document.LoadText(nullptr);
        m_Document.AddElement("Root", nullptr, 0);
        m_Document.SetAttribute(m_Document.m_iPos, "Version", "1.3");
        m_Document.SetAttribute(m_Document.m_iPos, "xmlns:xsi", kSchemaInstanceNamespace);
        if (!m_strSchemaLocation.empty())
            m_Document.SetAttribute(m_Document.m_iPos, "xsi:noNamespaceSchemaLocation", m_strSchemaLocation.c_str());
        if (WriteSummary()) {
            DWORD dwSequence = 0;
            for (const DiagStep& step : m_Steps)
                RunStep(*this, step.pfnCheck, step.dwStep, m_Document, dwSequence, STEP_TOTAL);
        }
    } catch (_ActionState) {
        // cancelled: the partial report is written below
    } catch (...) {
        // a failing check ends the sequence the same way
    }

    if (m_Document.CheckWellFormed()) {
        WriteReport(*this);
    } else {
        TRACE(1, "\nTriagist            : ERROR! XML file not well-formed!");
    }
}

bool CDiagReport::WriteSummary()
{
    CXmlDocument& doc = m_Document;
    ResetPositions(doc);
    if (!doc.FindSibling("Root"))
        return false;
    doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    doc.AddElement("Errors", nullptr, CXmlDocument::ADD_CHILD);
    doc.SetAttribute(doc.m_iPosChild, "Count", "0");
    doc.AddElement("Warnings", nullptr, CXmlDocument::ADD_CHILD);
    doc.SetAttribute(doc.m_iPosChild, "Count", "0");

    doc.Ascend();
    doc.Descend();
    if (!doc.FindChild("Created"))
        doc.AddElement("Created", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();

    SYSTEMTIME st;
    GetLocalTime(&st);
    char szDate[64];
    std::snprintf(szDate, sizeof szDate, "%04d/%02d/%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    doc.AddElement("Date", szDate, CXmlDocument::ADD_CHILD);

    char szComputer[MAX_PATH] = "";
    DWORD cchComputer = sizeof szComputer;
    if (!GetComputerNameA(szComputer, &cchComputer))
        szComputer[0] = '\0';
    doc.AddElement("Computer", szComputer, CXmlDocument::ADD_CHILD);

    CScopedRegKey key;
    RegOpenKey64(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", KEY_ALL_ACCESS,
                 key.Receive());
    char szCompany[MAX_PATH] = "";
    DWORD cbCompany = sizeof szCompany;
    DWORD dwType = 0;
    bool bCompany = key.Get() &&
                    RegQueryText(key.Get(), "RegisteredOrganization", &dwType, szCompany, &cbCompany) == ERROR_SUCCESS;
    doc.AddElement("Company", bCompany ? szCompany : "n/a", CXmlDocument::ADD_CHILD);

    doc.Ascend();
    doc.Ascend();
    return true;
}

bool CDiagReport::AddMessage(CXmlDocument& doc, const char* pszCategory, const char* pszText, const char* pszKind)
{
    doc.SaveNavigation("");
    bool bAdded = false;
    ResetPositions(doc);
    if (doc.FindSibling("Root")) {
        if (!doc.FindChild("Summary"))
            doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE);
        doc.Descend();
        if (!doc.FindChild(pszKind))
            doc.AddElement(pszKind, nullptr, CXmlDocument::ADD_CHILD);
        DWORD dwCount = lstrcmpiA(pszKind, "Errors") == 0 ? ++m_dwErrors : ++m_dwWarnings;
        doc.SetAttribute(doc.m_iPosChild, "Count", static_cast<int>(dwCount));
        doc.Descend();
        if (!doc.FindChild(pszCategory))
            doc.AddElement(pszCategory, nullptr, CXmlDocument::ADD_CHILD);
        doc.Descend();
        bAdded = doc.AddElement("Message", pszText, CXmlDocument::ADD_CHILD);
        doc.Ascend();
        doc.Ascend();
        doc.Ascend();
    }
    doc.RestoreNavigation("");
    return bAdded;
}

void RunStep(CDiagReport& report, DiagCheck pfnCheck, DWORD dwStep, CXmlDocument& doc, DWORD& dwSequence,
             DWORD dwTotal)
{
    DWORD dwThis = dwSequence++;
    report.BeginStep(dwStep, dwThis, dwTotal);
    if (report.m_bCancel) {
        report.EndStep(dwStep, STEP_CANCELLED);
        throw ACTION_CANCELLED;
    }
    DWORD dwResult = pfnCheck(report, doc);
    report.EndStep(dwStep, dwResult);
    if (report.m_bCancel) {
        report.EndStep(dwStep, STEP_CANCELLED);
        throw ACTION_CANCELLED;
    }
}
