// The brand name of a processor, as the agents' base service tells it through the command router.
#include "src/hardware/ProcessorBrand.h"

#include "src/baselink/Command.h"
#include "src/baselink/VexilClient.h"

#include <memory>

namespace {

const DWORD COMMAND_PROCESSOR_BRAND = 0x060B;
const LONG STATUS_FIELD = 19;

}  // namespace

// One client per processor, as the base service is asked about each one on its own.
EBrandLookup QueryProcessorBrandName(int iProcessor, std::string& brand)
{
    brand.clear();
    std::unique_ptr<CVexilClient> pClient(new CVexilClient);
    if (!pClient->Attach())
        return BRAND_NOT_REACHED;
    CCommand command(COMMAND_PROCESSOR_BRAND, 0, static_cast<DWORD>(iProcessor), CABID_SERVER, STATUS_FIELD);
    EBrandLookup result = BRAND_NO_ANSWER;
    if (pClient->SendCommand(command, 0, 0, 0) == 0) {
        brand = command.GetText();
        result = BRAND_FOUND;
    }
    pClient->Detach();
    return result;
}
