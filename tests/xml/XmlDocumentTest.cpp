// The XML document: building, loading, editing and the position table.
#include "src/xml/XmlDocument.h"

#include "src/report/DiagReport.h"
#include "tests/support/XmlParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Text(const CXmlDocument& doc)
{
    return std::string(doc.GetText(), doc.GetTextLength());
}

// A fresh load of the text must index exactly what the edits left in the table.
void ExpectSameTable(const CXmlDocument& doc)
{
    CXmlDocument reloaded;
    reloaded.LoadText(doc.GetText());
    std::vector<std::pair<int, int>> aTodo{{0, 0}};
    size_t nCompared = 0;
    while (!aTodo.empty()) {
        const auto pair = aTodo.back();
        aTodo.pop_back();
        CXmlDocument::SElementInfo a{}, b{};
        ASSERT_TRUE(doc.GetElementInfo(pair.first, a));
        ASSERT_TRUE(reloaded.GetElementInfo(pair.second, b));
        EXPECT_EQ(a.nStart, b.nStart);
        ASSERT_EQ(a.nLength, b.nLength) << "element at " << a.nStart;
        EXPECT_EQ(a.nStartTagLength, b.nStartTagLength);
        EXPECT_EQ(a.nEndTagLength, b.nEndTagLength);
        EXPECT_EQ(a.nLevel, b.nLevel);
        EXPECT_EQ(a.bFirstChild, b.bFirstChild);
        ASSERT_EQ(a.iNext == 0, b.iNext == 0);
        ASSERT_EQ(a.iFirstChild == 0, b.iFirstChild == 0);
        if (pair.first != 0 && a.iNext != 0)
            aTodo.emplace_back(a.iNext, b.iNext);
        if (a.iFirstChild != 0)
            aTodo.emplace_back(a.iFirstChild, b.iFirstChild);
        ++nCompared;
    }
    EXPECT_GT(nCompared, 1u);
}

class XmlDocumentTest : public ::testing::Test {
protected:
    void StartRoot()
    {
        doc.LoadText(nullptr);
        ASSERT_TRUE(doc.AddElement("Root", nullptr, 0));
    }
    CXmlDocument doc;
};

// ---- Building ----

TEST_F(XmlDocumentTest, EmptyDocumentBecomesWellFormedWithRoot)
{
    EXPECT_FALSE(doc.LoadText(nullptr));
    EXPECT_EQ(doc.GetError(), "Empty document");
    EXPECT_FALSE(doc.LoadText(""));
    EXPECT_EQ(doc.GetError(), "Empty document");
    EXPECT_FALSE(doc.CheckWellFormed());

    ASSERT_TRUE(doc.AddElement("Root", nullptr, 0));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "Version", "1.3"));
    EXPECT_EQ(Text(doc), "<Root Version=\"1.3\"/>\r\n");
    EXPECT_EQ(doc.GetTextLength(), 23u);
    EXPECT_TRUE(doc.CheckWellFormed());
}

TEST_F(XmlDocumentTest, FirstChildOpensAnEmptyParent)
{
    StartRoot();
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "Version", "1.3"));
    ASSERT_TRUE(doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD));
    EXPECT_EQ(Text(doc), "<Root Version=\"1.3\">\r\n<Summary/>\r\n</Root>\r\n");

    // The same for an empty element deep inside, between siblings.
    ASSERT_TRUE(doc.AddElement("Next", "x", CXmlDocument::ADD_CHILD));
    doc.m_iPosChild = 0;
    ASSERT_TRUE(doc.FindChild("Summary"));
    ASSERT_TRUE(doc.Descend());
    ASSERT_TRUE(doc.AddElement("Errors", nullptr, CXmlDocument::ADD_CHILD));
    EXPECT_EQ(Text(doc), "<Root Version=\"1.3\">\r\n<Summary>\r\n<Errors/>\r\n</Summary>\r\n<Next>x</Next>\r\n</Root>\r\n");
    EXPECT_TRUE(doc.CheckWellFormed());
    ExpectSameTable(doc);
}

TEST_F(XmlDocumentTest, PlacementFlags)
{
    StartRoot();
    ASSERT_TRUE(doc.AddElement("A", nullptr, CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.AddElement("C", nullptr, CXmlDocument::ADD_CHILD));
    // Child flag appends after the child position...
    doc.m_iPosChild = 0;
    ASSERT_TRUE(doc.FindChild("A"));
    ASSERT_TRUE(doc.AddElement("B", 2, CXmlDocument::ADD_CHILD));
    // ...0x6000 puts the new element in front of all others...
    doc.m_iPosChild = 0;
    ASSERT_TRUE(doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE));
    // ...and with a child position, in front of that child.
    ASSERT_TRUE(doc.AddElement("First", nullptr, CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE));
    EXPECT_EQ(Text(doc), "<Root>\r\n<First/>\r\n<Summary/>\r\n<A/>\r\n<B>2</B>\r\n<C/>\r\n</Root>\r\n");

    // Without the child flag the new element is a sibling of the current one and becomes current.
    ASSERT_TRUE(doc.FindChild("C"));
    ASSERT_TRUE(doc.Descend());
    ASSERT_TRUE(doc.AddElement("D", -7, 0));
    ASSERT_TRUE(doc.AddElement("CC", nullptr, CXmlDocument::ADD_BEFORE));
    EXPECT_EQ(Text(doc), "<Root>\r\n<First/>\r\n<Summary/>\r\n<A/>\r\n<B>2</B>\r\n<C/>\r\n<CC/>\r\n<D>-7</D>\r\n</Root>\r\n");
    ExpectSameTable(doc);
}

TEST_F(XmlDocumentTest, RefusesWhatWouldBreakTheMarkup)
{
    EXPECT_FALSE(doc.AddElement("Child", nullptr, CXmlDocument::ADD_CHILD));  // no current element
    StartRoot();
    const std::string strBefore = Text(doc);
    for (const char* pszName : {static_cast<const char*>(nullptr), "", "1st", "a b", "a>b", "x/"})
        EXPECT_FALSE(doc.AddElement(pszName, "data", CXmlDocument::ADD_CHILD)) << (pszName ? pszName : "(null)");
    EXPECT_FALSE(doc.SetAttribute(doc.m_iPos, "a=\"x\" b", "v"));
    EXPECT_FALSE(doc.SetAttribute(0, "Version", "1"));
    EXPECT_FALSE(doc.SetAttribute(12345, "Version", "1"));
    EXPECT_FALSE(doc.SetAttribute(-1, "Version", "1"));
    EXPECT_EQ(Text(doc), strBefore);
}

// ---- Escaping ----

TEST_F(XmlDocumentTest, EscapesDataAndAttributeValues)
{
    StartRoot();
    ASSERT_TRUE(doc.AddElement("Data", "a<b & \"c\"", CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Value", "a<b & \"c\""));
    ASSERT_TRUE(doc.AddElement("More", "it's > &amp; \xE4\xF6", CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Value", "it's"));
    EXPECT_EQ(Text(doc), "<Root>\r\n"
                         "<Data Value=\"a&lt;b &amp; &quot;c&quot;\">a&lt;b &amp; \"c\"</Data>\r\n"
                         "<More Value=\"it&apos;s\">it's &gt; &amp;amp; \xE4\xF6</More>\r\n"
                         "</Root>\r\n");
    ExpectSameTable(doc);
}

TEST_F(XmlDocumentTest, BytesNoXmlCanCarryBecomeDotsInDataAndAttributes)
{
    std::string strEvery;
    for (int c = 1; c < 256; ++c)
        strEvery += static_cast<char>(c);
    StartRoot();
    ASSERT_TRUE(doc.AddElement("Data", strEvery.c_str(), CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Value", strEvery.c_str()));
    ASSERT_TRUE(doc.AddElement("Bell", "\x07", CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Name", "esc\x1b[0m\v\f"));

    const std::string strText = Text(doc);
    const std::string strDeclared = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + strText;
    EXPECT_EQ(testsupport::XmlParseError(strDeclared), "");
    const std::string strControls = "........\t\n..\r" + std::string(18, '.');
    EXPECT_NE(strText.find("<Data Value=\"" + strControls + " !&quot;#$%&amp;&apos;()"), std::string::npos) << strText;
    EXPECT_NE(strText.find("\">" + strControls + " !\"#$%&amp;'()"), std::string::npos) << strText;
    EXPECT_NE(strText.find("<Bell Name=\"esc.[0m..\">.</Bell>"), std::string::npos);
    ExpectSameTable(doc);
}

// ---- Attributes ----

TEST_F(XmlDocumentTest, AttributeSetAgainKeepsItsPlace)
{
    StartRoot();
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "Count", 1));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "Counter", "x"));
    ASSERT_TRUE(doc.AddElement("Child", "text", CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "Count", 12345));
    EXPECT_EQ(Text(doc), "<Root Count=\"12345\" Counter=\"x\">\r\n<Child>text</Child>\r\n</Root>\r\n");
    // Shrinking moves everything behind it back.
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "Count", 0));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Kind", "k"));
    EXPECT_EQ(Text(doc), "<Root Count=\"0\" Counter=\"x\">\r\n<Child Kind=\"k\">text</Child>\r\n</Root>\r\n");
    ExpectSameTable(doc);
}

TEST_F(XmlDocumentTest, AttributesOfLoadedText)
{
    ASSERT_TRUE(doc.LoadText("<R a='1' b = \"2\" c=\"3\" ><E x=\"y\" /></R>"));
    ASSERT_TRUE(doc.FindSibling("R"));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "b", "two"));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "a", "one"));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPos, "d", "4"));
    ASSERT_TRUE(doc.FindChild("E"));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "z", ""));
    EXPECT_EQ(Text(doc), "<R a=\"one\" b = \"two\" c=\"3\" d=\"4\" ><E x=\"y\" z=\"\" /></R>");
    ExpectSameTable(doc);
}

// ---- Navigation ----

TEST_F(XmlDocumentTest, FindMatchesWholeNamesInOrder)
{
    ASSERT_TRUE(doc.LoadText("<Root><Item a=\"1\"/><Items/><It/><Item>2</Item><x:Item/></Root>"));
    doc.m_iPosParent = doc.m_iPos = doc.m_iPosChild = 0;
    ASSERT_TRUE(doc.FindSibling("Root"));
    EXPECT_EQ(doc.m_iPosParent, 0);

    CXmlDocument::SElementInfo info{};
    ASSERT_TRUE(doc.FindChild("Item"));
    ASSERT_TRUE(doc.GetElementInfo(doc.m_iPosChild, info));
    EXPECT_EQ(Text(doc).substr(info.nStart, info.nLength), "<Item a=\"1\"/>");
    ASSERT_TRUE(doc.FindChild("Item"));
    ASSERT_TRUE(doc.GetElementInfo(doc.m_iPosChild, info));
    EXPECT_EQ(Text(doc).substr(info.nStart, info.nLength), "<Item>2</Item>");
    const int iSecond = doc.m_iPosChild;
    EXPECT_FALSE(doc.FindChild("Item"));
    EXPECT_EQ(doc.m_iPosChild, iSecond);

    doc.m_iPosChild = 0;
    int nAny = 0;
    while (doc.FindChild(nullptr))
        ++nAny;
    EXPECT_EQ(nAny, 5);
    EXPECT_FALSE(doc.FindSibling("Root"));  // no second top element
}

TEST_F(XmlDocumentTest, DescendAndAscend)
{
    ASSERT_TRUE(doc.LoadText("<Root><A><A1/></A><B/></Root>"));
    EXPECT_FALSE(doc.Descend());  // nothing current yet
    EXPECT_TRUE(doc.FindChild("A"));  // finds Root on the way
    const int iRoot = doc.m_iPos, iA = doc.m_iPosChild;
    EXPECT_EQ(doc.m_iPosParent, 0);
    EXPECT_FALSE(doc.Ascend());  // at the top

    ASSERT_TRUE(doc.Descend());
    EXPECT_EQ(doc.m_iPosParent, iRoot);
    EXPECT_EQ(doc.m_iPos, iA);
    EXPECT_EQ(doc.m_iPosChild, 0);
    ASSERT_TRUE(doc.FindChild("A1"));
    ASSERT_TRUE(doc.Descend());
    ASSERT_TRUE(doc.Descend());  // into A1, which has nothing current
    EXPECT_EQ(doc.m_iPos, 0);
    EXPECT_FALSE(doc.FindSibling(nullptr));

    ASSERT_TRUE(doc.Ascend());
    ASSERT_TRUE(doc.Ascend());
    ASSERT_TRUE(doc.Ascend());
    EXPECT_EQ(doc.m_iPos, iRoot);
    EXPECT_EQ(doc.m_iPosChild, iA);
    EXPECT_FALSE(doc.Ascend());
    ASSERT_TRUE(doc.FindChild("B"));
}

TEST_F(XmlDocumentTest, TwoTopElementsAreNotWellFormed)
{
    StartRoot();
    EXPECT_TRUE(doc.CheckWellFormed());
    ASSERT_TRUE(doc.AddElement("Other", nullptr, 0));
    EXPECT_EQ(Text(doc), "<Root/>\r\n<Other/>\r\n");
    EXPECT_FALSE(doc.CheckWellFormed());

    EXPECT_FALSE(doc.LoadText("<A/><B/>"));
    EXPECT_FALSE(doc.CheckWellFormed());
    EXPECT_TRUE(doc.FindSibling("B"));
}

// ---- Saved positions ----

TEST_F(XmlDocumentTest, SaveAndRestoreEachKind)
{
    ASSERT_TRUE(doc.LoadText("<Root><A><A1/></A><B/></Root>"));
    EXPECT_FALSE(doc.RestoreNavigation(""));

    // Parent only (inside an element, nothing current).
    ASSERT_TRUE(doc.FindChild("A"));
    ASSERT_TRUE(doc.Descend());
    ASSERT_TRUE(doc.Descend());
    const int iA = doc.m_iPosParent;
    ASSERT_TRUE(doc.SaveNavigation("parent"));
    // Current.
    doc.GoToTop();
    ASSERT_TRUE(doc.FindSibling("Root"));
    ASSERT_TRUE(doc.FindChild("B"));
    ASSERT_TRUE(doc.Descend());
    const int iRoot = doc.m_iPosParent, iB = doc.m_iPos;
    ASSERT_TRUE(doc.SaveNavigation("current"));
    // Child; "a" and "h" share a bucket and must stay apart.
    ASSERT_TRUE(doc.Ascend());
    ASSERT_TRUE(doc.SaveNavigation("a"));
    doc.m_iPosChild = 0;
    ASSERT_TRUE(doc.FindChild("A"));
    ASSERT_TRUE(doc.SaveNavigation("h"));

    doc.GoToTop();
    ASSERT_TRUE(doc.RestoreNavigation("parent"));
    EXPECT_EQ(doc.m_iPosParent, iA);
    EXPECT_EQ(doc.m_iPos, 0);
    EXPECT_EQ(doc.m_iPosChild, 0);
    ASSERT_TRUE(doc.RestoreNavigation("current"));
    EXPECT_EQ(doc.m_iPosParent, iRoot);
    EXPECT_EQ(doc.m_iPos, iB);
    EXPECT_EQ(doc.m_iPosChild, 0);
    ASSERT_TRUE(doc.RestoreNavigation("a"));
    EXPECT_EQ(doc.m_iPosParent, 0);
    EXPECT_EQ(doc.m_iPos, iRoot);
    EXPECT_EQ(doc.m_iPosChild, iB);
    ASSERT_TRUE(doc.RestoreNavigation("h"));
    EXPECT_EQ(doc.m_iPosChild, iA);
    // Bytes above 127 count as negative values.
    ASSERT_TRUE(doc.SaveNavigation("\xFC\xE4"));
    doc.GoToTop();
    ASSERT_TRUE(doc.RestoreNavigation("\xFC\xE4"));
    EXPECT_EQ(doc.m_iPosChild, iA);

    // Saving again replaces; loading forgets everything.
    ASSERT_TRUE(doc.SaveNavigation("a"));
    ASSERT_TRUE(doc.RestoreNavigation("a"));
    EXPECT_EQ(doc.m_iPosChild, iA);
    EXPECT_FALSE(doc.RestoreNavigation("unknown"));
    doc.LoadText("<Root/>");
    EXPECT_FALSE(doc.RestoreNavigation("a"));
}

TEST_F(XmlDocumentTest, MessagesFiledIntoAnEarlyElement)
{
    CDiagReport report(std::vector<DiagStep>{});  // files findings the way every check does
    StartRoot();
    ASSERT_TRUE(doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.Descend());
    ASSERT_TRUE(doc.AddElement("Errors", nullptr, CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Count", 0));
    ASSERT_TRUE(doc.Ascend());
    // A check's section, written while findings arrive from its depth.
    ASSERT_TRUE(doc.AddElement("Network", nullptr, CXmlDocument::ADD_CHILD));
    ASSERT_TRUE(doc.Descend());
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(doc.AddElement("Adapter", nullptr, CXmlDocument::ADD_CHILD));
        ASSERT_TRUE(doc.SetAttribute(doc.m_iPosChild, "Index", i));
        ASSERT_TRUE(doc.Descend());
        ASSERT_TRUE(doc.AddElement("Name", "eth", CXmlDocument::ADD_CHILD));
        if (i % 10 == 0) {
            ASSERT_TRUE(report.AddMessage(doc, i == 20 ? "DNS" : "SNMP", "no <route>", "Errors"));
        }
        ASSERT_TRUE(doc.AddElement("Speed", 1000, CXmlDocument::ADD_CHILD));
        ASSERT_TRUE(doc.Ascend());
    }
    ASSERT_TRUE(report.AddMessage(doc, "Eventlog", "full", "Warnings"));
    ASSERT_TRUE(doc.AddElement("Last", nullptr, CXmlDocument::ADD_CHILD));

    const std::string strText = Text(doc);
    const std::string strHead =
        "<Root>\r\n<Summary>\r\n<Errors Count=\"5\">\r\n<SNMP>\r\n"
        "<Message>no &lt;route&gt;</Message>\r\n<Message>no &lt;route&gt;</Message>\r\n"
        "<Message>no &lt;route&gt;</Message>\r\n<Message>no &lt;route&gt;</Message>\r\n</SNMP>\r\n"
        "<DNS>\r\n<Message>no &lt;route&gt;</Message>\r\n</DNS>\r\n</Errors>\r\n"
        "<Warnings Count=\"1\">\r\n<Eventlog>\r\n<Message>full</Message>\r\n</Eventlog>\r\n</Warnings>\r\n"
        "</Summary>\r\n<Network>\r\n<Adapter Index=\"0\">\r\n";
    EXPECT_EQ(strText.substr(0, strHead.size()), strHead);
    // Each adapter stayed in one piece, and the writer went on where it was.
    EXPECT_NE(strText.find("<Adapter Index=\"20\">\r\n<Name>eth</Name>\r\n<Speed>1000</Speed>\r\n</Adapter>"),
              std::string::npos);
    EXPECT_NE(strText.find("</Adapter>\r\n<Last/>\r\n</Network>\r\n</Root>\r\n"), std::string::npos);
    EXPECT_TRUE(doc.CheckWellFormed());
    ExpectSameTable(doc);
}

// ---- Size ----

TEST_F(XmlDocumentTest, IndicesSurviveGrowthPastOneSegment)
{
    StartRoot();
    const int nCount = 70000;
    std::vector<int> aIndex;
    aIndex.reserve(nCount);
    for (int i = 0; i < nCount; ++i) {
        ASSERT_TRUE(doc.AddElement("E", i, CXmlDocument::ADD_CHILD));
        aIndex.push_back(doc.m_iPosChild);
    }
    EXPECT_GE(aIndex.back(), 65536);
    ASSERT_TRUE(doc.SetAttribute(aIndex[3], "Mark", "early"));
    ASSERT_TRUE(doc.SetAttribute(aIndex[nCount - 2], "Mark", "late"));
    const std::string strText = Text(doc);
    for (int i : {0, 3, 65534, 65535, 65536, 65537, nCount - 2, nCount - 1}) {
        CXmlDocument::SElementInfo info{};
        ASSERT_TRUE(doc.GetElementInfo(aIndex[size_t(i)], info));
        const std::string strTag = i == 3 ? "<E Mark=\"early\">" : i == nCount - 2 ? "<E Mark=\"late\">" : "<E>";
        EXPECT_EQ(strText.substr(info.nStart, info.nLength), strTag + std::to_string(i) + "</E>");
    }
    ExpectSameTable(doc);
    // Growth of a table that was built by loading.
    CXmlDocument loaded;
    ASSERT_TRUE(loaded.LoadText(doc.GetText()));
    ASSERT_TRUE(loaded.FindSibling("Root"));
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(loaded.AddElement("F", nullptr, CXmlDocument::ADD_CHILD));
    ExpectSameTable(loaded);
}

// ---- Loading ----

TEST_F(XmlDocumentTest, LoadsWellFormedMarkupOnly)
{
    const char* pszText = "<?xml version=\"1.0\"?>\n<!-- report -->\n<Root a=\"&lt;\">x<![CDATA[<y>]]>&#65;<B/></Root>\n";
    ASSERT_TRUE(doc.LoadText(pszText)) << doc.GetError();
    EXPECT_EQ(Text(doc), pszText);
    ASSERT_TRUE(doc.FindChild("B"));
    ASSERT_TRUE(doc.AddElement("C", nullptr, CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE));
    EXPECT_EQ(Text(doc), "<?xml version=\"1.0\"?>\n<!-- report -->\n<Root a=\"&lt;\">x<![CDATA[<y>]]>&#65;<C/>\r\n<B/></Root>\n");
    ExpectSameTable(doc);

    for (const char* pszBad : {"<Root>", "<Root></Rot>", "<Root a=1/>", "<Root a=\"1\" a=\"2\"/>", "<Root>&nbsp;</Root>",
                               "<Root/>text", "<Root><!-- a -- b --></Root>", "<Root>]]></Root>", "x<?xml version=\"1.0\"?>",
                               "<Root>\x1b</Root>", "<Root a=\"\v\"/>"}) {
        EXPECT_FALSE(doc.LoadText(pszBad)) << pszBad;
        EXPECT_NE(doc.GetError().find("offset"), std::string::npos) << pszBad;
        EXPECT_FALSE(doc.CheckWellFormed()) << pszBad;
        EXPECT_FALSE(doc.FindSibling(nullptr)) << pszBad;
        EXPECT_EQ(Text(doc), pszBad);
    }
    EXPECT_FALSE(doc.LoadText("<!-- nothing -->"));
    EXPECT_EQ(doc.GetError(), "No element");
}

}  // namespace
