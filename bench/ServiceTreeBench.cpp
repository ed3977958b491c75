// The agent restart over a chain of dependents: each tree walk should grow linearly with the chain.
#include "lab/host/Host.h"
#include "src/tools/AgentRestart.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// SNMP with a chain of dependents, each on the one before, on the virtual clock.
void LoadChain(const std::string& dir, int nLinks)
{
    namespace fs = std::filesystem;
    fs::create_directories(dir + "/profile");
    std::ofstream(dir + "/profile/registry.reg") << "Windows Registry Editor Version 5.00\r\n\r\n";
    std::ofstream(dir + "/profile/lab.ini") << "[Clock]\nMode=virtual\nStart=2026-03-07 10:15:30\n";
    std::ofstream services(dir + "/profile/services.ini");
    services << "[SNMP]\nState=running\nAccept=0x1\n[Ravelind]\nState=running\nAccept=0x1\n";
    for (int i = 1; i <= nLinks; ++i)
        services << "[Link" << i << "]\nDependOnService=" << (i == 1 ? "SNMP" : "Link" + std::to_string(i - 1))
                 << "\nState=running\nAccept=0x1\n";
    services.close();
    fs::remove_all(dir + "/state");
    lab::host::Host::Instance().LoadProfile(dir + "/profile", dir + "/state");
}

void BM_RestartOverAChain(benchmark::State& state)
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "triagist-servicebench-XXXXXX").string();
    if (!mkdtemp(&pattern[0]))
        return;
    CWindowlessRestartView windowless;
    for (auto _ : state) {
        state.PauseTiming();
        LoadChain(pattern, static_cast<int>(state.range(0)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(CAgentRestart(windowless).RestartAgents(1, 1, 0, 1));
    }
    state.SetComplexityN(state.range(0));
    std::error_code ec;
    fs::remove_all(pattern, ec);
}
BENCHMARK(BM_RestartOverAChain)->RangeMultiplier(2)->Range(25, 200)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
