// Feeds made-up PCI buses to the PCI device scan: the data is cut into functions (bus, device,
// function and a 64-byte header each), or read as lspci text, and the scan must list each valid
// function once, in order, into a well-formed document.
#include "lab/host/Host.h"
#include "src/hardware/PciScan.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    if (size < 1 || size > 64 * 1024)
        return 0;
    lab::host::Firmware& firmware = lab::host::Host::Instance().TheFirmware();
    firmware.Reset();
    std::vector<lab::host::PciFunction> functions;
    if (pData[0] & 1) {
        std::string text(reinterpret_cast<const char*>(pData + 1), size - 1);
        std::string error;
        lab::host::Firmware::ParseLspci(text, functions, error);
    } else {
        for (size_t at = 1; at + 66 <= size; at += 66) {
            lab::host::PciFunction f;
            f.bus = pData[at];
            f.device = pData[at + 1] >> 3;
            f.function = pData[at + 1] & 7;
            f.config.assign(pData + at + 2, pData + at + 66);
            functions.push_back(f);
        }
    }
    firmware.SetFunctions(functions);
    if (pData[0] & 2)
        firmware.Place(0xF0000, std::vector<uint8_t>(pData, pData + size));

    CXmlDocument doc;
    doc.AddElement("Root", nullptr, 0);
    doc.Descend();
    ScanPciDevices(doc);
    if (!doc.CheckWellFormed())
        std::abort();
    const std::string text = doc.GetText();
    size_t nDevices = 0;
    for (size_t at = text.find("<Device "); at != std::string::npos; at = text.find("<Device ", at + 1))
        ++nDevices;
    if (nDevices > firmware.Functions().size())
        std::abort();
    return 0;
}
