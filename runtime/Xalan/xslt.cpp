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
    CComPtrLite<IXMLDOMDocument> input;
    if (!LoadDocument(pszInput, input))
        return Fail(EXIT_INPUT, "cannot load input", pszInput);
    CBstr result;
    if (FAILED(input->transformNode(style.Get(), &result)) || !result.Get())
        return Fail(EXIT_TRANSFORM, "transformation failed", pszStylesheet);

    // The result is UTF-16 text; written as UTF-8 with a byte-order mark, which browsers honour
    // before any charset the page itself may declare.
    int cb = WideCharToMultiByte(CP_UTF8, 0, result.Get(), static_cast<int>(SysStringLen(result.Get())), nullptr, 0,
                                 nullptr, nullptr);
    std::string utf8(cb > 0 ? cb : 0, '\0');
    if (cb > 0)
        WideCharToMultiByte(CP_UTF8, 0, result.Get(), static_cast<int>(SysStringLen(result.Get())), &utf8[0], cb,
                            nullptr, nullptr);
    HANDLE hFile = CreateFileA(pszOutput, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return Fail(EXIT_OUTPUT, "cannot create output", pszOutput);
    static const char kBom[] = "\xEF\xBB\xBF";
    DWORD dwWritten = 0, dwBody = 0;
    BOOL bOk = WriteFile(hFile, kBom, 3, &dwWritten, nullptr) &&
               WriteFile(hFile, utf8.data(), static_cast<DWORD>(utf8.size()), &dwBody, nullptr) &&
               dwBody == utf8.size();
    CloseHandle(hFile);
    return bOk ? EXIT_OK : Fail(EXIT_OUTPUT, "cannot write output", pszOutput);
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
