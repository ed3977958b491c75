// The command line as a table of options, each with the values that follow it.
#pragma once

#include <map>
#include <string>
#include <vector>

class COptionTable {
public:
    // Refills the table from argv[1..argc-1]; returns the number of distinct options.
    int Parse(int argc, char** argv, bool bUpperCaseNames);
    bool Has(const std::string& strName) const;
    std::string Value(const std::string& strName, size_t nIndex, const std::string& strDefault) const;

    static bool IsOption(const char* pszArg);

private:
    std::map<std::string, std::vector<std::string>> m_options;
};
