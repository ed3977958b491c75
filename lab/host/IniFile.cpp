// Stands in for the text of an INI file: sections of key=value lines, names without regard to case.
#include "lab/host/IniFile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace lab::host {

std::string TrimIni(const std::string& text)
{
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}

IniLine ParseIniLine(const std::string& line)
{
    IniLine result;
    std::string text = TrimIni(line);
    if (text.empty())
        return result;
    if (text[0] == ';') {
        result.kind = IniLine::kComment;
        return result;
    }
    if (text[0] == '[') {
        size_t close = text.find(']');
        result.kind = IniLine::kSection;
        result.name = TrimIni(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return result;
    }
    size_t eq = text.find('=');
    if (eq == std::string::npos) {
        result.kind = IniLine::kText;
        result.name = text;
        return result;
    }
    result.kind = IniLine::kEntry;
    result.name = TrimIni(text.substr(0, eq));
    result.value = TrimIni(text.substr(eq + 1));
    return result;
}

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
        IniLine parsed = ParseIniLine(line);
        if (parsed.kind == IniLine::kSection) {
            section = parsed.name;
            AddSection(section);
        }
        if (parsed.kind != IniLine::kEntry || parsed.name.compare(0, 1, "#") == 0)
            continue;
        // A blank and a semicolon start a comment, so values may still hold semicolons.
        std::string value = parsed.value;
        size_t comment = value.find(" ;");
        if (comment == std::string::npos)
            comment = value.find("\t;");
        if (comment != std::string::npos)
            value.erase(comment);
        m_entries.push_back({section, parsed.name, TrimIni(value)});
    }
}

void IniFile::Extend(const IniFile& over)
{
    auto replaced = [&over](const std::string& section) {
        for (const std::string& name : over.m_sections)
            if (EqualsNoCase(name, section))
                return true;
        return false;
    };
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& e) { return replaced(e.section); }),
                    m_entries.end());
    m_entries.insert(m_entries.end(), over.m_entries.begin(), over.m_entries.end());
    for (const std::string& section : over.m_sections)
        AddSection(section);
}

void IniFile::AddSection(const std::string& section)
{
    for (const std::string& known : m_sections)
        if (EqualsNoCase(known, section))
            return;
    m_sections.push_back(section);
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
