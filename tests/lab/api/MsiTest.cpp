// The Windows Installer's answers that need no product installed: unknown products, bad arguments and the end of
// the product list.
#include "tests/lab/ApiTestSupport.h"

#include <cstring>
#include <string>

using apitest::ProductInfo;

namespace {

class ApiMsi : public apitest::PlainMachine {};

// A well-formed product code no machine has.
const char kUnknown[] = "{2F0A61D4-8B3C-4E27-9D15-6A4C3B8E7F20}";

}  // namespace

TEST_F(ApiMsi, ProductListEndsWithNoMoreItems)
{
    char code[39];
    UINT result = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        std::strcpy(code, "untouched");
        if ((result = MsiEnumProductsA(index, code)) != ERROR_SUCCESS)
            break;
        // Each listed product is a braced code whose name can be read.
        EXPECT_EQ(38u, std::strlen(code));
        EXPECT_EQ('{', code[0]);
        EXPECT_NE("error 1605", ProductInfo(code, INSTALLPROPERTY_PRODUCTNAME)) << code;
    }
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS), result);
    EXPECT_STREQ("untouched", code);  // the end writes nothing
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_PARAMETER), MsiEnumProductsA(0, nullptr));
}

TEST_F(ApiMsi, UnknownProductsAndBadArguments)
{
    EXPECT_EQ("error 1605", ProductInfo(kUnknown, INSTALLPROPERTY_VERSIONSTRING));
    EXPECT_EQ("error 1605", ProductInfo("{2f0a61d4-8b3c-4e27-9d15-6a4c3b8e7f20}", INSTALLPROPERTY_PRODUCTNAME));

    EXPECT_EQ("error 87", ProductInfo("2F0A61D4-8B3C-4E27-9D15-6A4C3B8E7F20", INSTALLPROPERTY_VERSIONSTRING));
    EXPECT_EQ("error 87", ProductInfo("{2F0A61D4-8B3C-4E27-9D15-6A4C3B8E7F2G}", INSTALLPROPERTY_VERSIONSTRING));
    EXPECT_EQ("error 87", ProductInfo(nullptr, INSTALLPROPERTY_VERSIONSTRING));
    EXPECT_EQ("error 87", ProductInfo(kUnknown, nullptr));
    char value[16];
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_PARAMETER),
              MsiGetProductInfoA(kUnknown, INSTALLPROPERTY_VERSIONSTRING, value, nullptr));

    MSIHANDLE hProduct = 0;
    EXPECT_EQ(static_cast<UINT>(ERROR_UNKNOWN_PRODUCT), MsiOpenProductA(kUnknown, &hProduct));
    EXPECT_EQ(0u, hProduct);
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_PARAMETER), MsiOpenProductA("not a code", &hProduct));
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_PARAMETER), MsiOpenProductA(nullptr, &hProduct));
}

TEST_F(ApiMsi, DatabaseThatIsNotThereDoesNotOpen)
{
    // Both codes are documented for a database that cannot be opened.
    MSIHANDLE hDatabase = 0;
    UINT result = MsiOpenDatabaseA(File("Missing.msi").c_str(), MSIDBOPEN_READONLY, &hDatabase);
    EXPECT_TRUE(result == ERROR_OPEN_FAILED || result == ERROR_FUNCTION_FAILED) << result;
    EXPECT_EQ(0u, hDatabase);
    EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_HANDLE), MsiCloseHandle(0xBAD));
}
