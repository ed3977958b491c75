// The base service's command header: 48 bytes before the data of every command and reply.
#pragma once

#include "src/platform/Win32.h"

#pragma pack(push, 1)
struct CommandHeader {
    char szSignature[4];  // "$SIP", not terminated
    BYTE bHeaderVersion;
    BYTE bReserved;
    WORD wHeaderSize;
    DWORD dwLen;    // data bytes after the header
    DWORD dwOC;     // command code
    DWORD dwOCExt;  // command extension
    DWORD dwOID;    // object id
    LONG lCABID;    // cabinet; -1 for the server itself
    LONG lStat;     // 0 = success
    DWORD dwReserved;
    WORD wMIDLow;
    WORD wMIDHigh;
    BYTE abReserved[8];
};
#pragma pack(pop)

static_assert(sizeof(CommandHeader) == 48, "the command header is 48 bytes");

const WORD COMMAND_HEADER_SIZE = 48;
const BYTE COMMAND_HEADER_VERSION = 2;
const LONG CABID_SERVER = -1;

// A header begins with "$SIP" and names a header size of at least 48 bytes.
bool IsValidCommandHeader(const CommandHeader* pCmdHeader);
// Signature, version 2 and size 48 on a zeroed header.
void InitCommandHeader(CommandHeader* pCmdHeader);
