// What a capture took and what it could not take, told as it goes and summed up at the end.
#pragma once

#include "src/platform/Win32.h"

#include <cstdio>
#include <string>
#include <vector>

class CCaptureLog {
public:
    explicit CCaptureLog(FILE* pOut) : m_pOut(pOut) {}

    // A progress line: "[n/total] what".
    void Step(int nStep, int nSteps, const char* pszWhat);
    // One facility's outcome: "registry.reg: 84 keys".
    void Captured(const std::string& strWhat);
    // Something the capture could not read, with the Windows error that stopped it; the capture goes on.
    void Missed(const std::string& strWhat, DWORD dwError);
    void Missed(const std::string& strWhat, const std::string& strReason);

    // The summary block; its last line says whether anything was missed.
    void Summary() const;
    size_t MissedCount() const { return m_Missed.size(); }

private:
    FILE* m_pOut;
    std::vector<std::string> m_Captured;
    std::vector<std::string> m_Missed;
};
