// CXmlDescent: a level of a CXmlDocument entered by the caller, left again however the scope ends.
#pragma once

#include "src/xml/XmlDocument.h"

// Takes over the level the caller has just entered (Descend, or a helper that ends with it) and
// ascends out of it once: at Leave() or when the scope ends, by return, break or exception alike.
// An entry that failed is never left, as the cursor did not move.
class CXmlDescent {
public:
    CXmlDescent(CXmlDocument& doc, bool bEntered) : m_doc(doc), m_bEntered(bEntered) {}
    ~CXmlDescent() { Leave(); }
    CXmlDescent(const CXmlDescent&) = delete;
    CXmlDescent& operator=(const CXmlDescent&) = delete;

    bool IsEntered() const { return m_bEntered; }

    void Leave()
    {
        if (m_bEntered) {
            m_bEntered = false;
            m_doc.Ascend();
        }
    }

private:
    CXmlDocument& m_doc;
    bool m_bEntered;
};
