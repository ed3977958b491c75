// What a capture took and what it could not take, told as it goes and summed up at the end.
#include "src/capture/CaptureLog.h"

#include "src/trace/FileDebug.h"

void CCaptureLog::Step(int nStep, int nSteps, const char* pszWhat)
{
    std::fprintf(m_pOut, "[%d/%d] %s\n", nStep, nSteps, pszWhat);
    std::fflush(m_pOut);
}

void CCaptureLog::Captured(const std::string& strWhat)
{
    m_Captured.push_back(strWhat);
}

void CCaptureLog::Missed(const std::string& strWhat, DWORD dwError)
{
    char szReason[32];
    std::snprintf(szReason, sizeof szReason, "error %lu", static_cast<unsigned long>(dwError));
    Missed(strWhat, szReason);
}

void CCaptureLog::Missed(const std::string& strWhat, const std::string& strReason)
{
    TRACE(2, "\ntriagist-capture    : not captured: %s (%s)", strWhat.c_str(), strReason.c_str());
    m_Missed.push_back(strWhat + " (" + strReason + ")");
}

void CCaptureLog::Summary() const
{
    std::fprintf(m_pOut, "Captured:\n");
    for (const std::string& strLine : m_Captured)
        std::fprintf(m_pOut, "  %s\n", strLine.c_str());
    if (m_Missed.empty()) {
        std::fprintf(m_pOut, "Nothing was left out.\n");
        return;
    }
    std::fprintf(m_pOut, "Not captured:\n");
    for (const std::string& strLine : m_Missed)
        std::fprintf(m_pOut, "  %s\n", strLine.c_str());
}
