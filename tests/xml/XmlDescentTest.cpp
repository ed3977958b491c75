// CXmlDescent: the level it takes over is left once, at Leave() or when its scope ends, also by exception.
#include "src/xml/XmlDescent.h"

#include <gtest/gtest.h>

namespace {

class XmlDescentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_doc.LoadText("<Root><A><B/></A><C/></Root>"));
        ASSERT_TRUE(m_doc.FindSibling("Root"));
        ASSERT_TRUE(m_doc.FindChild("A"));
        m_iRoot = m_doc.m_iPos;
        m_iA = m_doc.m_iPosChild;
    }

    void ExpectAtA()
    {
        EXPECT_EQ(0, m_doc.m_iPosParent);
        EXPECT_EQ(m_iRoot, m_doc.m_iPos);
        EXPECT_EQ(m_iA, m_doc.m_iPosChild);
    }

    CXmlDocument m_doc;
    int m_iRoot = 0;
    int m_iA = 0;
};

}  // namespace

TEST_F(XmlDescentTest, LeavesOnceAtLeaveOrScopeEnd)
{
    {
        CXmlDescent level(m_doc, m_doc.Descend());
        EXPECT_TRUE(level.IsEntered());
        EXPECT_EQ(m_iA, m_doc.m_iPos);
    }
    ExpectAtA();
    {
        CXmlDescent level(m_doc, m_doc.Descend());
        level.Leave();
        ExpectAtA();
        EXPECT_FALSE(level.IsEntered());
        level.Leave();
    }
    ExpectAtA();
}

TEST_F(XmlDescentTest, NestedLevelsAreLeftByAnException)
{
    try {
        CXmlDescent outer(m_doc, m_doc.Descend());
        ASSERT_TRUE(m_doc.FindChild("B"));
        CXmlDescent inner(m_doc, m_doc.Descend());
        ASSERT_TRUE(inner.IsEntered());
        throw 1;
    } catch (int) {
    }
    ExpectAtA();
    // The cursor works on from there.
    ASSERT_TRUE(m_doc.AddElement("D", nullptr, CXmlDocument::ADD_CHILD));
    EXPECT_NE(std::string::npos, std::string(m_doc.GetText()).find("</A><D/>\r\n<C/></Root>"));
}

// Leaving what was never entered would move the cursor out of the caller's level.
TEST_F(XmlDescentTest, AFailedEntryIsNotLeft)
{
    ASSERT_TRUE(m_doc.Descend());
    ASSERT_TRUE(m_doc.Descend());  // into A, no child chosen
    {
        CXmlDescent level(m_doc, m_doc.Descend());
        EXPECT_FALSE(level.IsEntered());
    }
    EXPECT_EQ(m_iA, m_doc.m_iPosParent);
    EXPECT_EQ(0, m_doc.m_iPos);
}
