// The XSLT processor the program runs to turn a report into HTML:
//   xslt.exe <input.xml> <stylesheet.xslt> <output.html>
// Exit code 0 on success, non-zero on any failure (with a line on standard error).
#include <cstdio>

namespace {

enum ExitCode { EXIT_OK = 0, EXIT_USAGE = 1, EXIT_STYLESHEET = 2, EXIT_INPUT = 3, EXIT_TRANSFORM = 4, EXIT_OUTPUT = 5 };

int Fail(int code, const char* what, const char* path)
{
    std::fprintf(stderr, "xslt: %s: %s\n", what, path);
    return code;
}

}  // namespace

#ifdef _WIN32

#include <windows.h>
#include <msxml2.h>
#include <shlwapi.h>
#include <cstring>
#include <string>

namespace {

// The help's texts the page shows beside its findings, in the stylesheet's folder.
const char kHelpFile[] = "Findings.xml";

// BSTR and COM pointers released on every path.
template <class T>
class CComPtrLite {
public:
    CComPtrLite() : m_p(nullptr) {}
    ~CComPtrLite()
    {
        if (m_p)
            m_p->Release();
    }
    CComPtrLite(const CComPtrLite&) = delete;
    CComPtrLite& operator=(const CComPtrLite&) = delete;
    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Attach(T* p)
    {
        if (m_p)
            m_p->Release();
        m_p = p;
    }

private:
    T* m_p;
};

class CBstr {
public:
    explicit CBstr(const char* psz)
    {
        int cch = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
        std::wstring wide(cch > 0 ? cch : 1, L'\0');
        MultiByteToWideChar(CP_ACP, 0, psz, -1, &wide[0], cch);
        m_b = SysAllocString(wide.c_str());
    }
    CBstr() : m_b(nullptr) {}
    ~CBstr() { SysFreeString(m_b); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_b; }
    BSTR* operator&() { return &m_b; }

private:
    BSTR m_b;
};

bool LoadDocument(const char* pszPath, CComPtrLite<IXMLDOMDocument>& doc)
{
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)) &&
        FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid)))
        return false;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(&doc))))
        return false;
    doc->put_async(VARIANT_FALSE);
    doc->put_validateOnParse(VARIANT_FALSE);
    doc->put_resolveExternals(VARIANT_FALSE);
    CBstr path(pszPath);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = path.Get();
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    return SUCCEEDED(doc->load(source, &bLoaded)) && bLoaded == VARIANT_TRUE;
}

class CVariant {
public:
    CVariant() { VariantInit(&m_v); }
    ~CVariant() { VariantClear(&m_v); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    VARIANT* operator&() { return &m_v; }
    const VARIANT& Get() const { return m_v; }

private:
    VARIANT m_v;
};

// The top-level xsl:param of that name, or nothing.
bool FindParameter(IXMLDOMDocument* style, const wchar_t* pszName, CComPtrLite<IXMLDOMElement>& found)
{
    CComPtrLite<IXMLDOMElement> root;
    if (FAILED(style->get_documentElement(&root)) || !root.Get())
        return false;
    CComPtrLite<IXMLDOMNode> node;
    root->get_firstChild(&node);
    while (node.Get()) {
        CBstr name;
        CComPtrLite<IXMLDOMElement> element;
        if (SUCCEEDED(node->get_nodeName(&name)) && name.Get() && lstrcmpW(name.Get(), L"xsl:param") == 0 &&
            SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&element)))) {
            CBstr attribute("name");
            CVariant value;
            if (SUCCEEDED(element->getAttribute(attribute.Get(), &value)) && value.Get().vt == VT_BSTR &&
                lstrcmpW(value.Get().bstrVal, pszName) == 0) {
                found.Attach(element.Detach());
                return true;
            }
        }
        CComPtrLite<IXMLDOMNode> next;
        node->get_nextSibling(&next);
        node.Attach(next.Detach());
    }
    return false;
}

// The page reads the help's texts with document() from the file beside the stylesheet. MSXML resolves that
// relative name against no base (Wine's) or refuses document() unless allowed (MSXML 6), so the stylesheet's
// help-file parameter gets the file's absolute URL and the function is allowed.
void AllowHelpFile(const char* pszStylesheet, IXMLDOMDocument* style)
{
    // mingw-w64's libuuid lacks this interface's identifier.
    static const IID kIidDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
    CComPtrLite<IXMLDOMDocument2> style2;
    if (SUCCEEDED(style->QueryInterface(kIidDocument2, reinterpret_cast<void**>(&style2)))) {
        CBstr property("AllowDocumentFunction");
        VARIANT allow;
        VariantInit(&allow);
        allow.vt = VT_BOOL;
        allow.boolVal = VARIANT_TRUE;
        style2->setProperty(property.Get(), allow);
    }

    char szPath[MAX_PATH];
    char* pszFile = nullptr;
    DWORD cch = GetFullPathNameA(pszStylesheet, MAX_PATH, szPath, &pszFile);
    if (cch == 0 || cch >= MAX_PATH || !pszFile)
        return;
    std::string strHelp = std::string(szPath, pszFile) + kHelpFile;
    char szUrl[3 * MAX_PATH];
    DWORD cchUrl = sizeof szUrl;
    if (FAILED(UrlCreateFromPathA(strHelp.c_str(), szUrl, &cchUrl, 0)) || std::strchr(szUrl, '\'') != nullptr)
        return;
    CComPtrLite<IXMLDOMElement> parameter;
    if (!FindParameter(style, L"help-file", parameter))
        return;
    CBstr attribute("select");
    CBstr literal(("'" + std::string(szUrl) + "'").c_str());
    VARIANT select;
    VariantInit(&select);
    select.vt = VT_BSTR;
    select.bstrVal = literal.Get();
    parameter->setAttribute(attribute.Get(), select);
}

int Transform(const char* pszInput, const char* pszStylesheet, const char* pszOutput)
{
    CComPtrLite<IXMLDOMDocument> style;
    if (!LoadDocument(pszStylesheet, style))
        return Fail(EXIT_STYLESHEET, "cannot load stylesheet", pszStylesheet);
    AllowHelpFile(pszStylesheet, style.Get());
    CComPtrLite<IXMLDOMDocument> input;
    if (!LoadDocument(pszInput, input))
        return Fail(EXIT_INPUT, "cannot load input", pszInput);
    // Through a stream MSXML writes the bytes in the encoding the stylesheet's output asks for;
    // its string result would be UTF-16 text labelled as such.
    CComPtrLite<IStream> output;
    if (FAILED(SHCreateStreamOnFileA(pszOutput, STGM_WRITE | STGM_CREATE | STGM_SHARE_DENY_WRITE, &output)))
        return Fail(EXIT_OUTPUT, "cannot create output", pszOutput);
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_UNKNOWN;
    target.punkVal = output.Get();
    if (FAILED(input->transformNodeToObject(style.Get(), target)))
        return Fail(EXIT_TRANSFORM, "transformation failed", pszStylesheet);
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return Fail(EXIT_USAGE, "usage", "xslt.exe <input.xml> <stylesheet.xslt> <output.html>");
    if (FAILED(CoInitialize(nullptr)))
        return Fail(EXIT_TRANSFORM, "cannot initialise COM", argv[0]);
    int code = Transform(argv[1], argv[2], argv[3]);
    CoUninitialize();
    return code;
}

#else

#include <libxml/parser.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <memory>

namespace {

struct StylesheetFree {
    void operator()(xsltStylesheetPtr p) const { xsltFreeStylesheet(p); }
};
struct DocFree {
    void operator()(xmlDocPtr p) const { xmlFreeDoc(p); }
};

const xmlChar* Xml(const char* psz)
{
    return reinterpret_cast<const xmlChar*>(psz);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return Fail(EXIT_USAGE, "usage", "xslt.exe <input.xml> <stylesheet.xslt> <output.html>");
    std::unique_ptr<xsltStylesheet, StylesheetFree> style(xsltParseStylesheetFile(Xml(argv[2])));
    if (!style)
        return Fail(EXIT_STYLESHEET, "cannot load stylesheet", argv[2]);
    std::unique_ptr<xmlDoc, DocFree> input(xmlReadFile(argv[1], nullptr, XML_PARSE_NONET));
    if (!input)
        return Fail(EXIT_INPUT, "cannot load input", argv[1]);
    std::unique_ptr<xmlDoc, DocFree> result(xsltApplyStylesheet(style.get(), input.get(), nullptr));
    if (!result)
        return Fail(EXIT_TRANSFORM, "transformation failed", argv[2]);
    if (xsltSaveResultToFilename(argv[3], result.get(), style.get(), 0) < 0)
        return Fail(EXIT_OUTPUT, "cannot write output", argv[3]);
    return EXIT_OK;
}

#endif
