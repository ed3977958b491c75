// The lab's Windows Installer listing products by index: the listing follows the registry between calls.
#include "tests/lab/LabTestSupport.h"

#include "tests/support/MsiRegistration.h"
#include "tests/support/TempProfile.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace labtest;
using testsupport::MsiProduct;
using testsupport::MsiRegistration;

namespace {

// Products with codes that list in the order of n (the first group of a code is packed reversed).
MsiProduct Numbered(unsigned n)
{
    char code[39];
    std::snprintf(code, sizeof code, "{%08X-1111-4222-8333-444455556666}", (n & 0xF) << 28 | (n >> 4));
    return {code, "Product " + std::to_string(n), "1.0.0", "", "", "", "", true};
}

std::string Product(DWORD index)
{
    char code[39] = "";
    UINT result = MsiEnumProductsA(index, code);
    return result == ERROR_SUCCESS ? std::string(code) : "error " + std::to_string(result);
}

std::string ProductsKey(const MsiProduct& product)
{
    return "Installer\\Products\\" + testsupport::PackedCode(product.code);
}

}  // namespace

TEST(LabMsiEnumeration, ConsecutiveIndexesFollowTheRegistry)
{
    std::string registry;
    for (unsigned n = 0; n < 40; ++n)
        registry += MsiRegistration(Numbered(n));
    CTempProfile profile(registry);
    for (DWORD i = 0; i < 40; ++i)
        ASSERT_EQ(Numbered(i).code, Product(i)) << i;
    EXPECT_EQ("error 259", Product(40));

    // A product registered in the middle of a listing shows at the indexes after it.
    ASSERT_EQ(Numbered(0).code, Product(0));
    ASSERT_EQ(Numbered(1).code, Product(1));
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, ProductsKey(Numbered(40)).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    RegCloseKey(hKey);
    EXPECT_EQ(Numbered(2).code, Product(2));
    EXPECT_EQ(Numbered(40).code, Product(40));

    // One removed: the indexes after it move up.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, ProductsKey(Numbered(3)).c_str()));
    EXPECT_EQ(Numbered(4).code, Product(3));
    EXPECT_EQ("error 259", Product(40));

    // Asked out of order, or starting anywhere, the answers are the same.
    EXPECT_EQ(Numbered(39).code, Product(38));
    EXPECT_EQ(Numbered(1).code, Product(1));

    // Another profile loaded between two calls is another registry.
    CTempProfile other(MsiRegistration(Numbered(7)) + MsiRegistration(Numbered(9)));
    EXPECT_EQ(Numbered(9).code, Product(1));
    EXPECT_EQ("error 259", Product(2));
}
