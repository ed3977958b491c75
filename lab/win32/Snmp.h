// Stands in for snmp.h and mgmtapi.h: the SNMP records, snmpapi.dll's utilities and the manager API.
#pragma once

#include "lab/win32/WinDef.h"

#include <cstdint>

// The records keep Windows' 4-byte packing, so their layout is the one the real headers give.
#pragma pack(push, 4)

typedef struct {
    BYTE* stream;
    UINT length;
    BOOL dynamic;  // the stream was allocated with SnmpUtilMemAlloc and is freed with the record
} AsnOctetString;

typedef struct {
    UINT idLength;
    UINT* ids;
} AsnObjectIdentifier;

typedef LONG AsnInteger32;
typedef LONG AsnInteger;
typedef ULONG AsnUnsigned32;
typedef struct {
    uint64_t QuadPart;
} AsnCounter64;
typedef AsnUnsigned32 AsnCounter32;
typedef AsnUnsigned32 AsnGauge32;
typedef AsnUnsigned32 AsnTimeticks;
typedef AsnOctetString AsnBits;
typedef AsnOctetString AsnSequence;
typedef AsnOctetString AsnIPAddress;
typedef AsnOctetString AsnNetworkAddress;
typedef AsnOctetString AsnDisplayString;
typedef AsnOctetString AsnOpaque;

typedef struct {
    BYTE asnType;
    union {
        AsnInteger32 number;
        AsnUnsigned32 unsigned32;
        AsnCounter64 counter64;
        AsnOctetString string;
        AsnBits bits;
        AsnObjectIdentifier object;
        AsnSequence sequence;
        AsnIPAddress address;
        AsnCounter32 counter;
        AsnGauge32 gauge;
        AsnTimeticks ticks;
        AsnOpaque arbitrary;
    } asnValue;
} AsnAny;

typedef AsnObjectIdentifier AsnObjectName;
typedef AsnAny AsnObjectSyntax;

typedef struct {
    AsnObjectName name;
    AsnObjectSyntax value;
} SnmpVarBind;

typedef struct {
    SnmpVarBind* list;
    UINT len;
} SnmpVarBindList;

#pragma pack(pop)

#define ASN_UNIVERSAL 0x00
#define ASN_APPLICATION 0x40
#define ASN_CONTEXT 0x80
#define ASN_PRIMITIVE 0x00
#define ASN_CONSTRUCTOR 0x20

#define SNMP_PDU_GET (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x0)
#define SNMP_PDU_GETNEXT (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x1)
#define SNMP_PDU_RESPONSE (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x2)
#define SNMP_PDU_SET (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x3)

#define ASN_INTEGER (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x02)
#define ASN_BITS (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x03)
#define ASN_OCTETSTRING (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x04)
#define ASN_NULL (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x05)
#define ASN_OBJECTIDENTIFIER (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x06)
#define ASN_INTEGER32 ASN_INTEGER
#define ASN_SEQUENCE (ASN_UNIVERSAL | ASN_CONSTRUCTOR | 0x10)
#define ASN_IPADDRESS (ASN_APPLICATION | ASN_PRIMITIVE | 0x00)
#define ASN_COUNTER32 (ASN_APPLICATION | ASN_PRIMITIVE | 0x01)
#define ASN_GAUGE32 (ASN_APPLICATION | ASN_PRIMITIVE | 0x02)
#define ASN_TIMETICKS (ASN_APPLICATION | ASN_PRIMITIVE | 0x03)
#define ASN_OPAQUE (ASN_APPLICATION | ASN_PRIMITIVE | 0x04)
#define ASN_COUNTER64 (ASN_APPLICATION | ASN_PRIMITIVE | 0x06)
#define ASN_UNSIGNED32 (ASN_APPLICATION | ASN_PRIMITIVE | 0x07)
#define SNMP_EXCEPTION_NOSUCHOBJECT (ASN_CONTEXT | ASN_PRIMITIVE | 0x00)
#define SNMP_EXCEPTION_NOSUCHINSTANCE (ASN_CONTEXT | ASN_PRIMITIVE | 0x01)
#define SNMP_EXCEPTION_ENDOFMIBVIEW (ASN_CONTEXT | ASN_PRIMITIVE | 0x02)

#define SNMP_ERRORSTATUS_NOERROR 0
#define SNMP_ERRORSTATUS_TOOBIG 1
#define SNMP_ERRORSTATUS_NOSUCHNAME 2
#define SNMP_ERRORSTATUS_BADVALUE 3
#define SNMP_ERRORSTATUS_READONLY 4
#define SNMP_ERRORSTATUS_GENERR 5

#define SNMPAPI INT
#define SNMPAPI_NOERROR TRUE
#define SNMPAPI_ERROR FALSE

// snmpapi.dll. Memory is the process heap's, zero-filled; every record owns what it points to.
LPVOID WINAPI SnmpUtilMemAlloc(UINT nBytes);
LPVOID WINAPI SnmpUtilMemReAlloc(LPVOID pMem, UINT nBytes);
void WINAPI SnmpUtilMemFree(LPVOID pMem);
SNMPAPI WINAPI SnmpUtilOidCpy(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc);
SNMPAPI WINAPI SnmpUtilOidNCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2, UINT nSubIds);
SNMPAPI WINAPI SnmpUtilOidCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2);
void WINAPI SnmpUtilOidFree(AsnObjectIdentifier* pOid);
SNMPAPI WINAPI SnmpUtilOctetsCpy(AsnOctetString* pOctetsDst, AsnOctetString* pOctetsSrc);
void WINAPI SnmpUtilOctetsFree(AsnOctetString* pOctets);
SNMPAPI WINAPI SnmpUtilAsnAnyCpy(AsnAny* pAnyDst, AsnAny* pAnySrc);
void WINAPI SnmpUtilAsnAnyFree(AsnAny* pAny);
SNMPAPI WINAPI SnmpUtilVarBindCpy(SnmpVarBind* pVbDst, SnmpVarBind* pVbSrc);
void WINAPI SnmpUtilVarBindFree(SnmpVarBind* pVb);
SNMPAPI WINAPI SnmpUtilVarBindListCpy(SnmpVarBindList* pVblDst, SnmpVarBindList* pVblSrc);
void WINAPI SnmpUtilVarBindListFree(SnmpVarBindList* pVbl);

// mgmtapi.dll.
typedef PVOID LPSNMP_MGR_SESSION;

#define SNMP_MGMTAPI_TIMEOUT 40
#define SNMP_MGMTAPI_SELECT_FDERRORS 41
#define SNMP_MGMTAPI_TRAP_ERRORS 42
#define SNMP_MGMTAPI_TRAP_DUPINIT 43
#define SNMP_MGMTAPI_NOTRAPS 44
#define SNMP_MGMTAPI_AGAIN 45
#define SNMP_MGMTAPI_INVALID_CTL 46
#define SNMP_MGMTAPI_INVALID_SESSION 47
#define SNMP_MGMTAPI_INVALID_BUFFER 48

// Opens a session without contacting the agent; nTimeOut in milliseconds, nRetries further tries.
LPSNMP_MGR_SESSION WINAPI SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut, INT nRetries);
BOOL WINAPI SnmpMgrClose(LPSNMP_MGR_SESSION session);
// Nonzero when a response came, whatever its error status; the bindings are then the response's.
SNMPAPI WINAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType, SnmpVarBindList* variableBindings,
                              AsnInteger* errorStatus, AsnInteger* errorIndex);
