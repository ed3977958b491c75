// The owners of platform handles: each handle is closed exactly once, whichever way it leaves its owner.
#include "src/platform/ScopedHandle.h"

#include "lab/win32/Handles.h"
#include "lab/win32/LibraryControl.h"
#include "lab/win32/MessageControl.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

HANDLE NewEvent()
{
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Counts its references; a test reads the count the owners left.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class CCountedObject : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_cRefs; }
    ULONG m_cRefs = 1;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

TEST(ScopedHandleTest, OwnerClosesItsHandleOnceWhenItGoes)
{
    const size_t before = lab::win32::HandleCount();
    {
        CScopedHandle event(NewEvent());
        EXPECT_TRUE(event.IsValid());
        EXPECT_EQ(lab::win32::HandleCount(), before + 1);
    }
    EXPECT_EQ(lab::win32::HandleCount(), before);

    // "None" and INVALID_HANDLE_VALUE are held without ever being closed.
    CScopedHandle none;
    CScopedHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none.IsValid());
    EXPECT_FALSE(invalid.IsValid());
    invalid.Close();
    EXPECT_EQ(invalid.Get(), nullptr);
    EXPECT_EQ(lab::win32::HandleCount(), before);
}

TEST(ScopedHandleTest, MovingHandsTheHandleOnWithoutClosingIt)
{
    const size_t before = lab::win32::HandleCount();
    CScopedHandle first(NewEvent());
    const HANDLE h = first.Get();
    CScopedHandle second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(second.Get(), h);
    EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // still open

    // Assigning closes what the target held.
    CScopedHandle third(NewEvent());
    EXPECT_EQ(lab::win32::HandleCount(), before + 2);
    third = std::move(second);
    EXPECT_EQ(third.Get(), h);
    EXPECT_EQ(lab::win32::HandleCount(), before + 1);
    third.Close();
    third.Close();
    EXPECT_EQ(lab::win32::HandleCount(), before);
}

TEST(ScopedHandleTest, ResetDetachAndReceive)
{
    const size_t before = lab::win32::HandleCount();
    CScopedHandle event(NewEvent());
    const HANDLE h = event.Get();
    event.Reset(h);  // the same handle again: kept, not closed
    EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    event.Reset(NewEvent());
    EXPECT_EQ(lab::win32::HandleCount(), before + 1);
    event.Reset();
    EXPECT_FALSE(event.IsValid());
    EXPECT_EQ(lab::win32::HandleCount(), before);

    // Detach gives the handle up: the owner closes nothing after it.
    event.Reset(NewEvent());
    const HANDLE hDetached = event.Detach();
    EXPECT_FALSE(event.IsValid());
    event.Close();
    EXPECT_EQ(lab::win32::HandleCount(), before + 1);
    EXPECT_TRUE(CloseHandle(hDetached));

    // Receive closes what is held, then takes what the callee writes.
    event.Reset(NewEvent());
    *event.Receive() = NewEvent();
    EXPECT_EQ(lab::win32::HandleCount(), before + 1);
    event.Reset();
    EXPECT_EQ(lab::win32::HandleCount(), before);
}

TEST(ScopedHandleTest, LocalMemoryIsFreedOnceAndInOutKeepsWhatTheCalleeLeaves)
{
    const size_t before = lab::win32::LocalAllocationCount();
    {
        CScopedLocalMemory block(LocalAlloc(LMEM_FIXED, 16));
        CScopedLocalMemory moved(std::move(block));
        EXPECT_EQ(lab::win32::LocalAllocationCount(), before + 1);

        // A callee that replaces the block in place: the owner ends up with the new one alone.
        HLOCAL* pSlot = moved.InOut();
        LocalFree(*pSlot);
        *pSlot = LocalAlloc(LMEM_FIXED, 32);
        EXPECT_EQ(lab::win32::LocalAllocationCount(), before + 1);
    }
    EXPECT_EQ(lab::win32::LocalAllocationCount(), before);
}

TEST(ScopedHandleTest, LibraryResolvesOnlyWhatIsThere)
{
    {
        CScopedLibrary psapi("psapi");
        EXPECT_TRUE(psapi.IsValid());
        EXPECT_NE(psapi.Resolve<FARPROC>("GetProcessMemoryInfo"), nullptr);
        EXPECT_EQ(psapi.Resolve<FARPROC>("NoSuchFunction"), nullptr);
    }
    lab::win32::SetModuleMissing("psapi", true);
    CScopedLibrary missing("psapi");
    EXPECT_FALSE(missing.IsValid());
    EXPECT_EQ(missing.Resolve<FARPROC>("GetProcessMemoryInfo"), nullptr);
    lab::win32::ResetLibrarySwitches();
}

TEST(ComPointerTest, EachReferenceTakenIsReleasedOnce)
{
    CCountedObject object;
    {
        CComPointer<IUnknown> first(&object);
        CComPointer<IUnknown> second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.Get(), &object);
        EXPECT_EQ(object.m_cRefs, 1u);

        // Receive releases what is held before the callee writes a new reference.
        EXPECT_EQ(second->QueryInterface(IID_IUnknown, first.ReceiveVoid()), S_OK);
        EXPECT_EQ(object.m_cRefs, 2u);
        EXPECT_EQ(second->QueryInterface(IID_IUnknown, first.ReceiveVoid()), S_OK);
        EXPECT_EQ(object.m_cRefs, 2u);

        first = std::move(second);
        EXPECT_EQ(object.m_cRefs, 1u);
        first.Release();
        first.Release();
        EXPECT_EQ(object.m_cRefs, 0u);
    }
    EXPECT_EQ(object.m_cRefs, 0u);

    object.m_cRefs = 1;
    CComPointer<IUnknown> kept(&object);
    IUnknown* pDetached = kept.Detach();
    kept.Reset();
    EXPECT_EQ(object.m_cRefs, 1u);
    kept.Reset(pDetached);
    kept.Reset();
    EXPECT_EQ(object.m_cRefs, 0u);
}

TEST(ScopedVariantTest, ClearedWhenItGoes)
{
    CScopedVariant variant;
    EXPECT_EQ(variant.Get().vt, VT_EMPTY);
    variant.Get().vt = VT_BSTR;
    variant.Get().bstrVal = SysAllocString(L"text");
    variant.Clear();
    EXPECT_EQ(variant.Get().vt, VT_EMPTY);
    variant.Get().vt = VT_BSTR;
    variant.Get().bstrVal = SysAllocString(L"kept until the owner goes");
}

}  // namespace
