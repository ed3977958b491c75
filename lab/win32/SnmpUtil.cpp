// Stands in for snmpapi.dll: memory and copies of the SNMP records, with Windows' ownership rules.
#include "lab/win32/Snmp.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

// The layout of the 64-bit platform's records (4-byte packing), which callers may depend on.
static_assert(sizeof(AsnOctetString) == 16 && sizeof(AsnObjectIdentifier) == 12, "SNMP record layout");
static_assert(sizeof(AsnAny) == 20 && offsetof(AsnAny, asnValue) == 4, "AsnAny layout");
static_assert(sizeof(SnmpVarBind) == 32 && offsetof(SnmpVarBind, value) == 12, "SnmpVarBind layout");
static_assert(sizeof(SnmpVarBindList) == 12, "SnmpVarBindList layout");

LPVOID WINAPI SnmpUtilMemAlloc(UINT nBytes)
{
    return std::calloc(1, nBytes ? nBytes : 1);
}

LPVOID WINAPI SnmpUtilMemReAlloc(LPVOID pMem, UINT nBytes)
{
    return std::realloc(pMem, nBytes ? nBytes : 1);
}

void WINAPI SnmpUtilMemFree(LPVOID pMem)
{
    std::free(pMem);
}

SNMPAPI WINAPI SnmpUtilOidCpy(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc)
{
    if (!pOidDst)
        return SNMPAPI_ERROR;
    pOidDst->idLength = 0;
    pOidDst->ids = nullptr;
    if (!pOidSrc || pOidSrc->idLength == 0)
        return SNMPAPI_NOERROR;
    auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(pOidSrc->idLength * sizeof(UINT)));
    if (!ids) {
        SetLastError(8);
        return SNMPAPI_ERROR;
    }
    std::memcpy(ids, pOidSrc->ids, pOidSrc->idLength * sizeof(UINT));
    pOidDst->ids = ids;
    pOidDst->idLength = pOidSrc->idLength;
    return SNMPAPI_NOERROR;
}

// Compares at most nSubIds sub-identifiers; a shorter identifier that is a prefix sorts first.
SNMPAPI WINAPI SnmpUtilOidNCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2, UINT nSubIds)
{
    if (!pOid1 || !pOid2)
        return 0;
    UINT n = pOid1->idLength < pOid2->idLength ? pOid1->idLength : pOid2->idLength;
    if (n > nSubIds)
        n = nSubIds;
    for (UINT i = 0; i < n; ++i) {
        if (pOid1->ids[i] != pOid2->ids[i])
            return pOid1->ids[i] < pOid2->ids[i] ? -1 : 1;
    }
    if (n == nSubIds)
        return 0;
    if (pOid1->idLength == pOid2->idLength)
        return 0;
    return pOid1->idLength < pOid2->idLength ? -1 : 1;
}

SNMPAPI WINAPI SnmpUtilOidCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2)
{
    if (!pOid1 || !pOid2)
        return 0;
    UINT longer = pOid1->idLength > pOid2->idLength ? pOid1->idLength : pOid2->idLength;
    return SnmpUtilOidNCmp(pOid1, pOid2, longer);
}

void WINAPI SnmpUtilOidFree(AsnObjectIdentifier* pOid)
{
    if (!pOid)
        return;
    SnmpUtilMemFree(pOid->ids);
    pOid->ids = nullptr;
    pOid->idLength = 0;
}

SNMPAPI WINAPI SnmpUtilOctetsCpy(AsnOctetString* pOctetsDst, AsnOctetString* pOctetsSrc)
{
    if (!pOctetsDst)
        return SNMPAPI_ERROR;
    pOctetsDst->stream = nullptr;
    pOctetsDst->length = 0;
    pOctetsDst->dynamic = FALSE;
    if (!pOctetsSrc || pOctetsSrc->length == 0)
        return SNMPAPI_NOERROR;
    auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(pOctetsSrc->length));
    if (!stream) {
        SetLastError(8);
        return SNMPAPI_ERROR;
    }
    std::memcpy(stream, pOctetsSrc->stream, pOctetsSrc->length);
    pOctetsDst->stream = stream;
    pOctetsDst->length = pOctetsSrc->length;
    pOctetsDst->dynamic = TRUE;
    return SNMPAPI_NOERROR;
}

void WINAPI SnmpUtilOctetsFree(AsnOctetString* pOctets)
{
    if (!pOctets)
        return;
    if (pOctets->dynamic)
        SnmpUtilMemFree(pOctets->stream);
    pOctets->stream = nullptr;
    pOctets->length = 0;
    pOctets->dynamic = FALSE;
}

namespace {

bool HoldsOctets(BYTE type)
{
    return type == ASN_OCTETSTRING || type == ASN_BITS || type == ASN_SEQUENCE || type == ASN_IPADDRESS ||
           type == ASN_OPAQUE;
}

}  // namespace

SNMPAPI WINAPI SnmpUtilAsnAnyCpy(AsnAny* pAnyDst, AsnAny* pAnySrc)
{
    if (!pAnyDst || !pAnySrc)
        return SNMPAPI_ERROR;
    std::memset(pAnyDst, 0, sizeof *pAnyDst);
    pAnyDst->asnType = pAnySrc->asnType;
    if (pAnySrc->asnType == ASN_OBJECTIDENTIFIER)
        return SnmpUtilOidCpy(&pAnyDst->asnValue.object, &pAnySrc->asnValue.object);
    if (HoldsOctets(pAnySrc->asnType))
        return SnmpUtilOctetsCpy(&pAnyDst->asnValue.string, &pAnySrc->asnValue.string);
    pAnyDst->asnValue = pAnySrc->asnValue;
    return SNMPAPI_NOERROR;
}

void WINAPI SnmpUtilAsnAnyFree(AsnAny* pAny)
{
    if (!pAny)
        return;
    if (pAny->asnType == ASN_OBJECTIDENTIFIER)
        SnmpUtilOidFree(&pAny->asnValue.object);
    else if (HoldsOctets(pAny->asnType))
        SnmpUtilOctetsFree(&pAny->asnValue.string);
    pAny->asnType = ASN_NULL;
}

SNMPAPI WINAPI SnmpUtilVarBindCpy(SnmpVarBind* pVbDst, SnmpVarBind* pVbSrc)
{
    if (!pVbDst)
        return SNMPAPI_ERROR;
    std::memset(pVbDst, 0, sizeof *pVbDst);
    pVbDst->value.asnType = ASN_NULL;
    if (!pVbSrc)
        return SNMPAPI_NOERROR;
    if (!SnmpUtilOidCpy(&pVbDst->name, &pVbSrc->name))
        return SNMPAPI_ERROR;
    if (!SnmpUtilAsnAnyCpy(&pVbDst->value, &pVbSrc->value)) {
        SnmpUtilOidFree(&pVbDst->name);
        return SNMPAPI_ERROR;
    }
    return SNMPAPI_NOERROR;
}

void WINAPI SnmpUtilVarBindFree(SnmpVarBind* pVb)
{
    if (!pVb)
        return;
    SnmpUtilOidFree(&pVb->name);
    SnmpUtilAsnAnyFree(&pVb->value);
}

SNMPAPI WINAPI SnmpUtilVarBindListCpy(SnmpVarBindList* pVblDst, SnmpVarBindList* pVblSrc)
{
    if (!pVblDst)
        return SNMPAPI_ERROR;
    pVblDst->list = nullptr;
    pVblDst->len = 0;
    if (!pVblSrc || pVblSrc->len == 0)
        return SNMPAPI_NOERROR;
    auto* list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(pVblSrc->len * sizeof(SnmpVarBind)));
    if (!list) {
        SetLastError(8);
        return SNMPAPI_ERROR;
    }
    for (UINT i = 0; i < pVblSrc->len; ++i) {
        if (!SnmpUtilVarBindCpy(&list[i], &pVblSrc->list[i])) {
            for (UINT j = 0; j < i; ++j)
                SnmpUtilVarBindFree(&list[j]);
            SnmpUtilMemFree(list);
            return SNMPAPI_ERROR;
        }
    }
    pVblDst->list = list;
    pVblDst->len = pVblSrc->len;
    return SNMPAPI_NOERROR;
}

void WINAPI SnmpUtilVarBindListFree(SnmpVarBindList* pVbl)
{
    if (!pVbl)
        return;
    for (UINT i = 0; i < pVbl->len && pVbl->list; ++i)
        SnmpUtilVarBindFree(&pVbl->list[i]);
    SnmpUtilMemFree(pVbl->list);
    pVbl->list = nullptr;
    pVbl->len = 0;
}
