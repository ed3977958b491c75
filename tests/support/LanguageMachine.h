// A server with a chosen user's default language and thread locale, for the tests of the program's texts.
#pragma once

#include "src/platform/Win32.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class CLanguageMachineTest : public ::testing::Test {
protected:
    // A server whose user's default language is wUserLanguage, with the thread's locale set to lcid.
    void Machine(WORD wUserLanguage, LCID lcid)
    {
        m_pProfile = std::make_unique<CTempProfile>("", "[System]\nUserLanguage=" + std::to_string(wUserLanguage) + "\n");
        SetThreadLocale(lcid);
    }
    void TearDown() override { SetThreadLocale(1033); }

    std::unique_ptr<CTempProfile> m_pProfile;
};
