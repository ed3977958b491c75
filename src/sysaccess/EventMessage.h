// The text of an event log record, expanded from the message files its source registered.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

class CEventMessage {
public:
    // pszComputer names a remote computer whose registry holds the source, or nullptr for this one.
    CEventMessage(const EVENTLOGRECORD* pRecord, LPCSTR pszComputer);

    // The message up to its first line break; nullptr when no message file yields one.
    LPCSTR Get() const { return static_cast<LPCSTR>(m_Message.Get()); }

private:
    CScopedLocalMemory m_Message;  // FormatMessageA's text
};
