// The whole unattended diagnosis (-DIAG) of the installed program, run to its end over the sample server,
// the live profile and profiles with 10 and 100 times the items of one kind: the program's own CPU time
// and peak resident set, the median of the repetitions, and what each added item costs.
//
//   triagist_wholerun [--dist DIR] [--repetitions N | --quick]
//
// It fails when a run fails, writes no well-formed report, or the report does not show the added items;
// the figures themselves are for reading.
#include "bench/wholerun/ChildUsage.h"
#include "bench/wholerun/ScaledProfile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The diagnosis asks for at most this many process identifiers.
constexpr int kMaxProcessIds = 1024;

struct Figures {
    double cpuMs = 0;
    double peakMB = 0;
    bool bOwnOnly = true;
    std::string report;  // of the last run
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Runner {
public:
    Runner(std::string dist, int repetitions) : m_dist(std::move(dist)), m_repetitions(repetitions)
    {
        std::string pattern = (fs::temp_directory_path() / "triagist-wholerun-XXXXXX").string();
        if (!mkdtemp(&pattern[0]))
            throw std::runtime_error("cannot make a temporary directory");
        m_root = pattern;
    }
    ~Runner()
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    std::string Root() const { return m_root; }

    // Each run starts from a fresh state, as a first diagnosis of the server does.
    Figures Measure(const std::string& profile)
    {
        std::vector<double> cpu, peak;
        Figures figures;
        for (int i = 0; i < m_repetitions; ++i) {
            // A directory per run: the lab's snmpd may still be writing to the last one's state as it ends.
            const std::string run = m_root + "/run" + std::to_string(++m_runs);
            for (const char* dir : {"/state", "/temp", "/cwd"})
                fs::create_directories(run + dir);
            wholerun::ChildUsage usage = wholerun::RunMeasured(
                {m_dist + "/triagist", "-DIAG", "-XMLREPORT", "r.xml"}, Environment(profile, run), run + "/cwd");
            if (!usage.bStarted)
                throw std::runtime_error("cannot start " + m_dist + "/triagist");
            if (usage.exitCode != 0)
                throw std::runtime_error("the diagnosis of " + profile + " ended with " +
                                         (usage.exitCode < 0 ? std::string("a signal")
                                                             : "exit code " + std::to_string(usage.exitCode)));
            figures.report = ReadWhole(run + "/cwd/r.xml");
            if (figures.report.rfind("<?xml", 0) != 0 || figures.report.find("</Root>") == std::string::npos)
                throw std::runtime_error("the diagnosis of " + profile + " wrote no whole report");
            cpu.push_back(usage.cpuMs);
            peak.push_back(usage.peakMB);
            figures.bOwnOnly = figures.bOwnOnly && usage.bOwnOnly;
        }
        figures.cpuMs = Median(cpu);
        figures.peakMB = Median(peak);
        return figures;
    }

private:
    std::vector<std::string> Environment(const std::string& profile, const std::string& run) const
    {
        std::vector<std::string> env;
        for (char** pp = environ; *pp; ++pp) {
            if (std::strncmp(*pp, "TRIAGIST_", 9) != 0 && std::strncmp(*pp, "TMPDIR=", 7) != 0)
                env.emplace_back(*pp);
        }
        env.push_back("TRIAGIST_LAB=" + profile);
        env.push_back("TRIAGIST_LAB_STATE=" + run + "/state");
        env.push_back("TMPDIR=" + run + "/temp");
        return env;
    }

    std::string m_dist;
    int m_repetitions;
    std::string m_root;
    int m_runs = 0;
};

void PrintRow(const char* pszName, const Figures& figures)
{
    std::printf("%-44s %9.1f ms %8.1f MB%s\n", pszName, figures.cpuMs, figures.peakMB,
                figures.bOwnOnly ? "" : "  (snmpd included: no ptrace here)");
}

// The profiles with more of one kind: fails unless the report shows every added item.
void MeasureScaling(Runner& runner, const std::string& baseProfile, const Figures& single, wholerun::ItemKind kind)
{
    const int base = wholerun::ReportedItems(single.report, kind);
    if (base == 0)
        throw std::runtime_error(std::string("the sample server's report shows no ") + wholerun::ItemName(kind));
    std::printf("\n%s (the report shows %d)\n", wholerun::ItemName(kind), base);
    double previousCpu = single.cpuMs, previousPeak = single.peakMB;
    int previousShown = 0;
    for (int factor : {10, 100}) {
        const int added = factor * base;
        std::string profile = runner.Root() + "/profiles/" + std::to_string(static_cast<int>(kind)) + "x" +
                              std::to_string(factor);
        wholerun::WriteScaledProfile(profile, baseProfile, kind, added);
        Figures figures = runner.Measure(profile);
        const int shown = wholerun::ReportedItems(figures.report, kind) - base;
        int expected = added;
        if (kind == wholerun::ItemKind::Processes)
            expected = std::min(added, kMaxProcessIds - wholerun::ListedProcesses(baseProfile));
        if (shown != expected)
            throw std::runtime_error("the report of " + std::to_string(added) + " added " +
                                     wholerun::ItemName(kind) + " shows " + std::to_string(shown));
        char szName[64];
        if (shown == added)
            std::snprintf(szName, sizeof szName, "  %3dx (+%d)", factor, added);
        else
            std::snprintf(szName, sizeof szName, "  %3dx (+%d, %d of them listed)", factor, added, shown);
        PrintRow(szName, figures);
        // What an item the program handles costs; those beyond its limit cost it nothing.
        const int step = shown - previousShown;
        std::printf("  %-42s %9.1f us %8.1f KB\n",
                    factor == 10 ? "per item added, 1x to 10x" : "per item added, 10x to 100x",
                    (figures.cpuMs - previousCpu) * 1000.0 / step, (figures.peakMB - previousPeak) * 1024.0 / step);
        previousCpu = figures.cpuMs;
        previousPeak = figures.peakMB;
        previousShown = shown;
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: triagist_wholerun [--dist DIR] [--repetitions N | --quick]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dist = TRIAGIST_BENCH_DIST;
    int repetitions = 9;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick")
            repetitions = 1;
        else if (arg == "--repetitions" && i + 1 < argc)
            repetitions = std::atoi(argv[++i]);
        else if (arg == "--dist" && i + 1 < argc)
            dist = argv[++i];
        else
            return Usage();
    }
    if (repetitions < 1)
        return Usage();

    try {
        Runner runner(dist, repetitions);
        const std::string defaultProfile = dist + "/lab/default";
        std::printf("The unattended diagnosis: own CPU (user+system) and peak resident set, median of %d run(s)\n\n",
                    repetitions);
        PrintRow("default profile", runner.Measure(defaultProfile));
        PrintRow("live profile", runner.Measure(dist + "/lab/live"));

        // The same layering as the larger profiles, with nothing added: their 1x.
        std::string single = runner.Root() + "/profiles/1x";
        wholerun::WriteScaledProfile(single, defaultProfile, wholerun::ItemKind::Products, 0);
        Figures one = runner.Measure(single);
        PrintRow("1x (a profile on the default, adding nothing)", one);
        for (auto kind : {wholerun::ItemKind::Products, wholerun::ItemKind::ProductEvents,
                          wholerun::ItemKind::Processes, wholerun::ItemKind::SystemEvents})
            MeasureScaling(runner, defaultProfile, one, kind);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "triagist_wholerun: %s\n", e.what());
        return 1;
    }
    return 0;
}
