#include "src/hardware/ProcessorBrand.h"

// The command router client is not part of this build yet, so the base service counts as not
// reachable, exactly as when the attach fails: the report shows an empty brand name.
EBrandLookup QueryProcessorBrandName(int iProcessor, std::string& brand)
{
    (void)iProcessor;
    brand.clear();
    return BRAND_NOT_REACHED;
}
