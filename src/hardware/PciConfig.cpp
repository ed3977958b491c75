// Decoding of one PCI function's configuration header.
#include "src/hardware/PciConfig.h"

#include <cstdio>
#include <cstring>

namespace {

struct SSubName {
    int nSub;
    int nInterface;  // -1: any
    const char* pszName;
};

struct SClassNames {
    const char* pszClass;
    const SSubName* pSubs;
    size_t nSubs;
};

const SSubName kUndefined[] = {{0, -1, "Early non-VGA device"}, {1, -1, "VGA compatible device"}};
const SSubName kStorage[] = {{0, -1, "SCSI controller"}, {1, -1, "IDE controller"},
                             {2, -1, "Floppy disk controller"}, {3, -1, "IPI controller"}, {4, -1, "RAID controller"}};
const SSubName kNetwork[] = {{0, -1, "Ethernet controller"}, {1, -1, "Token ring controller"},
                             {2, -1, "FDDI controller"}, {3, -1, "ATM controller"}};
const SSubName kDisplay[] = {{0, 0, "VGA compatible controller"}, {0, -1, "8514 compatible controller"},
                             {1, -1, "XGA controller"}, {2, -1, "3D controller"}};
const SSubName kMultimedia[] = {{0, -1, "Video device"}, {1, -1, "Audio device"}, {2, -1, "Telephony device"}};
const SSubName kMemory[] = {{0, -1, "RAM controller"}, {1, -1, "Flash memory controller"}};
const SSubName kBridge[] = {{0, -1, "Host bridge"}, {1, -1, "ISA bridge"}, {2, -1, "EISA bridge"},
                            {3, -1, "MCA bridge"}, {4, -1, "PCI-to-PCI bridge"}, {5, -1, "PCMCIA bridge"},
                            {6, -1, "NuBus bridge"}, {7, -1, "CardBus bridge"}, {8, -1, "RACEWay bridge"}};
const SSubName kCommunication[] = {
    {0, 0, "Generic XT compatible serial port"}, {0, 1, "16450 compatible serial port"},
    {0, 2, "16550 compatible serial port"}, {0, -1, "Serial port"},
    {1, 0, "Generic XT compatible parallel port"}, {1, 1, "Bidirectional parallel port"},
    {1, 2, "ECP 1.X compliant parallel port"}, {1, -1, "Parallel port"},
    {2, -1, "Multi serial controller"}, {3, -1, "Modem"}};
const SSubName kPeripheral[] = {
    {0, 0, "Generic 8259 PIC"}, {0, 1, "ISA PIC"}, {0, 2, "EISA PIC"}, {0, -1, "PIC"},
    {1, 0, "Generic 8237 DMA"}, {1, 1, "ISA DMA"}, {1, 2, "EISA DMA"}, {1, -1, "DMA"},
    {2, 0, "Generic 8254 system timer"}, {2, 1, "ISA system timer"}, {2, 2, "EISA system timer"},
    {2, -1, "System timer"}, {3, 0, "Generic RTC"}, {3, 1, "ISA RTC"}, {3, -1, "RTC"},
    {4, -1, "PCI hot-plug controller"}};
const SSubName kInput[] = {{0, -1, "Keyboard controller"}, {1, -1, "Digitizer (pen)"}, {2, -1, "Mouse controller"},
                           {3, -1, "Scanning controller"}, {4, -1, "Game controller"}};
const SSubName kProcessor[] = {{0x00, -1, "386"}, {0x01, -1, "486"}, {0x02, -1, "Pentium"},
                               {0x10, -1, "Alpha"}, {0x20, -1, "PowerPC"}, {0x40, -1, "Co-processor"}};
const SSubName kSerialBus[] = {{0, -1, "Firewire (IEEE 1394)"}, {1, -1, "ACCESS.bus"}, {2, -1, "SSA"},
                               {3, -1, "Universal Serial Bus (USB)"}, {4, -1, "Fibre Channel"}, {5, -1, "SM Bus"}};
const SSubName kWireless[] = {{0, -1, "iRDA controller"}, {1, -1, "Consumer IR controller"}, {2, -1, "RF controller"}};
const SSubName kIntelligent[] = {{0, -1, "I2O controller"}};
const SSubName kSatellite[] = {{0, -1, "Satellite TV controller"}, {1, -1, "Satellite audio controller"},
                               {2, -1, "Satellite voice controller"}, {3, -1, "Satellite data controller"}};
const SSubName kEncryption[] = {{0, -1, "Network and computing en/decryption"}, {1, -1, "Entertainment en/decryption"}};
const SSubName kSignal[] = {{0, -1, "DPIO module"}};

#define NAMES(table) table, sizeof table / sizeof table[0]
const SClassNames kClasses[] = {
    {"Undefined", NAMES(kUndefined)}, {"Mass storage controller", NAMES(kStorage)},
    {"Network controller", NAMES(kNetwork)}, {"Display controller", NAMES(kDisplay)},
    {"Multimedia device", NAMES(kMultimedia)}, {"Memory controller", NAMES(kMemory)},
    {"Bridge device", NAMES(kBridge)}, {"Simple communication controller", NAMES(kCommunication)},
    {"System peripheral", NAMES(kPeripheral)}, {"Input device", NAMES(kInput)},
    {"Docking station", nullptr, 0}, {"Processor", NAMES(kProcessor)},
    {"Serial bus controller", NAMES(kSerialBus)}, {"Wireless controller", NAMES(kWireless)},
    {"Intelligent I/O controller", NAMES(kIntelligent)}, {"Satellite communication controller", NAMES(kSatellite)},
    {"Encryption/decryption controller", NAMES(kEncryption)}, {"Signal processing controller", NAMES(kSignal)}};
#undef NAMES

void Copy(char* pszTarget, const char* pszText)
{
    snprintf(pszTarget, 260, "%s", pszText);
}

}  // namespace

void CPciConfig::Clear()
{
    std::memset(m_Header, 0, sizeof m_Header);
    m_wSubVendorId = 0;
    m_wSubSystemId = 0;
    m_szClassName[0] = '\0';
    m_szSubClassName[0] = '\0';
}

void DecodePciClass(CPciConfig& config)
{
    bool bPlainHeader = (config.HeaderType() & 0x7F) == 0;
    config.m_wSubVendorId = bPlainHeader ? static_cast<WORD>(config.m_Header[0x2C] | (config.m_Header[0x2D] << 8)) : 0;
    config.m_wSubSystemId = bPlainHeader ? static_cast<WORD>(config.m_Header[0x2E] | (config.m_Header[0x2F] << 8)) : 0;

    BYTE base = config.BaseClass();
    if (base == 0xFF || base >= sizeof kClasses / sizeof kClasses[0]) {
        const char* pszName = base == 0xFF ? "Other" : "Unknown";
        Copy(config.m_szClassName, pszName);
        Copy(config.m_szSubClassName, pszName);
        return;
    }
    const SClassNames& names = kClasses[base];
    Copy(config.m_szClassName, names.pszClass);
    const char* pszSub = names.pszClass;
    if (base == 0x00 && config.SubClass() > 1)
        pszSub = "Unknown";
    for (size_t i = 0; i < names.nSubs; ++i) {
        const SSubName& sub = names.pSubs[i];
        if (sub.nSub == config.SubClass() && (sub.nInterface < 0 || sub.nInterface == config.ProgInterface())) {
            pszSub = sub.pszName;
            break;
        }
    }
    Copy(config.m_szSubClassName, pszSub);
}
