// Where the interactive diagnosis keeps its reports and finds its pages.
#pragma once

#include "src/report/RuntimeLayout.h"

#include <string>

// Built from the runtime directory at the time of the call and the temporary directory, as the window
// does when it is constructed.
struct DiagPaths {
    std::string strXml;         // <temp>Status.xml
    std::string strStylesheet;  // <base>\XML\Status.xslt
    std::string strHtml;        // <base>\HTML\Status.htm
    std::string strStartPage;   // <base>\HTML\Start<locale>.htm, or Start.htm when that is missing

    static DiagPaths ForThisProcess(LCID lcid);
};
