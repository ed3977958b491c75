// Replaces what identifies a customer with stable placeholders: one value, one placeholder, in every file.
#include "src/capture/Redactor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

bool EqualNoCase(const std::string& strText, size_t nAt, const std::string& strValue)
{
    if (nAt + strValue.size() > strText.size())
        return false;
    for (size_t i = 0; i < strValue.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(strText[nAt + i])) !=
            std::toupper(static_cast<unsigned char>(strValue[i])))
            return false;
    return true;
}

// A value counts only as a whole word: "10.0.0.1" is not part of "10.0.0.15", nor "HOST" of "HOSTS".
bool IsWordAt(const std::string& strText, size_t nAt, size_t cch)
{
    auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    return (nAt == 0 || !isWordChar(strText[nAt - 1])) &&
           (nAt + cch >= strText.size() || !isWordChar(strText[nAt + cch]));
}

}  // namespace

std::string CRedactor::Add(Kind kind, const std::string& strValue)
{
    std::string strTrimmed = strValue;
    while (!strTrimmed.empty() && std::isspace(static_cast<unsigned char>(strTrimmed.back())))
        strTrimmed.pop_back();
    if (strTrimmed.size() < 3 || strTrimmed == "0.0.0.0" || strTrimmed == "127.0.0.1")
        return strValue;
    for (const auto& known : m_Values)
        if (known.first.size() == strTrimmed.size() && EqualNoCase(known.first, 0, strTrimmed))
            return known.second;

    int n = ++m_anCount[kind];
    char szPlaceholder[64];
    switch (kind) {
    case NAME:
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "HOST%d", n);
        break;
    case ORGANISATION:
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "Organisation %d", n);
        break;
    case SERIAL:
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "SERIAL%04d", n);
        break;
    case UUID:
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "00000000-0000-0000-0000-%012d", n);
        break;
    case ADDRESS:  // the documentation networks: never a customer's
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "192.0.2.%d", n % 254 + 1);
        break;
    case HARDWARE_ADDRESS:  // locally administered
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "02-00-00-00-%02X-%02X", (n >> 8) & 0xFF, n & 0xFF);
        break;
    case USER:
        std::snprintf(szPlaceholder, sizeof szPlaceholder, "user%d", n);
        break;
    }
    m_Values.emplace_back(strTrimmed, szPlaceholder);
    return szPlaceholder;
}

std::string CRedactor::Apply(const std::string& strText) const
{
    std::vector<const std::pair<std::string, std::string>*> order;
    for (const auto& value : m_Values)
        order.push_back(&value);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->first.size() > b->first.size(); });
    std::string strOut;
    strOut.reserve(strText.size());
    for (size_t i = 0; i < strText.size();) {
        const std::pair<std::string, std::string>* pMatch = nullptr;
        for (const auto* pValue : order)
            if (EqualNoCase(strText, i, pValue->first) && IsWordAt(strText, i, pValue->first.size())) {
                pMatch = pValue;
                break;
            }
        if (pMatch) {
            strOut += pMatch->second;
            i += pMatch->first.size();
        } else {
            strOut += strText[i++];
        }
    }
    return strOut;
}
