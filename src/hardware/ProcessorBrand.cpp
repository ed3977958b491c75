#include "src/hardware/ProcessorBrand.h"

#include "src/hardware/HardwareTrace.h"

// The command router client is not part of this build yet, so the base service counts as not
// reachable, exactly as when the attach fails.
EBrandLookup QueryProcessorBrandName(int iProcessor, std::string& brand)
{
    brand.clear();
    HW_TRACE(3, "\nTriagist            : No command router client, brand name of CPU %d not available", iProcessor);
    return BRAND_NOT_REACHED;
}
