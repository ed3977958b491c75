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
#include "src/baselink/TestRavelin.h"
#include "src/checks/CheckSystemEventlog.h"

#include <cstdio>
#include <cstdlib>
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

void FuzzReplies(FuzzedDataProvider& fuzz)
{
    std::vector<lab::host::ScriptedReply> replies;
    while (fuzz.remaining_bytes() > 0 && replies.size() < 96) {
        lab::host::ScriptedReply reply;
        const uint8_t bKind = fuzz.ConsumeIntegral<uint8_t>();
        reply.status = (bKind & 0x80) ? fuzz.ConsumeIntegral<uint32_t>() : STATUSES[bKind % 8];
        reply.data = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, (bKind & 0x20) ? 600 : 24));
        if (bKind & 0x40)
            reply.header = fuzz.ConsumeBytes<uint8_t>(fuzz.ConsumeIntegralInRange<size_t>(0, 64));
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
