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
#include <string>

namespace {

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

int Transform(const char* pszInput, const char* pszStylesheet, const char* pszOutput)
{
    CComPtrLite<IXMLDOMDocument> style;
    if (!LoadDocument(pszStylesheet, style))
        return Fail(EXIT_STYLESHEET, "cannot load stylesheet", pszStylesheet);
    // The page reads the help's texts with document(), which MSXML 6 refuses unless allowed.
    CComPtrLite<IXMLDOMDocument2> style2;
    if (SUCCEEDED(style->QueryInterface(IID_IXMLDOMDocument2, reinterpret_cast<void**>(&style2)))) {
        CBstr property("AllowDocumentFunction");
        VARIANT allow;
        VariantInit(&allow);
        allow.vt = VT_BOOL;
        allow.boolVal = VARIANT_TRUE;
        style2->setProperty(property.Get(), allow);
    }
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
