// Stands in for no Windows facility: reads the lab's own description files (event logs, process lists).
#include "lab/host/BlockFile.h"

#include "lab/host/IniFile.h"
#include "lab/host/ProfileValues.h"

#include <cctype>
#include <sstream>

namespace lab::host {

namespace {

// The inside of "...": false with a reason for an unknown escape or a missing closing quote.
bool Unquote(const std::string& quoted, std::string& value, std::string& reason)
{
    value.clear();
    for (size_t i = 1; i < quoted.size(); ++i) {
        char c = quoted[i];
        if (c == '"') {
            if (i + 1 != quoted.size()) {
                reason = "text after the closing quote";
                return false;
            }
            return true;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i == quoted.size())
            break;
        switch (quoted[i]) {
        case '\\': value += '\\'; break;
        case '"': value += '"'; break;
        case 't': value += '\t'; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 'x': {
            int hi = i + 2 < quoted.size() ? HexDigitValue(quoted[i + 1]) : -1;
            int lo = hi >= 0 ? HexDigitValue(quoted[i + 2]) : -1;
            if (lo < 0) {
                reason = "\\x needs two hexadecimal digits";
                return false;
            }
            value += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            reason = std::string("unknown escape \\") + quoted[i];
            return false;
        }
    }
    reason = "missing closing quote";
    return false;
}

}  // namespace

bool ParseBlocks(const std::string& text, std::vector<Block>& blocks, std::string& error)
{
    blocks.clear();
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    auto fail = [&](const std::string& reason) {
        error = "line " + std::to_string(lineNumber) + ": " + reason;
        blocks.clear();
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        std::string line = TrimIni(raw);
        if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line = TrimIni(line.substr(3));
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("unclosed [");
            blocks.push_back({TrimIni(line.substr(1, line.size() - 2)), lineNumber, {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            return fail("expected Key=Value");
        if (blocks.empty())
            return fail("value before the first [block]");
        BlockEntry entry{TrimIni(line.substr(0, eq)), TrimIni(line.substr(eq + 1)), lineNumber};
        if (entry.key.empty())
            return fail("empty key");
        std::string reason;
        const std::string written = entry.value;
        if (!ParseValue(written, entry.value, reason))
            return fail(reason);
        blocks.back().entries.push_back(entry);
    }
    return true;
}

bool ParseValue(const std::string& text, std::string& value, std::string& reason)
{
    if (text.empty() || text[0] != '"') {
        value = text;
        return true;
    }
    return Unquote(text, value, reason);
}

}  // namespace lab::host
