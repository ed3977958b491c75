// Replaces what identifies a customer with stable placeholders: one value, one placeholder, in every file.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CRedactor {
public:
    // The kinds of value, each with placeholders in a form the profile's readers accept.
    enum Kind { NAME, ORGANISATION, SERIAL, UUID, ADDRESS, HARDWARE_ADDRESS, USER };

    // Remembers a value (blank or very short values are ignored: they would match everywhere).
    // The placeholder it gets, or the value when it is ignored.
    std::string Add(Kind kind, const std::string& strValue);
    // The text with every remembered value replaced, longest values first, case ignored.
    std::string Apply(const std::string& strText) const;

    const std::vector<std::pair<std::string, std::string>>& Values() const { return m_Values; }

private:
    std::vector<std::pair<std::string, std::string>> m_Values;  // original, placeholder
    int m_anCount[USER + 1] = {};
};
