// Runs a console front end of the tools on given input.
#pragma once

#include "tests/support/TestText.h"

#include <cstdio>
#include <string>
#include <utility>

// The front end's end code and everything it wrote, with the input lines on its standard input.
template <typename FrontEnd>
std::pair<int, std::string> RunConsole(FrontEnd run, const std::string& input)
{
    FILE* pIn = testsupport::InputFile(input);
    FILE* pOut = std::tmpfile();
    int nEnd = run(pIn, pOut);
    std::string text = testsupport::WrittenText(pOut);
    std::fclose(pIn);
    std::fclose(pOut);
    return {nEnd, text};
}
