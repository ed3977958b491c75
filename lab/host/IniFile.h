// Stands in for the text of an INI file: sections of key=value lines, names without regard to case.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lab::host {

class IniFile {
public:
    bool Load(const std::string& path);
    void Parse(const std::string& text);

    // Value of key in section, or fallback when either is missing.
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = "") const;
    // Every key=value of a section, in file order (a key may repeat).
    std::vector<std::pair<std::string, std::string>> Section(const std::string& section) const;
    // Section names in file order, each once, also those that hold no key.
    const std::vector<std::string>& SectionNames() const { return m_sections; }

private:
    struct Entry {
        std::string section, key, value;
    };
    std::vector<Entry> m_entries;
    std::vector<std::string> m_sections;
};

bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace lab::host
