// One command to the base service and, after the request, its reply: the header and the data in one buffer.
#include "src/baselink/Command.h"

#include <cstring>
#include <new>

CCommand::CCommand(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId, LONG lCabinetId, LONG lStatus,
                   const void* pData, DWORD dwDataLength)
    : m_dwDataLength(0)
{
    if (!Allocate(pData ? dwDataLength : 0))
        return;
    Set(dwCode, dwExtension, dwObjectId, lCabinetId, lStatus);
    if (pData && dwDataLength > 0) {
        std::memcpy(GetData(), pData, dwDataLength);
        m_dwDataLength = dwDataLength;
        GetHeader()->dwLen = dwDataLength;
    }
}

bool CCommand::Allocate(DWORD dwDataLength)
{
    try {
        size_t cbBuffer = sizeof(CommandHeader) + static_cast<size_t>(dwDataLength);
        std::vector<BYTE> buffer(cbBuffer < MIN_BUFFER ? MIN_BUFFER : cbBuffer + 1, 0);
        InitCommandHeader(reinterpret_cast<CommandHeader*>(buffer.data()));
        m_Buffer.swap(buffer);
        return true;
    } catch (const std::bad_alloc&) {
        m_Buffer.clear();
        m_Buffer.shrink_to_fit();
        m_dwDataLength = 0;
        return false;
    }
}

bool CCommand::EnsureBuffer()
{
    return !m_Buffer.empty() || Allocate(0);
}

void CCommand::Set(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId, LONG lCabinetId, LONG lStatus)
{
    CommandHeader* pHeader = GetHeader();
    if (!pHeader)
        return;
    pHeader->dwOC = dwCode;
    pHeader->dwOCExt = dwExtension;
    pHeader->dwOID = dwObjectId;
    pHeader->lCABID = lCabinetId;
    pHeader->lStat = lStatus;
    pHeader->wMIDLow = 0;
    pHeader->wMIDHigh = 0;
    pHeader->dwLen = 0;
    m_dwDataLength = 0;
}

CommandHeader* CCommand::GetHeader()
{
    return m_Buffer.empty() ? nullptr : reinterpret_cast<CommandHeader*>(m_Buffer.data());
}

BYTE* CCommand::GetData()
{
    return m_Buffer.empty() ? nullptr : m_Buffer.data() + sizeof(CommandHeader);
}

LONG CCommand::GetStatus() const
{
    return m_Buffer.empty() ? 0 : reinterpret_cast<const CommandHeader*>(m_Buffer.data())->lStat;
}

void CCommand::SetStatus(LONG lStatus)
{
    if (CommandHeader* pHeader = GetHeader())
        pHeader->lStat = lStatus;
}

const char* CCommand::GetText()
{
    if (m_dwDataLength == 0 || m_Buffer.empty())
        return "";
    size_t cbText = sizeof(CommandHeader) + m_dwDataLength;
    if (m_Buffer[cbText - 1] != '\0') {
        // Room for the NUL that the reply did not bring.
        if (m_Buffer.size() <= cbText)
            m_Buffer.resize(cbText + 1);
        m_Buffer[cbText] = '\0';
    }
    return reinterpret_cast<const char*>(GetData());
}

bool CCommand::SetReply(const CommandHeader& header, const BYTE* pData, DWORD dwDataLength)
{
    if (!Allocate(dwDataLength))
        return false;
    if (dwDataLength > 0)
        std::memcpy(GetData(), pData, dwDataLength);
    m_dwDataLength = dwDataLength;
    CommandHeader* pHeader = GetHeader();
    *pHeader = header;
    // The buffer holds a header of 48 bytes whatever size the reply claimed for its own.
    pHeader->wHeaderSize = COMMAND_HEADER_SIZE;
    pHeader->dwLen = m_dwDataLength;
    return true;
}
