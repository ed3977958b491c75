// The steps of triagist-capture: each reads one facility of this machine into the lab profile's files.
#pragma once

#include "src/capture/CaptureLog.h"
#include "src/capture/ProfileFolder.h"
#include "src/capture/Redactor.h"

#include <set>
#include <string>

struct SCapture {
    SCapture(const std::string& strFolder, bool bRedactAll, FILE* pOut) : folder(strFolder), bRedact(bRedactAll), log(pOut) {}

    CProfileFolder folder;
    bool bRedact;
    CRedactor redactor;
    CCaptureLog log;
    // Files the diagnosis reads, as Windows paths, gathered by the steps before the files are copied.
    std::set<std::string> files;
    // Upper-case copies of the paths above, so that one file named two ways is copied once.
    std::set<std::string> fileKeys;

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
// baseservice.ini: the base service's answers through the command router.
void CaptureBaseService(SCapture& capture);

// Text helpers the steps share.
std::string FormatText(const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// A value that keeps its meaning in the lab's line formats: quoted with escapes when it has control
// characters, blanks at its ends or a leading quote; otherwise as it stands.
std::string QuoteIfNeeded(const std::string& strValue);
