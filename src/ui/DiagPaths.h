// Where the interactive diagnosis keeps its reports and finds its pages.
#pragma once

#include "src/platform/Win32.h"

#include <string>

// Built from the current directory at the time of the call (not the program's directory) and the
// temporary directory, as the window does when it is constructed.
struct DiagPaths {
    std::string strBase;        // the current directory
    std::string strXml;         // <temp>Status.xml
    std::string strStylesheet;  // <base>\XML\Status.xslt
    std::string strHtml;        // <base>\HTML\Status.htm
    std::string strStartPage;   // <base>\HTML\Start<locale>.htm, or Start.htm when that is missing

    static DiagPaths ForThisProcess(LCID lcid);
};

// True when the file exists and can be opened for reading.
bool CanOpenForReading(const std::string& strPath);
