// The few moves every check makes when it writes its findings into the current element.
#pragma once

#include "src/xml/XmlDocument.h"

// Appends a child with text (null: none) to the current element.
inline bool AddChild(CXmlDocument& doc, const char* pszName, const char* pszText)
{
    return doc.AddElement(pszName, pszText, CXmlDocument::ADD_CHILD);
}

// Appends a child and enters it; Ascend leaves it again.
inline bool EnterNewChild(CXmlDocument& doc, const char* pszName)
{
    return doc.AddElement(pszName, nullptr, CXmlDocument::ADD_CHILD) && doc.Descend();
}

// The same for a child that carries a Name attribute.
inline bool EnterNamedChild(CXmlDocument& doc, const char* pszElement, const char* pszName)
{
    return doc.AddElement(pszElement, nullptr, CXmlDocument::ADD_CHILD) &&
           doc.SetAttribute(doc.m_iPosChild, "Name", pszName) && doc.Descend();
}
