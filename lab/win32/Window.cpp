// Stands in for user32's windows and modeless dialogs made from the program's dialog templates.
#include "lab/win32/Window.h"

#include "lab/win32/Handles.h"
#include "lab/win32/Windows.h"
#include "lab/win32/WindowControl.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Nothing is drawn and no message loop runs: a window is its class, text, id, styles, user data and
// children, and messages reach a dialog's procedure only through SendMessageA and the calls that
// send them (CreateDialogParamA, DestroyWindow).

namespace lab::win32 {

namespace {

const WORD kEnglish = 1033;
const char kDialogClass[] = "#32770";

struct Window : KernelObject {
    HWND hParent = nullptr;
    std::string className;
    std::string text;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    int nId = 0;
    RECT rcUnits{};  // the template's rectangle in dialog units
    LONG_PTR userData = 0;
    LONG_PTR msgResult = 0;
    DLGPROC pfnDialog = nullptr;
    std::vector<HWND> children;  // in template order
    unsigned invalidations = 0;
    bool bDestroying = false;
};

// Guards the fields of every window; never held while a dialog procedure runs.
std::mutex& WindowLock()
{
    static std::mutex* pLock = new std::mutex;
    return *pLock;
}

std::shared_ptr<Window> Find(HWND hWnd)
{
    std::shared_ptr<Window> pWindow = hWnd ? LookupHandleAs<Window>(hWnd) : nullptr;
    if (!pWindow)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return pWindow;
}

// action(window) under the lock, or fallback (error 1400) when hWnd names no window.
template <class Result, class Action>
Result WithWindow(HWND hWnd, Result fallback, Action action)
{
    std::shared_ptr<Window> pWindow = Find(hWnd);
    if (!pWindow)
        return fallback;
    std::lock_guard<std::mutex> guard(WindowLock());
    return action(*pWindow);
}

// Reads a dialog template, both the extended (DIALOGEX) and the classic layout.
class TemplateReader {
public:
    TemplateReader(const BYTE* pData, size_t cbData)
        : m_pData(pData), m_cbData(cbData)
    {
    }

    bool Ok() const { return m_bOk; }

    WORD Word()
    {
        if (!Need(2))
            return 0;
        WORD w = static_cast<WORD>(m_pData[m_offset] | m_pData[m_offset + 1] << 8);
        m_offset += 2;
        return w;
    }
    DWORD Dword()
    {
        DWORD dwLow = Word();
        return dwLow | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }
    void Skip(size_t cb)
    {
        if (Need(cb))
            m_offset += cb;
    }
    // Each item of a template starts on a 32-bit boundary.
    void AlignDword() { Skip((4 - m_offset % 4) % 4); }

    // A NUL-ended UTF-16 text in the ANSI code page.
    std::string Text()
    {
        std::vector<WCHAR> wide;
        while (m_bOk) {
            WORD w = Word();
            if (w == 0)
                break;
            wide.push_back(static_cast<WCHAR>(w));
        }
        if (wide.empty())
            return "";
        int cb = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        std::string text(cb > 0 ? static_cast<size_t>(cb) : 0, '\0');
        if (cb > 0)
            WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], cb, nullptr, nullptr);
        return text;
    }

    // A name, an ordinal (0xFFFF, then the number) or nothing (0x0000).
    struct NameOrOrdinal {
        std::string name;
        WORD wOrdinal = 0;  // 0: a name, or nothing
    };
    NameOrOrdinal NameOrNumber()
    {
        NameOrOrdinal result;
        if (!Need(2))
            return result;
        WORD wFirst = static_cast<WORD>(m_pData[m_offset] | m_pData[m_offset + 1] << 8);
        if (wFirst == 0xFFFF) {
            m_offset += 2;
            result.wOrdinal = Word();
        } else {
            result.name = Text();
        }
        return result;
    }

private:
    bool Need(size_t cb)
    {
        if (m_bOk && m_cbData - m_offset >= cb)
            return true;
        m_bOk = false;
        return false;
    }

    const BYTE* m_pData;
    size_t m_cbData;
    size_t m_offset = 0;
    bool m_bOk = true;
};

struct ItemTemplate {
    DWORD dwStyle;
    DWORD dwExStyle;
    RECT rcUnits;
    int nId;
    std::string className;
    std::string text;
};

struct DialogTemplate {
    DWORD dwStyle;
    DWORD dwExStyle;
    RECT rcUnits;
    std::string text;
    std::vector<ItemTemplate> items;
};

RECT UnitRect(TemplateReader& reader)
{
    LONG x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
    return RECT{x, y, x + cx, y + cy};
}

// The predefined classes go by ordinal in a template.
std::string ClassName(const TemplateReader::NameOrOrdinal& windowClass)
{
    static const char* const kPredefined[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    const WORD kFirst = 0x80;
    if (windowClass.wOrdinal >= kFirst && windowClass.wOrdinal < kFirst + 6)
        return kPredefined[windowClass.wOrdinal - kFirst];
    if (windowClass.wOrdinal != 0)
        return "#" + std::to_string(windowClass.wOrdinal);
    return windowClass.name;
}

bool ParseTemplate(const BYTE* pData, size_t cbData, DialogTemplate& dialog)
{
    TemplateReader reader(pData, cbData);
    bool bExtended = cbData >= 4 && pData[0] == 1 && pData[1] == 0 && pData[2] == 0xFF && pData[3] == 0xFF;
    WORD cItems;
    if (bExtended) {
        reader.Skip(4 + 4);  // version and signature, help id
        dialog.dwExStyle = reader.Dword();
        dialog.dwStyle = reader.Dword();
    } else {
        dialog.dwStyle = reader.Dword();
        dialog.dwExStyle = reader.Dword();
    }
    cItems = reader.Word();
    dialog.rcUnits = UnitRect(reader);
    reader.NameOrNumber();  // menu
    reader.NameOrNumber();  // window class
    dialog.text = reader.Text();
    if (dialog.dwStyle & DS_SETFONT) {
        reader.Skip(2);  // point size
        if (bExtended)
            reader.Skip(2 + 1 + 1);  // weight, italic, character set
        reader.Text();
    }
    for (WORD i = 0; i < cItems && reader.Ok(); ++i) {
        reader.AlignDword();
        ItemTemplate item;
        if (bExtended) {
            reader.Skip(4);  // help id
            item.dwExStyle = reader.Dword();
            item.dwStyle = reader.Dword();
        } else {
            item.dwStyle = reader.Dword();
            item.dwExStyle = reader.Dword();
        }
        item.rcUnits = UnitRect(reader);
        item.nId = bExtended ? static_cast<int>(reader.Dword()) : reader.Word();
        item.className = ClassName(reader.NameOrNumber());
        item.text = reader.NameOrNumber().name;  // an ordinal names an image and leaves no text
        // Creation data: the extended layout counts the bytes after the count, the classic one
        // includes the count word itself.
        WORD cbCreation = reader.Word();
        reader.Skip(bExtended || cbCreation < 2 ? cbCreation : cbCreation - 2u);
        dialog.items.push_back(std::move(item));
    }
    return reader.Ok();
}

// The thread's language first, then English, then whatever the program has.
HRSRC FindDialog(HINSTANCE hInstance, LPCSTR lpTemplateName)
{
    const WORD languages[] = {LANGIDFROMLCID(GetThreadLocale()), kEnglish, 0};
    for (WORD wLanguage : languages) {
        if (HRSRC hFound = FindResourceExA(hInstance, RT_DIALOG, lpTemplateName, wLanguage))
            return hFound;
    }
    return nullptr;
}

HWND Insert(std::shared_ptr<Window> pWindow)
{
    return reinterpret_cast<HWND>(InsertHandle(std::move(pWindow)));
}

int CopyText(const std::string& text, LPSTR lpBuffer, int cchMax)
{
    if (!lpBuffer || cchMax <= 0)
        return 0;
    size_t cch = std::min(text.size(), static_cast<size_t>(cchMax - 1));
    std::memcpy(lpBuffer, text.data(), cch);
    lpBuffer[cch] = '\0';
    return static_cast<int>(cch);
}

BOOL SetStyleBit(Window& window, DWORD dwBit, bool bSet)
{
    BOOL bWasSet = (window.dwStyle & dwBit) ? TRUE : FALSE;
    if (bSet)
        window.dwStyle |= dwBit;
    else
        window.dwStyle &= ~dwBit;
    return bWasSet;
}

// The value at a window-long index; false for an index this window does not have.
bool LongOf(const Window& window, int nIndex, LONG_PTR& value)
{
    switch (nIndex) {
    case GWL_STYLE:
        value = static_cast<LONG>(window.dwStyle);  // sign-extended, as Windows gives it
        return true;
    case GWL_EXSTYLE:
        value = static_cast<LONG>(window.dwExStyle);
        return true;
    case GWLP_ID:
        value = window.nId;
        return true;
    case GWLP_USERDATA:
        value = window.userData;
        return true;
    case DWLP_MSGRESULT:
        value = window.msgResult;
        return window.pfnDialog != nullptr;
    default:
        return false;
    }
}

bool IsSpecialDialogResult(UINT uMessage)
{
    // DefDlgProc hands these back as the procedure returned them, not through DWLP_MSGRESULT.
    return uMessage == WM_INITDIALOG;
}

}  // namespace

unsigned InvalidationCount(HWND hWnd)
{
    return WithWindow(hWnd, 0u, [](Window& window) { return window.invalidations; });
}

bool GetTemplateRect(HWND hWnd, RECT* pRect)
{
    return pRect && WithWindow(hWnd, false, [pRect](Window& window) {
               *pRect = window.rcUnits;
               return true;
           });
}

std::vector<HWND> ChildWindows(HWND hWnd)
{
    return WithWindow(hWnd, std::vector<HWND>(), [](Window& window) { return window.children; });
}

}  // namespace lab::win32

using lab::win32::Window;
using lab::win32::WithWindow;

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam)
{
    if (!lpTemplateName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HRSRC hFound = lab::win32::FindDialog(hInstance, lpTemplateName);
    HGLOBAL hData = hFound ? LoadResource(hInstance, hFound) : nullptr;
    const BYTE* pData = hData ? static_cast<const BYTE*>(LockResource(hData)) : nullptr;
    if (!pData)
        return nullptr;
    lab::win32::DialogTemplate dialog{};
    if (!lab::win32::ParseTemplate(pData, SizeofResource(hInstance, hFound), dialog)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }

    auto pDialog = std::make_shared<Window>();
    pDialog->hParent = hWndParent;
    pDialog->className = lab::win32::kDialogClass;
    pDialog->text = dialog.text;
    pDialog->dwStyle = dialog.dwStyle;
    pDialog->dwExStyle = dialog.dwExStyle;
    pDialog->rcUnits = dialog.rcUnits;
    pDialog->pfnDialog = lpDialogFunc;
    HWND hDialog = lab::win32::Insert(pDialog);
    HWND hFocus = nullptr;
    for (const lab::win32::ItemTemplate& item : dialog.items) {
        auto pControl = std::make_shared<Window>();
        pControl->hParent = hDialog;
        pControl->className = item.className;
        pControl->text = item.text;
        pControl->dwStyle = item.dwStyle | WS_CHILD;
        pControl->dwExStyle = item.dwExStyle;
        pControl->nId = item.nId;
        pControl->rcUnits = item.rcUnits;
        HWND hControl = lab::win32::Insert(pControl);
        if (!hFocus && (item.dwStyle & WS_TABSTOP) && (item.dwStyle & WS_VISIBLE) && !(item.dwStyle & WS_DISABLED))
            hFocus = hControl;
        std::lock_guard<std::mutex> guard(lab::win32::WindowLock());
        pDialog->children.push_back(hControl);
    }
    if (lpDialogFunc)
        lpDialogFunc(hDialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(hFocus), dwInitParam);
    return hDialog;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    std::shared_ptr<Window> pWindow = lab::win32::Find(hWnd);
    if (!pWindow)
        return FALSE;
    {
        std::lock_guard<std::mutex> guard(lab::win32::WindowLock());
        if (pWindow->bDestroying)
            return TRUE;
        pWindow->bDestroying = true;
    }
    // As on Windows the window hears WM_DESTROY while its children still exist.
    if (pWindow->pfnDialog)
        pWindow->pfnDialog(hWnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> guard(lab::win32::WindowLock());
        children.swap(pWindow->children);
    }
    for (HWND hChild : children)
        DestroyWindow(hChild);
    std::shared_ptr<Window> pParent = pWindow->hParent ? lab::win32::LookupHandleAs<Window>(pWindow->hParent) : nullptr;
    if (pParent) {
        std::lock_guard<std::mutex> guard(lab::win32::WindowLock());
        pParent->children.erase(std::remove(pParent->children.begin(), pParent->children.end(), hWnd),
                                pParent->children.end());
    }
    lab::win32::RemoveHandle(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd)
{
    return hWnd && lab::win32::LookupHandleAs<Window>(hWnd) ? TRUE : FALSE;
}

HWND WINAPI GetParent(HWND hWnd)
{
    return WithWindow(hWnd, HWND(), [](Window& window) { return window.hParent; });
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND hChild : lab::win32::ChildWindows(hDlg)) {
        if (GetDlgCtrlID(hChild) == nIDDlgItem)
            return hChild;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd)
{
    return WithWindow(hWnd, 0, [](Window& window) { return window.nId; });
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    return lab::win32::CopyText(WithWindow(hWnd, std::string(), [](Window& window) { return window.className; }),
                                lpClassName, nMaxCount);
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    return WithWindow(hWnd, FALSE, [lpString](Window& window) {
        window.text = lpString ? lpString : "";
        return TRUE;
    });
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    return lab::win32::CopyText(WithWindow(hWnd, std::string(), [](Window& window) { return window.text; }), lpString,
                                nMaxCount);
}

int WINAPI GetWindowTextLengthA(HWND hWnd)
{
    return WithWindow(hWnd, 0, [](Window& window) { return static_cast<int>(window.text.size()); });
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    HWND hControl = GetDlgItem(hDlg, nIDDlgItem);
    return hControl ? SetWindowTextA(hControl, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    HWND hControl = GetDlgItem(hDlg, nIDDlgItem);
    if (!hControl) {
        if (lpString && cchMax > 0)
            lpString[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(hControl, lpString, cchMax));
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Window> pWindow = lab::win32::Find(hWnd);
    if (!pWindow)
        return 0;
    switch (Msg) {
    case WM_SETTEXT:
        return SetWindowTextA(hWnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
        return GetWindowTextA(hWnd, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return GetWindowTextLengthA(hWnd);
    default:
        break;
    }
    if (!pWindow->pfnDialog)
        return 0;
    WithWindow(hWnd, LRESULT(0), [](Window& window) { return window.msgResult = 0; });
    INT_PTR handled = pWindow->pfnDialog(hWnd, Msg, wParam, lParam);
    if (lab::win32::IsSpecialDialogResult(Msg))
        return handled;
    return handled ? WithWindow(hWnd, LRESULT(0), [](Window& window) { return window.msgResult; }) : 0;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL)
{
    return WithWindow(hWnd, FALSE, [](Window& window) {
        ++window.invalidations;
        return TRUE;
    });
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    // TRUE when the window was disabled before.
    return WithWindow(hWnd, FALSE,
                      [bEnable](Window& window) { return lab::win32::SetStyleBit(window, WS_DISABLED, !bEnable); });
}

BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    return WithWindow(hWnd, FALSE, [](Window& window) { return (window.dwStyle & WS_DISABLED) ? FALSE : TRUE; });
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    // TRUE when the window was visible before.
    return WithWindow(hWnd, FALSE, [nCmdShow](Window& window) {
        return lab::win32::SetStyleBit(window, WS_VISIBLE, nCmdShow != SW_HIDE);
    });
}

BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    // Visible only when the window and every parent up the chain are.
    for (std::shared_ptr<Window> pWindow = lab::win32::Find(hWnd); pWindow;) {
        HWND hParent;
        {
            std::lock_guard<std::mutex> guard(lab::win32::WindowLock());
            if (!(pWindow->dwStyle & WS_VISIBLE))
                return FALSE;
            if (!(pWindow->dwStyle & WS_CHILD))
                return TRUE;
            hParent = pWindow->hParent;
        }
        pWindow = hParent ? lab::win32::LookupHandleAs<Window>(hParent) : nullptr;
    }
    return FALSE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    return WithWindow(hWnd, LONG_PTR(0), [nIndex](Window& window) {
        LONG_PTR value = 0;
        if (!lab::win32::LongOf(window, nIndex, value))
            SetLastError(ERROR_INVALID_INDEX);
        return value;
    });
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    return WithWindow(hWnd, LONG_PTR(0), [nIndex, dwNewLong](Window& window) {
        LONG_PTR previous = 0;
        if (!lab::win32::LongOf(window, nIndex, previous)) {
            SetLastError(ERROR_INVALID_INDEX);
            return LONG_PTR(0);
        }
        switch (nIndex) {
        case GWL_STYLE:
            window.dwStyle = static_cast<DWORD>(dwNewLong);
            break;
        case GWL_EXSTYLE:
            window.dwExStyle = static_cast<DWORD>(dwNewLong);
            break;
        case GWLP_ID:
            window.nId = static_cast<int>(dwNewLong);
            break;
        case GWLP_USERDATA:
            window.userData = dwNewLong;
            break;
        default:
            window.msgResult = dwNewLong;
            break;
        }
        return previous;
    });
}
