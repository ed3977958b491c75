// Feeds random replies of the base service to the two steps that read it through the command router, and
// random data to the system event log walk: the report stays well-formed, every interface is released, and
// the sanitizers see no fault or leak.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target RouterReplyFuzz &&
//   build/fuzz/fuzz/RouterReplyFuzz -max_total_time=30
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/FuzzCheck.h"
#include "lab/host/Host.h"
#include "lab/win32/ComControl.h"
#include "src/baselink/CommandHeader.h"
#include "src/checks/CheckSystemEventlog.h"
#include "src/checks/TestRavelin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Statuses the steps tell apart, and a few they do not know.
const uint32_t STATUSES[] = {0, 12, 21, 255, 7, 0x0F, 6, 22};

void StartReport(CXmlDocument& doc)
{
    doc.LoadText(nullptr);
    doc.AddElement("Root", nullptr, 0);
}

void FuzzWalk(FuzzedDataProvider& fuzz)
{
    std::vector<uint8_t> data = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, 1024));
    CXmlDocument doc;
    StartReport(doc);
    doc.FindSibling("Root");
    size_t nEntries = WriteSystemEventlogEntries(doc, data.data(), data.size());
    // Every entry takes at least one byte of the data, and the last one at least 18.
    FUZZ_CHECK(nEntries == 0 || data.size() >= 18 + (nEntries - 1));
    FUZZ_CHECK(doc.CheckWellFormed());
}

// The size of a valid reply header: every size from 48 to 65535 can come, the ones near the usual 48 most often.
size_t HeaderSize(FuzzedDataProvider& fuzz)
{
    switch (fuzz.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
    case 1:
    case 2:
        return 48;
    case 3:
    case 4:
    case 5:
        return fuzz.ConsumeIntegralInRange<size_t>(49, 128);
    case 6:
        return 0xFFFF - fuzz.ConsumeIntegralInRange<size_t>(0, 16);
    default:
        return fuzz.ConsumeIntegralInRange<size_t>(48, 0xFFFF);
    }
}

// A reply header that passes the client's checks ("$SIP", a header size of 48 or more, the reply's status and
// data length) so that the steps read on into the data, of any size up to 65535 bytes: the fields the client
// does not check, a size field that may differ from the bytes there are, and the bytes after the 48 come from
// the input (zeros where it ran out).
std::vector<uint8_t> ValidHeader(FuzzedDataProvider& fuzz, const lab::host::ScriptedReply& reply)
{
    const size_t cbHeader = HeaderSize(fuzz);
    std::vector<uint8_t> header = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, 96));
    header.resize(cbHeader, 0);
    CommandHeader fields;
    std::memcpy(&fields, header.data(), sizeof fields);
    std::memcpy(fields.szSignature, "$SIP", 4);
    const uint8_t bFields = fuzz.ConsumeIntegral<uint8_t>();
    fields.wHeaderSize = static_cast<WORD>(cbHeader);
    if ((bFields & 0x07) == 0)
        fields.wHeaderSize = fuzz.ConsumeIntegralInRange<WORD>(48, 0xFFFF);
    fields.lStat = static_cast<LONG>(reply.status);
    if (bFields & 0x08)
        fields.dwLen = static_cast<DWORD>(reply.data.size());
    std::memcpy(header.data(), &fields, sizeof fields);
    return header;
}

void FuzzReplies(FuzzedDataProvider& fuzz)
{
    std::vector<lab::host::ScriptedReply> replies;
    while (fuzz.remaining_bytes() > 0 && replies.size() < 96) {
        lab::host::ScriptedReply reply;
        const uint8_t bKind = fuzz.ConsumeIntegral<uint8_t>();
        reply.status = (bKind & 0x80) ? fuzz.ConsumeIntegral<uint32_t>() : STATUSES[bKind % 8];
        reply.data = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, (bKind & 0x20) ? 600 : 24));
        // Mostly a valid header of any size; now and then the bytes as they come, which the client must also bear.
        if (bKind & 0x40)
            reply.header = (bKind & 0x18) != 0x18
                               ? ValidHeader(fuzz, reply)
                               : fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, 64));
        replies.push_back(reply);
    }
    lab::host::BaseService& service = lab::host::Host::Instance().TheBaseService();
    service.Script(replies);

    CDiagReport report{std::vector<DiagStep>{}};
    StartReport(report.m_Document);
    CheckSystemEventlog(report, report.m_Document);
    TestRavelin(report, report.m_Document);
    FUZZ_CHECK(report.m_Document.CheckWellFormed());
    FUZZ_CHECK(lab::win32::LiveComObjects() == 0);
    service.Script({});
    // The lab's journal of COM start-ups would otherwise grow with every run.
    lab::host::Host::Instance().ClearJournal();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fuzz(data, size);
    FuzzWalk(fuzz);
    FuzzReplies(fuzz);
    return 0;
}
