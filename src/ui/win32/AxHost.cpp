// A window that hosts the web browser control and shows the file its text names.
#include "src/ui/win32/AxHost.h"

#include "src/platform/ScopedHandle.h"

#include <exdisp.h>
#include <oleidl.h>

#include <string>
#include <vector>

const char kAxHostClass[] = "AtlAxWin80";

namespace {

// The browser's container: client site, in-place site and frame in one object, owned by the host
// window and kept alive by the browser's references while it holds them. COM interfaces declare no
// destructor, as their objects go by Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CBrowserSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit CBrowserSite(HWND hHost) : m_hHost(hHost) {}

    // Creates the browser and activates it in place; false when no browser can be created.
    bool Open()
    {
        if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    m_Object.ReceiveVoid())))
            return false;
        m_Object->SetClientSite(this);
        RECT rc;
        GetClientRect(m_hHost, &rc);
        m_Object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_hHost, &rc);
        m_Object->QueryInterface(IID_IWebBrowser2, m_Browser.ReceiveVoid());  // none when it fails
        return static_cast<bool>(m_Browser);
    }

    // Closes the browser and takes the site back from it, which ends the browser's references to the site.
    void Close()
    {
        m_Browser.Release();
        if (m_Object) {
            m_Object->Close(OLECLOSE_NOSAVE);
            m_Object->SetClientSite(nullptr);
            m_Object.Release();
        }
    }

    void Navigate(const std::string& strTarget)
    {
        if (!m_Browser || strTarget.empty())
            return;
        int cch = MultiByteToWideChar(CP_ACP, 0, strTarget.c_str(), -1, nullptr, 0);
        std::vector<WCHAR> wide(static_cast<size_t>(cch > 0 ? cch : 1));
        MultiByteToWideChar(CP_ACP, 0, strTarget.c_str(), -1, wide.data(), cch);
        CScopedBstr url(SysAllocString(wide.data()));
        VARIANT empty;
        VariantInit(&empty);
        m_Browser->Navigate(url.Get(), &empty, &empty, &empty, &empty);
    }

    void Resize()
    {
        if (!m_Object)
            return;
        CComPointer<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(m_Object->QueryInterface(IID_IOleInPlaceObject, inPlace.ReceiveVoid()))) {
            RECT rc;
            GetClientRect(m_hHost, &rc);
            inPlace->SetObjectRects(&rc, &rc);
        }
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_lRefs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG lRefs = InterlockedDecrement(&m_lRefs);
        if (lRefs == 0)
            delete this;
        return static_cast<ULONG>(lRefs);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override
    {
        *ppmk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override
    {
        *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hHost;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT prcPos,
                                  LPRECT prcClip, LPOLEINPLACEFRAMEINFO pFrameInfo) override
    {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *ppDoc = nullptr;
        GetClientRect(m_hHost, prcPos);
        GetClientRect(m_hHost, prcClip);
        pFrameInfo->fMDIApp = FALSE;
        pFrameInfo->hwndFrame = GetParent(m_hHost);
        pFrameInfo->haccel = nullptr;
        pFrameInfo->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: the host has no menus, tool bars or status line.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    virtual ~CBrowserSite() = default;

    LONG m_lRefs = 1;
    HWND m_hHost;
    CComPointer<IOleObject> m_Object;
    CComPointer<IWebBrowser2> m_Browser;
};
#pragma GCC diagnostic pop

CBrowserSite* SiteOf(HWND hWnd)
{
    return reinterpret_cast<CBrowserSite*>(GetWindowLongPtrA(hWnd, 0));
}

LRESULT CALLBACK HostProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    switch (uMessage) {
    case WM_CREATE: {
        CComPointer<CBrowserSite> site(new CBrowserSite(hWnd));
        if (!site->Open()) {
            site->Close();
            return 0;  // an empty view; the window itself works on
        }
        // The window holds the site's first reference until WM_DESTROY.
        CBrowserSite* pSite = site.Detach();
        SetWindowLongPtrA(hWnd, 0, reinterpret_cast<LONG_PTR>(pSite));
        const auto* pCreate = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (pCreate->lpszName)
            pSite->Navigate(pCreate->lpszName);
        return 0;
    }
    case WM_SETTEXT: {
        LRESULT lResult = DefWindowProcA(hWnd, uMessage, wParam, lParam);
        if (CBrowserSite* pSite = SiteOf(hWnd))
            pSite->Navigate(reinterpret_cast<const char*>(lParam));
        return lResult;
    }
    case WM_SIZE:
        if (CBrowserSite* pSite = SiteOf(hWnd))
            pSite->Resize();
        return 0;
    case WM_DESTROY: {
        CComPointer<CBrowserSite> site(SiteOf(hWnd));  // the window's reference
        if (site) {
            SetWindowLongPtrA(hWnd, 0, 0);
            site->Close();
        }
        return 0;
    }
    default:
        return DefWindowProcA(hWnd, uMessage, wParam, lParam);
    }
}

}  // namespace

bool RegisterAxHostClass(HINSTANCE hInstance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kAxHostClass;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
