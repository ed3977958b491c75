// The report document against pugixml on the same report-shaped content: a summary block at the
// top, wide and deep check sections below it, then 1,000 findings filed into the summary the way
// they arrive during a run (from deep inside the last section, returning there each time).
// pugixml builds a tree and serialises it once at the end; CXmlDocument edits the final text in
// place, so every finding moves everything behind the summary.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <string>

#include "src/xml/XmlDocument.h"

namespace {

const int MESSAGES = 1000;
const char* const SECTIONS[] = {"System", "Eventlog", "OperatingSystem", "Network", "SnmpConfig",
                                "SnmpTest", "Quillmont", "RavelinInstall", "RavelinTest"};
const char* const CATEGORIES[] = {"SMBIOS", "Eventlog", "SNMP", "Network", "Ravelin", "Quillmont"};

class COurWriter {
public:
    void Start()
    {
        m_doc.LoadText(nullptr);
        m_doc.AddElement("Root", nullptr, 0);
        m_doc.SetAttribute(m_doc.m_iPos, "Version", "1.3");
        m_doc.SetAttribute(m_doc.m_iPos, "xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance");
    }
    void Child(const char* pszName, const char* pszData) { m_doc.AddElement(pszName, pszData, CXmlDocument::ADD_CHILD); }
    void Attr(const char* pszName, const char* pszValue) { m_doc.SetAttribute(m_doc.m_iPosChild, pszName, pszValue); }
    void Down() { m_doc.Descend(); }
    void Up() { m_doc.Ascend(); }
    void Message(const char* pszKind, const char* pszCategory, const char* pszText, int nCount)
    {
        m_doc.SaveNavigation("");
        m_doc.m_iPosParent = m_doc.m_iPos = m_doc.m_iPosChild = 0;
        if (m_doc.FindSibling("Root")) {
            if (!m_doc.FindChild("Summary"))
                m_doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE);
            m_doc.Descend();
            if (!m_doc.FindChild(pszKind))
                m_doc.AddElement(pszKind, nullptr, CXmlDocument::ADD_CHILD);
            m_doc.SetAttribute(m_doc.m_iPosChild, "Count", nCount);
            m_doc.Descend();
            if (!m_doc.FindChild(pszCategory))
                m_doc.AddElement(pszCategory, nullptr, CXmlDocument::ADD_CHILD);
            m_doc.Descend();
            m_doc.AddElement("Message", pszText, CXmlDocument::ADD_CHILD);
            m_doc.Ascend();
            m_doc.Ascend();
            m_doc.Ascend();
        }
        m_doc.RestoreNavigation("");
    }
    size_t Finish() { return m_doc.GetTextLength(); }

private:
    CXmlDocument m_doc;
};

class CPugiWriter {
public:
    void Start()
    {
        m_doc.reset();
        m_cur = m_doc.append_child("Root");
        m_cur.append_attribute("Version") = "1.3";
        m_cur.append_attribute("xmlns:xsi") = "http://www.w3.org/2001/XMLSchema-instance";
        m_last = pugi::xml_node();
    }
    void Child(const char* pszName, const char* pszData)
    {
        m_last = m_cur.append_child(pszName);
        if (pszData != nullptr && *pszData != '\0')
            m_last.append_child(pugi::node_pcdata).set_value(pszData);
    }
    void Attr(const char* pszName, const char* pszValue)
    {
        pugi::xml_attribute attr = m_last.attribute(pszName);
        if (!attr)
            attr = m_last.append_attribute(pszName);
        attr = pszValue;
    }
    void Down()
    {
        m_cur = m_last;
        m_last = pugi::xml_node();
    }
    void Up()
    {
        m_last = m_cur;
        m_cur = m_cur.parent();
    }
    void Message(const char* pszKind, const char* pszCategory, const char* pszText, int nCount)
    {
        pugi::xml_node root = m_doc.child("Root");
        pugi::xml_node summary = root.child("Summary");
        if (!summary)
            summary = root.prepend_child("Summary");
        pugi::xml_node kind = summary.child(pszKind);
        if (!kind)
            kind = summary.append_child(pszKind);
        pugi::xml_attribute count = kind.attribute("Count");
        if (!count)
            count = kind.append_attribute("Count");
        count = nCount;
        pugi::xml_node category = kind.child(pszCategory);
        if (!category)
            category = kind.append_child(pszCategory);
        category.append_child("Message").append_child(pugi::node_pcdata).set_value(pszText);
    }
    size_t Finish()
    {
        struct CStringWriter : pugi::xml_writer {
            std::string str;
            void write(const void* pData, size_t nSize) override { str.append(static_cast<const char*>(pData), nSize); }
        } writer;
        m_doc.save(writer, "", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_latin1);
        return writer.str.size();
    }

private:
    pugi::xml_document m_doc;
    pugi::xml_node m_cur, m_last;
};

// nItems items in each of the nine sections, each item three levels deep with attributes.
template <class TWriter>
size_t WriteReport(TWriter& w, int nItems)
{
    char szNumber[32];
    w.Start();
    w.Child("Summary", nullptr);
    w.Down();
    w.Child("Errors", nullptr);
    w.Attr("Count", "0");
    w.Child("Warnings", nullptr);
    w.Attr("Count", "0");
    w.Child("Created", nullptr);
    w.Down();
    w.Child("Date", "2024/05/17 10:42:03");
    w.Child("Computer", "SRV-QM-0042");
    w.Child("Company", "Marrowby");
    w.Up();
    w.Up();
    for (const char* pszSection : SECTIONS) {
        w.Child(pszSection, nullptr);
        w.Down();
        for (int i = 0; i < nItems; ++i) {
            std::snprintf(szNumber, sizeof(szNumber), "%d", i);
            w.Child("Item", nullptr);
            w.Attr("Index", szNumber);
            w.Attr("Status", (i % 7) != 0 ? "OK" : "Degraded");
            w.Down();
            w.Child("Name", "Quillmont Storage Agent <extension>");
            w.Child("Version", "4.12.0.1187");
            w.Child("Details", nullptr);
            w.Down();
            w.Child("Path", "C:\\Program Files\\Quillmont\\Agents\\qmstor.dll");
            w.Attr("Exists", "1");
            w.Child("Size", szNumber);
            w.Up();
            w.Up();
        }
        w.Up();
    }
    // Findings arrive while the last section is being written, deep inside it.
    w.Child("Tail", nullptr);
    w.Down();
    w.Child("Entry", nullptr);
    w.Down();
    for (int i = 0; i < MESSAGES; ++i) {
        const bool bError = (i % 3) != 0;
        w.Message(bError ? "Errors" : "Warnings", CATEGORIES[i % 6], "Service \"Ravelind\" is not running & not startable",
                  bError ? i - i / 3 : i / 3 + 1);
        w.Child("Line", "step");
    }
    w.Up();
    w.Up();
    return w.Finish();
}

template <class TWriter>
void BM_Report(benchmark::State& state)
{
    size_t nBytes = 0;
    for (auto _ : state) {
        TWriter w;
        nBytes = WriteReport(w, int(state.range(0)));
        benchmark::DoNotOptimize(nBytes);
    }
    state.counters["text_bytes"] = double(nBytes);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(nBytes));
}

// A run that writes nothing but the findings, for the cost of the in-place edits alone.
template <class TWriter>
void BM_MessagesOnly(benchmark::State& state)
{
    for (auto _ : state) {
        TWriter w;
        WriteReport(w, 0);
    }
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Report, COurWriter)->Name("XmlDocument/Report")->Arg(50)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Report, CPugiWriter)->Name("pugixml/Report")->Arg(50)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_MessagesOnly, COurWriter)->Name("XmlDocument/MessagesOnly")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_MessagesOnly, CPugiWriter)->Name("pugixml/MessagesOnly")->Unit(benchmark::kMillisecond);
