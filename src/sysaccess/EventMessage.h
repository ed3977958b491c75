// The text of an event log record, expanded from the message files its source registered.
#pragma once

#include "src/platform/Win32.h"

class CEventMessage {
public:
    // pszComputer names a remote computer whose registry holds the source, or nullptr for this one.
    CEventMessage(const EVENTLOGRECORD* pRecord, LPCSTR pszComputer);
    ~CEventMessage();
    CEventMessage(const CEventMessage&) = delete;
    CEventMessage& operator=(const CEventMessage&) = delete;

    // The message up to its first line break; nullptr when no message file yields one.
    LPCSTR Get() const { return m_pszMessage; }

private:
    LPSTR m_pszMessage;
};
