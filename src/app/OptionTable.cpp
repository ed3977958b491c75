// Parsing of the command line into options and their values.
#include "src/app/OptionTable.h"

#include "src/platform/Win32.h"

#include <cstring>
#include <stdexcept>

bool COptionTable::IsOption(const char* pszArg)
{
    // "-5" and "/2" are values, so negative numbers can follow an option.
    return pszArg && std::strlen(pszArg) >= 2 && (pszArg[0] == '-' || pszArg[0] == '/') &&
           !(pszArg[1] >= '0' && pszArg[1] <= '9');
}

int COptionTable::Parse(int argc, char** argv, bool bUpperCaseNames)
{
    m_options.clear();
    std::string strCurrent;  // the empty name never matches an option
    for (int i = 1; i < argc; ++i) {
        if (IsOption(argv[i])) {
            std::string strName = argv[i];
            if (bUpperCaseNames)
                CharUpperA(&strName[0]);
            strCurrent = strName;
            std::vector<std::string> values;
            if (i + 1 < argc && !IsOption(argv[i + 1])) {
                if (argv[i + 1] && *argv[i + 1])
                    values.push_back(argv[i + 1]);
                ++i;
            }
            m_options.emplace(strName, std::move(values));  // a repeated option keeps its first values
        } else {
            auto it = m_options.find(strCurrent);
            if (it != m_options.end() && argv[i])
                it->second.push_back(argv[i]);
        }
    }
    return static_cast<int>(m_options.size());
}

bool COptionTable::Has(const std::string& strName) const
{
    return m_options.count(strName) != 0;
}

std::string COptionTable::Value(const std::string& strName, size_t nIndex, const std::string& strDefault) const
{
    try {
        return m_options.at(strName).at(nIndex);
    } catch (const std::out_of_range&) {
        return strDefault;
    }
}
