// Stands in for the text of an INI file: sections of key=value lines, names without regard to case.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lab::host {

// One line of INI text, as both the lab's settings and the profile functions of kernel32 read it:
// "[name]" opens a section (text after the bracket is ignored), ";" starts a comment line,
// "key=value" is an entry (both sides trimmed of blanks), anything else is bare text.
// Whether a value carries a comment is for each reader to decide.
struct IniLine {
    enum Kind { kBlank, kComment, kSection, kEntry, kText };
    Kind kind = kBlank;
    std::string name;   // the section's name, the entry's key or the bare text
    std::string value;  // the entry's value
};
IniLine ParseIniLine(const std::string& line);
std::string TrimIni(const std::string& text);

class IniFile {
public:
    bool Load(const std::string& path);
    void Parse(const std::string& text);
    // Lays another file over this one: each section it has replaces this file's section of that name.
    void Extend(const IniFile& over);

    // Value of key in section, or fallback when either is missing.
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = "") const;
    // Every key=value of a section, in file order (a key may repeat).
    std::vector<std::pair<std::string, std::string>> Section(const std::string& section) const;
    // The names of the sections, in file order, each once (also those without keys).
    const std::vector<std::string>& Sections() const { return m_sections; }

private:
    void AddSection(const std::string& section);

    struct Entry {
        std::string section, key, value;
    };
    std::vector<Entry> m_entries;
    std::vector<std::string> m_sections;
};

bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace lab::host
