// The processors' brand names, asked of the base service through the command router.
#include "src/hardware/ProcessorBrand.h"

#include "tests/support/RouterProfile.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProcessorBrandTest, TheBaseServiceNamesEachProcessorItKnows)
{
    CRouterProfile host(std::string(ROUTER_SERVER) + "[Processors]\n0=Intel(R) Xeon(R) CPU E5345 @ 2.33GHz\n");
    std::string brand = "stale";
    EXPECT_EQ(QueryProcessorBrandName(0, brand), BRAND_FOUND);
    EXPECT_EQ(brand, "Intel(R) Xeon(R) CPU E5345 @ 2.33GHz");
    // A processor it does not know, and a router that cannot be reached.
    EXPECT_EQ(QueryProcessorBrandName(1, brand), BRAND_NO_ANSWER);
    EXPECT_EQ(brand, "");
    host.SetRunning(false);
    brand = "stale";
    EXPECT_EQ(QueryProcessorBrandName(0, brand), BRAND_NOT_REACHED);
    EXPECT_EQ(brand, "");
}
