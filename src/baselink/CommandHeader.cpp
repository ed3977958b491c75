// The base service's command header: 48 bytes before the data of every command and reply.
#include "src/baselink/CommandHeader.h"

#include <cstring>

namespace {
const char SIGNATURE[4] = {'$', 'S', 'I', 'P'};
}

bool IsValidCommandHeader(const CommandHeader* pCmdHeader)
{
    return pCmdHeader && pCmdHeader->wHeaderSize >= COMMAND_HEADER_SIZE &&
           std::memcmp(pCmdHeader->szSignature, SIGNATURE, sizeof SIGNATURE) == 0;
}

void InitCommandHeader(CommandHeader* pCmdHeader)
{
    std::memcpy(pCmdHeader->szSignature, SIGNATURE, sizeof SIGNATURE);
    pCmdHeader->bHeaderVersion = COMMAND_HEADER_VERSION;
    pCmdHeader->wHeaderSize = COMMAND_HEADER_SIZE;
}
