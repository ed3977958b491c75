// Stands in for the text of an INI file: sections of key=value lines, names without regard to case.
#include "lab/host/IniFile.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace lab::host {

namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IniFile::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return true;
}

void IniFile::Parse(const std::string& text)
{
    m_entries.clear();
    m_sections.clear();
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            bool bKnown = false;
            for (const std::string& name : m_sections)
                bKnown = bKnown || EqualsNoCase(name, section);
            if (!bKnown)
                m_sections.push_back(section);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        // A blank and a semicolon start a comment, so values may still hold semicolons.
        std::string value = line.substr(eq + 1);
        size_t comment = value.find(" ;");
        if (comment == std::string::npos)
            comment = value.find("\t;");
        if (comment != std::string::npos)
            value.erase(comment);
        m_entries.push_back({section, Trim(line.substr(0, eq)), Trim(value)});
    }
}

std::string IniFile::Get(const std::string& section, const std::string& key, const std::string& fallback) const
{
    for (const Entry& e : m_entries) {
        if (EqualsNoCase(e.section, section) && EqualsNoCase(e.key, key))
            return e.value;
    }
    return fallback;
}

std::vector<std::pair<std::string, std::string>> IniFile::Section(const std::string& section) const
{
    std::vector<std::pair<std::string, std::string>> result;
    for (const Entry& e : m_entries) {
        if (EqualsNoCase(e.section, section))
            result.emplace_back(e.key, e.value);
    }
    return result;
}

}  // namespace lab::host
