// Stands in for oleaut32: BSTR, VARIANT and SAFEARRAY with their ownership rules.
#include "lab/win32/OleAuto.h"

#include "lab/win32/Com.h"
#include "lab/win32/ComControl.h"

#include <cstdlib>
#include <cstring>

namespace {

// The byte length lives in the four bytes before the text, the array's element type in the four before that.
BSTR AllocBytes(const void* pSource, UINT cb)
{
    auto* pBlock = static_cast<uint8_t*>(std::malloc(sizeof(uint32_t) + cb + sizeof(OLECHAR)));
    if (!pBlock)
        return nullptr;
    uint32_t length = cb;
    std::memcpy(pBlock, &length, sizeof length);
    uint8_t* pText = pBlock + sizeof(uint32_t);
    if (pSource)
        std::memcpy(pText, pSource, cb);
    else
        std::memset(pText, 0, cb);
    std::memset(pText + cb, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(pText);
}

struct ArrayBlock {
    VARTYPE vt;
    SAFEARRAY array;
};

ArrayBlock* BlockOf(SAFEARRAY* psa)
{
    return reinterpret_cast<ArrayBlock*>(reinterpret_cast<uint8_t*>(psa) - offsetof(ArrayBlock, array));
}

ULONG ElementSize(VARTYPE vt)
{
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_ERROR:
        return 4;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

void ClearElements(SAFEARRAY* psa)
{
    VARTYPE vt = BlockOf(psa)->vt;
    ULONG count = psa->rgsabound[0].cElements;
    if (vt == VT_BSTR) {
        for (ULONG i = 0; i < count; ++i)
            SysFreeString(static_cast<BSTR*>(psa->pvData)[i]);
    } else if (vt == VT_VARIANT) {
        for (ULONG i = 0; i < count; ++i)
            VariantClear(&static_cast<VARIANT*>(psa->pvData)[i]);
    }
}

SAFEARRAY* NewArray(VARTYPE vt, LONG lLbound, ULONG cElements, USHORT fFeatures)
{
    ULONG cbElement = ElementSize(vt);
    if (cbElement == 0)
        return nullptr;
    auto* pBlock = static_cast<ArrayBlock*>(std::calloc(1, sizeof(ArrayBlock)));
    if (!pBlock)
        return nullptr;
    pBlock->vt = vt;
    SAFEARRAY* psa = &pBlock->array;
    psa->cDims = 1;
    psa->fFeatures = fFeatures;
    psa->cbElements = cbElement;
    psa->rgsabound[0].cElements = cElements;
    psa->rgsabound[0].lLbound = lLbound;
    psa->pvData = std::calloc(cElements ? cElements : 1, cbElement);
    if (!psa->pvData) {
        std::free(pBlock);
        return nullptr;
    }
    return psa;
}

// The elements of one array into another of the same type and length, texts and variants copied.
void CopyElements(SAFEARRAY* psaSource, SAFEARRAY* psaTarget)
{
    VARTYPE vt = BlockOf(psaSource)->vt;
    ULONG count = psaSource->rgsabound[0].cElements;
    for (ULONG i = 0; i < count; ++i) {
        if (vt == VT_BSTR) {
            BSTR source = static_cast<BSTR*>(psaSource->pvData)[i];
            static_cast<BSTR*>(psaTarget->pvData)[i] =
                source ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source)) : nullptr;
        } else if (vt == VT_VARIANT) {
            VARIANT* pTarget = &static_cast<VARIANT*>(psaTarget->pvData)[i];
            VariantInit(pTarget);
            VariantCopy(pTarget, &static_cast<VARIANT*>(psaSource->pvData)[i]);
        }
    }
    if (vt != VT_BSTR && vt != VT_VARIANT)
        std::memcpy(psaTarget->pvData, psaSource->pvData, static_cast<size_t>(count) * psaSource->cbElements);
}

}  // namespace

BSTR WINAPI SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    UINT cch = 0;
    while (psz[cch])
        ++cch;
    return SysAllocStringLen(psz, cch);
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch)
{
    return AllocBytes(pch, cch * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len)
{
    return AllocBytes(psz, len);
}

void WINAPI SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<uint8_t*>(bstrString) - sizeof(uint32_t));
}

UINT WINAPI SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    uint32_t length = 0;
    std::memcpy(&length, reinterpret_cast<uint8_t*>(bstr) - sizeof(uint32_t), sizeof length);
    return length;
}

UINT WINAPI SysStringLen(BSTR bstr)
{
    return SysStringByteLen(bstr) / static_cast<UINT>(sizeof(OLECHAR));
}

void WINAPI VariantInit(VARIANTARG* pvarg)
{
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if ((pvarg->vt & VT_BYREF) == 0) {
        if (pvarg->vt & VT_ARRAY) {
            if (pvarg->parray) {
                HRESULT hr = SafeArrayDestroy(pvarg->parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) && pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr))
        return hr;
    VARIANT copy = *pvargSrc;
    if ((copy.vt & VT_BYREF) == 0) {
        if ((copy.vt & VT_ARRAY) && copy.parray) {
            hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
        } else if (copy.vt == VT_BSTR && copy.bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                 SysStringByteLen(pvargSrc->bstrVal));
            hr = copy.bstrVal ? S_OK : E_OUTOFMEMORY;
        } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal) {
            copy.punkVal->AddRef();
        }
    }
    if (FAILED(hr))
        return hr;
    *pvargDest = copy;
    return S_OK;
}

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound)
{
    if (cDims != 1 || !rgsabound)
        return nullptr;
    return NewArray(vt, rgsabound[0].lLbound, rgsabound[0].cElements, FADF_HAVEVARTYPE);
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    return NewArray(vt, lLbound, cElements, FADF_HAVEVARTYPE | FADF_FIXEDSIZE);
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    ClearElements(psa);
    std::free(psa->pvData);
    std::free(BlockOf(psa));
    return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim != 1)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim != 1)
        return DISP_E_BADINDEX;
    *plUbound = psa->rgsabound[0].lLbound + static_cast<LONG>(psa->rgsabound[0].cElements) - 1;
    return S_OK;
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa)
{
    return psa ? psa->cDims : 0;
}

UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa)
{
    return psa ? psa->cbElements : 0;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt)
        return E_INVALIDARG;
    *pvt = BlockOf(psa)->vt;
    return S_OK;
}

HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    SAFEARRAY* pCopy =
        NewArray(BlockOf(psa)->vt, psa->rgsabound[0].lLbound, psa->rgsabound[0].cElements, psa->fFeatures);
    if (!pCopy)
        return E_OUTOFMEMORY;
    CopyElements(psa, pCopy);
    *ppsaOut = pCopy;
    return S_OK;
}

HRESULT lab::win32::ReturnArray(SAFEARRAY** ppsaCaller, SAFEARRAY* psaReply)
{
    SAFEARRAY* psa = *ppsaCaller;
    if (!psaReply) {
        HRESULT hr = SafeArrayDestroy(psa);
        if (SUCCEEDED(hr))
            *ppsaCaller = nullptr;
        return hr;
    }
    const VARTYPE vt = BlockOf(psaReply)->vt;
    const SAFEARRAYBOUND bound = psaReply->rgsabound[0];
    if (!psa) {
        *ppsaCaller = NewArray(vt, bound.lLbound, bound.cElements, FADF_HAVEVARTYPE);
        if (!*ppsaCaller)
            return E_OUTOFMEMORY;
        CopyElements(psaReply, *ppsaCaller);
        return S_OK;
    }
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    if (BlockOf(psa)->vt != vt ||
        ((psa->fFeatures & FADF_FIXEDSIZE) && psa->rgsabound[0].cElements != bound.cElements))
        return DISP_E_BADCALLEE;
    // The caller keeps its descriptor; only the data is new.
    SAFEARRAY* pData = NewArray(vt, bound.lLbound, bound.cElements, FADF_HAVEVARTYPE);
    if (!pData)
        return E_OUTOFMEMORY;
    CopyElements(psaReply, pData);
    ClearElements(psa);
    std::free(psa->pvData);
    psa->pvData = pData->pvData;
    psa->rgsabound[0] = bound;
    std::free(BlockOf(pData));
    return S_OK;
}
