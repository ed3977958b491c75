// The brand name of a processor, as the agents' base service tells it through the command router.
#pragma once

#include <string>

enum EBrandLookup {
    BRAND_NOT_REACHED,  // the router could not be attached: the report shows an empty name
    BRAND_NO_ANSWER,    // the command failed: the report leaves the name out
    BRAND_FOUND
};

// Sends command 0x060B (extension 0, object id = the processor's index, cabinet all ones) and
// takes the reply's data as the name when its status is 0.
EBrandLookup QueryProcessorBrandName(int iProcessor, std::string& brand);
