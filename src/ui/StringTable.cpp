// The program's string table, looked up in the user's language with its fall-backs.
#include "src/ui/StringTable.h"

#include <vector>

namespace {

const WORD LANGUAGE_USER_DEFAULT = 1024;
const WORD LANGUAGE_ENGLISH_US = 1033;
const UINT ENTRIES_PER_BLOCK = 16;

}  // namespace

std::string LoadStringForLanguage(UINT uId, WORD wLanguage)
{
    HMODULE hModule = GetModuleHandleA(nullptr);
    HRSRC hBlock = FindResourceExA(hModule, RT_STRING, MAKEINTRESOURCEA(uId / ENTRIES_PER_BLOCK + 1), wLanguage);
    HGLOBAL hData = hBlock ? LoadResource(hModule, hBlock) : nullptr;
    const BYTE* pBlock = hData ? static_cast<const BYTE*>(LockResource(hData)) : nullptr;
    if (!pBlock)
        return "";
    // Each entry of a block: a 16-bit length, then that many 16-bit characters.
    DWORD cbBlock = SizeofResource(hModule, hBlock);
    DWORD dwOffset = 0;
    for (UINT uEntry = 0;; ++uEntry) {
        if (dwOffset + 2 > cbBlock)
            return "";
        WORD cch = static_cast<WORD>(pBlock[dwOffset] | pBlock[dwOffset + 1] << 8);
        dwOffset += 2;
        if (uEntry == uId % ENTRIES_PER_BLOCK) {
            if (cch == 0 || dwOffset + 2u * cch > cbBlock)
                return "";
            std::vector<WCHAR> text(cch);
            for (WORD i = 0; i < cch; ++i)
                text[i] = static_cast<WCHAR>(pBlock[dwOffset + 2 * i] | pBlock[dwOffset + 2 * i + 1] << 8);
            int cb = WideCharToMultiByte(CP_ACP, 0, text.data(), cch, nullptr, 0, nullptr, nullptr);
            std::string result(cb > 0 ? static_cast<size_t>(cb) : 0, '\0');
            if (cb > 0)
                WideCharToMultiByte(CP_ACP, 0, text.data(), cch, &result[0], cb, nullptr, nullptr);
            return result;
        }
        dwOffset += 2u * cch;
    }
}

std::string LoadLocalizedString(UINT uId, WORD wLanguage)
{
    if (wLanguage == 0)
        wLanguage = LANGIDFROMLCID(GetThreadLocale());
    std::string text = LoadStringForLanguage(uId, wLanguage);
    if (text.empty())
        text = LoadStringForLanguage(uId, LANGUAGE_USER_DEFAULT);
    if (text.empty())
        text = LoadStringForLanguage(uId, LANGUAGE_ENGLISH_US);
    return text;
}
