// firmware/: the SMBIOS table in dmidecode's --dump-bin layout, and through the board driver the PCI
// functions (lspci -x text) and the interrupt routing table.
#include "src/capture/Capture.h"

#include "src/hardware/Device.h"
#include "src/hardware/RoutingTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const DWORD PROVIDER_RSMB = 0x52534D42;
const DWORD TABLE_OFFSET = 0x20;  // where --dump-bin puts the structure table
const DWORD PCI_HEADER_SIZE = 64;

struct SPciAddress {
    DWORD dwBus, dwDevice, dwFunction, dwReserved;
};

void Put16(std::vector<BYTE>& bytes, size_t at, DWORD value)
{
    bytes[at] = static_cast<BYTE>(value);
    bytes[at + 1] = static_cast<BYTE>(value >> 8);
}

void Put32(std::vector<BYTE>& bytes, size_t at, DWORD value)
{
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

BYTE Checksum(const std::vector<BYTE>& bytes, size_t from, size_t length)
{
    BYTE sum = 0;
    for (size_t i = from; i < from + length; ++i)
        sum = static_cast<BYTE>(sum + bytes[i]);
    return static_cast<BYTE>(-sum);
}

// The entry point an SMBIOS 2 table needs counts its structures and knows the largest.
void MeasureTable(const BYTE* pTable, size_t cbTable, DWORD& dwCount, DWORD& dwLargest)
{
    dwCount = dwLargest = 0;
    for (size_t at = 0; at + 4 <= cbTable;) {
        size_t end = at + pTable[at + 1];
        while (end + 1 < cbTable && (pTable[end] || pTable[end + 1]))
            ++end;
        end = std::min(end + 2, cbTable);
        ++dwCount;
        dwLargest = std::max<DWORD>(dwLargest, static_cast<DWORD>(end - at));
        if (pTable[at] == 127 || pTable[at + 1] < 4)
            break;
        at = end;
    }
}

std::vector<BYTE> DumpBin(const std::vector<BYTE>& raw)
{
    DWORD cbTable = 0;
    std::memcpy(&cbTable, &raw[4], 4);
    BYTE major = raw[1], minor = raw[2];
    std::vector<BYTE> dump(TABLE_OFFSET + cbTable, 0);
    std::memcpy(&dump[TABLE_OFFSET], &raw[8], cbTable);
    if (major >= 3) {
        std::memcpy(&dump[0], "_SM3_", 5);
        dump[6] = 0x18;
        dump[7] = major;
        dump[8] = minor;
        dump[9] = raw[3];
        dump[10] = 1;
        Put32(dump, 0x0C, cbTable);
        Put32(dump, 0x10, TABLE_OFFSET);
        dump[5] = Checksum(dump, 0, 0x18);
    } else {
        DWORD dwCount, dwLargest;
        MeasureTable(&raw[8], cbTable, dwCount, dwLargest);
        std::memcpy(&dump[0], "_SM_", 4);
        dump[5] = 0x1F;
        dump[6] = major;
        dump[7] = minor;
        Put16(dump, 8, dwLargest);
        std::memcpy(&dump[0x10], "_DMI_", 5);
        Put16(dump, 0x16, cbTable);
        Put32(dump, 0x18, TABLE_OFFSET);
        Put16(dump, 0x1C, dwCount);
        dump[0x1E] = static_cast<BYTE>(major << 4 | (minor & 0x0F));
        dump[0x15] = Checksum(dump, 0x10, 0x0F);
        dump[4] = Checksum(dump, 0, 0x1F);
    }
    return dump;
}

// The table with the serial numbers of the system, board and chassis (types 1 to 3) and the system's UUID
// replaced: every string goes through the redactor, so the texts and the table name one placeholder.
std::vector<BYTE> RedactTable(SCapture& capture, const BYTE* pTable, size_t cbTable)
{
    std::vector<BYTE> out;
    for (size_t at = 0; at + 4 <= cbTable;) {
        BYTE type = pTable[at], length = pTable[at + 1];
        if (length < 4 || at + length > cbTable)
            break;
        std::vector<std::string> strings;
        size_t end = at + length;
        while (end < cbTable && pTable[end]) {
            strings.emplace_back(reinterpret_cast<const char*>(pTable + end));
            end += strings.back().size() + 1;
        }
        end = std::min(cbTable, end + (strings.empty() ? 2 : 1));
        std::vector<BYTE> formatted(pTable + at, pTable + at + length);
        if (type >= 1 && type <= 3 && length > 7 && formatted[7] >= 1 && formatted[7] <= strings.size())
            capture.redactor.Add(CRedactor::SERIAL, strings[formatted[7] - 1]);
        if (type == 1 && length >= 0x18)
            std::fill(formatted.begin() + 8, formatted.begin() + 0x18, BYTE(0));
        out.insert(out.end(), formatted.begin(), formatted.end());
        for (const std::string& strText : strings) {
            std::string strRedacted = capture.redactor.Apply(strText);
            out.insert(out.end(), strRedacted.begin(), strRedacted.end());
            out.push_back(0);
        }
        if (strings.empty())
            out.push_back(0);
        out.push_back(0);
        if (type == 127)
            break;
        at = end;
    }
    return out;
}

void CaptureSmbios(SCapture& capture)
{
    UINT cbRaw = GetSystemFirmwareTable(PROVIDER_RSMB, 0, nullptr, 0);
    if (cbRaw < 8) {
        capture.log.Missed("firmware\\smbios.bin", GetLastError());
        return;
    }
    std::vector<BYTE> raw(cbRaw);
    if (GetSystemFirmwareTable(PROVIDER_RSMB, 0, raw.data(), cbRaw) != cbRaw) {
        capture.log.Missed("firmware\\smbios.bin", GetLastError());
        return;
    }
    DWORD cbTable = 0;
    std::memcpy(&cbTable, &raw[4], 4);
    if (cbTable > cbRaw - 8) {
        capture.log.Missed("firmware\\smbios.bin", "the firmware's table is shorter than it says");
        return;
    }
    if (capture.bRedact) {
        std::vector<BYTE> table = RedactTable(capture, &raw[8], cbTable);
        cbTable = static_cast<DWORD>(table.size());
        raw.resize(8);
        std::memcpy(&raw[4], &cbTable, 4);
        raw.insert(raw.end(), table.begin(), table.end());
    }
    DWORD dwError = capture.folder.WriteBytes("firmware\\smbios.bin", DumpBin(raw));
    if (dwError != ERROR_SUCCESS)
        capture.log.Missed("firmware\\smbios.bin", dwError);
    else
        capture.log.Captured(FormatText("firmware\\smbios.bin: SMBIOS %u.%u, %lu bytes of structures", raw[1], raw[2],
                                        static_cast<unsigned long>(cbTable)));
}

void CapturePci(SCapture& capture)
{
    CDeviceBusIo busIo;
    if (!busIo.Connect()) {
        capture.log.Missed("firmware\\pci.txt", "the board driver does not run");
        return;
    }
    std::string& strOut = capture.folder.Text("firmware\\pci.txt");
    SPciAddress address = {0, 0, 0, 0};
    BYTE header[PCI_HEADER_SIZE];
    busIo.IoControl(IOCTL_VXBUSIO_READ_HEADER, &address, sizeof address, header, sizeof header, nullptr);
    int nFunctions = 0;
    for (;;) {
        if (!(header[0] == 0xFF && header[1] == 0xFF)) {
            strOut += FormatText("%02lx:%02lx.%lu PCI function\n", static_cast<unsigned long>(address.dwBus),
                                 static_cast<unsigned long>(address.dwDevice),
                                 static_cast<unsigned long>(address.dwFunction));
            for (DWORD row = 0; row < PCI_HEADER_SIZE; row += 16) {
                strOut += FormatText("%02lx:", static_cast<unsigned long>(row));
                for (DWORD i = 0; i < 16; ++i)
                    strOut += FormatText(" %02x", header[row + i]);
                strOut += "\n";
            }
            strOut += "\n";
            ++nFunctions;
        }
        BYTE reply[12 + PCI_HEADER_SIZE] = {};
        DWORD cbReturned = 0;
        SPciAddress current = address;
        if (!busIo.IoControl(IOCTL_VXBUSIO_NEXT_FUNCTION, &current, sizeof current, reply, sizeof reply,
                             &cbReturned) ||
            cbReturned != sizeof reply)
            break;
        SPciAddress next = {0, 0, 0, 0};
        std::memcpy(&next, reply, 12);
        if (next.dwBus > 255 || next.dwDevice > 31 || next.dwFunction > 7 ||
            (next.dwBus << 8 | next.dwDevice << 3 | next.dwFunction) <=
                (current.dwBus << 8 | current.dwDevice << 3 | current.dwFunction))
            break;
        address = next;
        std::memcpy(header, reply + 12, sizeof header);
    }
    capture.log.Captured(FormatText("firmware\\pci.txt: %d PCI functions", nFunctions));
}

// Routing entries as pir.ini writes them: bus, device number ("end" for the end mark), slot.
std::string RoutingEntries(const BYTE* pEntries, DWORD dwCount)
{
    std::string strOut;
    for (DWORD i = 0; i < dwCount; ++i) {
        const BYTE* pEntry = pEntries + i * ROUTING_ENTRY_SIZE;
        strOut += pEntry[1] == 0xFF ? FormatText("Entry=%u end %u\r\n", pEntry[0], pEntry[14])
                                    : FormatText("Entry=%u 0x%02X %u\r\n", pEntry[0], pEntry[1] >> 3, pEntry[14]);
    }
    return strOut;
}

// Every "$PIR" table in the BIOS area as the diagnosis finds them, good or bad, in their order; then what
// the firmware's own interface answers, which the slot mapping asks when no table serves.
void CaptureRouting(SCapture& capture)
{
    CDeviceBios bios;
    if (!bios.Connect()) {
        capture.log.Missed("firmware\\pir.ini", "the board driver does not run");
        return;
    }
    const BYTE* pArea = static_cast<const BYTE*>(bios.MapPhysicalMemory(0, ROUTING_AREA_BASE, ROUTING_AREA_LENGTH));
    if (!pArea) {
        capture.log.Missed("firmware\\pir.ini", bios.LastError());
        return;
    }
    std::string& strOut = capture.folder.Text("firmware\\pir.ini");
    strOut = "; The PCI interrupt routing table, captured by triagist-capture.\r\n";
    int nTables = 0;
    for (DWORD at = 0; at + 16 <= ROUTING_AREA_LENGTH; at += 16) {
        SRoutingTableInfo info;
        if (!ReadRoutingTable(pArea + at, pArea + ROUTING_AREA_LENGTH, info))
            continue;
        // Of a table that runs past the area only what lies in it is seen, and its checksum is bad.
        DWORD cbSeen = std::min<DWORD>(info.wSize, ROUTING_AREA_LENGTH - at);
        DWORD dwEntries = cbSeen < ROUTING_HEADER_SIZE ? 0 : (cbSeen - ROUTING_HEADER_SIZE) / ROUTING_ENTRY_SIZE;
        strOut += FormatText("\r\n[Table]\r\nAddress=0x%lX\r\nVersion=%u.%u\r\n%s",
                             static_cast<unsigned long>(ROUTING_AREA_BASE + at), pArea[at + 5], pArea[at + 4],
                             info.bChecksum != 0 ? "Checksum=bad\r\n" : "") +
                  RoutingEntries(pArea + at + ROUTING_HEADER_SIZE, dwEntries);
        ++nTables;
    }
    bios.UnmapPhysicalMemory();

    BYTE header[ROUTING_REPLY_HEADER] = {};
    bios.GetIrqRoutingTable(0, header);
    DWORD dwInterfaceEntries = 0;
    if (bios.LastError() == ERROR_INSUFFICIENT_BUFFER && ReadWord(header) != 0) {
        DWORD cbEntries = ReadWord(header);
        std::vector<BYTE> reply(cbEntries + ROUTING_REPLY_HEADER);
        if (bios.GetIrqRoutingTable(cbEntries, reply.data())) {
            dwInterfaceEntries = cbEntries / ROUTING_ENTRY_SIZE;
            strOut += "\r\n[Table]\r\nAddress=none\r\nInterface=yes\r\n" +
                      RoutingEntries(reply.data() + ROUTING_REPLY_HEADER, dwInterfaceEntries);
        }
    }
    capture.log.Captured(FormatText("firmware\\pir.ini: %d routing tables, %lu entries from the firmware interface",
                                    nTables, static_cast<unsigned long>(dwInterfaceEntries)));
}

}  // namespace

void CaptureFirmware(SCapture& capture)
{
    CaptureSmbios(capture);
    CapturePci(capture);
    CaptureRouting(capture);
}
