// One command to the base service and, after the request, its reply: the header and the data in one buffer.
#pragma once

#include "src/baselink/CommandHeader.h"

#include <vector>

class CCommand {
public:
    // The smallest buffer: a header and four data bytes.
    static constexpr DWORD MIN_BUFFER = 52;

    CCommand(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId, LONG lCabinetId, LONG lStatus,
             const void* pData = nullptr, DWORD dwDataLength = 0);

    // Refills the five fields, clears the MID and the data.
    void Set(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId, LONG lCabinetId, LONG lStatus);

    // Null only when no buffer could be had.
    CommandHeader* GetHeader();
    BYTE* GetData();
    DWORD GetDataLength() const { return m_dwDataLength; }
    LONG GetStatus() const;
    void SetStatus(LONG lStatus);
    // The data as NUL-terminated text; "" without data.
    const char* GetText();

    // Takes a reply: its header and its data (the header's length follows the data; its header size stays
    // 48, the size of the header the buffer holds). False when no buffer could be had for it; the command
    // then has none.
    bool SetReply(const CommandHeader& header, const BYTE* pData, DWORD dwDataLength);
    // Makes sure a header exists (for marking a failed request); false when none could be had.
    bool EnsureBuffer();

private:
    bool Allocate(DWORD dwDataLength);

    std::vector<BYTE> m_Buffer;  // header, data, room for a terminating NUL
    DWORD m_dwDataLength;
};
