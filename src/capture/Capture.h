// The steps of triagist-capture: each reads one facility of this machine into the lab profile's files.
#pragma once

#include "src/capture/CaptureLog.h"
#include "src/capture/ProfileFolder.h"
#include "src/capture/Redactor.h"

#include <map>
#include <vector>
#include <string>

// A value of the agents' status MIB.
struct SMibValue {
    BYTE bType = 0;  // ASN type; 0 where the table has no such row
    std::string strText;
};

// What the SNMP agent serves of the status tree, where it may say more than the base service.
struct SStatusMib {
    bool bServed = false;
    std::vector<SMibValue> componentLists;  // by subsystem row
    std::vector<SMibValue> componentIds;    // by component row, numbered on through all subsystems
    std::vector<SMibValue> statuses;        // the same rows
};

struct SCapture {
    SCapture(const std::string& strFolder, bool bRedactAll, FILE* pOut) : folder(strFolder), bRedact(bRedactAll), log(pOut) {}

    CProfileFolder folder;
    bool bRedact;
    CRedactor redactor;
    CCaptureLog log;
    // Every spelling a file was named by (Windows ignores case, a profile's drive may not), by upper-case path.
    std::map<std::string, std::vector<std::string>> files;
    SStatusMib statusMib;

    void AddFile(const std::string& strPath);
};

// registry.reg: the keys the checks, the tools and the trace facility read.
void CaptureRegistry(SCapture& capture);
// services.ini, with the services' image files for drive_c.
void CaptureServices(SCapture& capture);
// processes.ini, with the processes' images for drive_c.
void CaptureProcesses(SCapture& capture);
// network.ini.
void CaptureNetwork(SCapture& capture);
// eventlog/<Log>.txt, with the sources' message files for drive_c.
void CaptureEventLogs(SCapture& capture);
// drive_c/ and the [FileTimes] of lab.ini: the files gathered so far and the products' folders.
void CaptureFiles(SCapture& capture);
// lab.ini: system facts, languages, environment.
void CaptureSystem(SCapture& capture);
// firmware/smbios.bin, pir.ini and pci.txt.
void CaptureFirmware(SCapture& capture);
// The SNMP agent's answers: [SNMP] of lab.ini for an agent that misbehaves, and the status MIB.
void CaptureSnmp(SCapture& capture);
// baseservice.ini: the base service's answers through the command router, with what the status MIB adds.
void CaptureBaseService(SCapture& capture);

// The file an image path or a process's image names, as a Windows path on a drive: quotes and
// arguments go, "\??\" and "\SystemRoot\" are what the kernel makes of them; empty when it names none.
std::string ImageFilePath(const std::string& strImagePath);

// Text helpers the steps share.
std::string FormatText(const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// A value that keeps its meaning in the lab's line formats: quoted with escapes when it has control
// characters, blanks at its ends or a leading quote; otherwise as it stands.
std::string QuoteIfNeeded(const std::string& strValue);
