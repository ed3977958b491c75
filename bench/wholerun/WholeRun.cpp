// The whole unattended diagnosis (-DIAG) of the installed program, run to its end over the sample server,
// the live profile and profiles with 10 and 100 times the items of one kind (1000 too with --large): the
// program's own CPU time and peak resident set, the median of the repetitions, and what each added item
// costs from one step to the next.
//
//   triagist_wholerun [--dist DIR] [--repetitions N | --quick] [--large]
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

// One step of a scaling: how many items it adds, and what a run with them costs.
struct Step {
    int added = 0;
    Figures figures;
};

// How many items each profile of a kind adds: 10, 100 (and 1000) times what the sample server shows.
// The diagnosis lists at most kMaxProcessIds processes, so theirs are steps within that.
std::vector<int> AddedCounts(wholerun::ItemKind kind, int base, int listed, bool bLarge)
{
    if (kind == wholerun::ItemKind::Processes) {
        const int room = kMaxProcessIds - listed;
        return {std::min(10 * base, room), room / 2, room};
    }
    std::vector<int> counts{10 * base, 100 * base};
    if (bLarge)
        counts.push_back(1000 * base);
    return counts;
}

// The profiles with more of one kind: fails unless the report shows every added item. Returns the cost
// per added item of each step from the last.
std::vector<double> MeasureScaling(Runner& runner, const std::string& baseProfile, const Figures& single,
                                   wholerun::ItemKind kind, bool bLarge)
{
    const int base = wholerun::ReportedItems(single.report, kind);
    if (base == 0)
        throw std::runtime_error(std::string("the sample server's report shows no ") + wholerun::ItemName(kind));
    const int listed = kind == wholerun::ItemKind::Processes ? wholerun::ListedProcesses(baseProfile) : 0;
    std::printf("\n%s (the report shows %d", wholerun::ItemName(kind), base);
    if (kind == wholerun::ItemKind::Processes)
        std::printf("; the diagnosis lists at most %d process IDs, so %d can be added", kMaxProcessIds,
                    kMaxProcessIds - listed);
    std::printf(")\n");
    Step previous{0, single};
    std::vector<double> perItem;
    for (int added : AddedCounts(kind, base, listed, bLarge)) {
        std::string profile = runner.Root() + "/profiles/" + std::to_string(static_cast<int>(kind)) + "+" +
                              std::to_string(added);
        wholerun::WriteScaledProfile(profile, baseProfile, kind, added);
        Step step{added, runner.Measure(profile)};
        const int shown = wholerun::ReportedItems(step.figures.report, kind) - base;
        if (shown != added)
            throw std::runtime_error("the report of " + std::to_string(added) + " added " +
                                     wholerun::ItemName(kind) + " shows " + std::to_string(shown));
        char szName[64];
        std::snprintf(szName, sizeof szName, "  %4.0fx (+%d)", static_cast<double>(added) / base, added);
        PrintRow(szName, step.figures);
        const int count = step.added - previous.added;
        perItem.push_back((step.figures.cpuMs - previous.figures.cpuMs) * 1000.0 / count);
        std::printf("  %-42s %9.1f us %8.1f KB\n", ("per item, from +" + std::to_string(previous.added)).c_str(),
                    perItem.back(), (step.figures.peakMB - previous.figures.peakMB) * 1024.0 / count);
        previous = std::move(step);
    }
    return perItem;
}

int Usage()
{
    std::fprintf(stderr, "usage: triagist_wholerun [--dist DIR] [--repetitions N | --quick] [--large]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dist = TRIAGIST_BENCH_DIST;
    int repetitions = 9;
    bool bLarge = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick")
            repetitions = 1;
        else if (arg == "--repetitions" && i + 1 < argc)
            repetitions = std::atoi(argv[++i]);
        else if (arg == "--large")
            bLarge = true;
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
        const wholerun::ItemKind kinds[] = {wholerun::ItemKind::Products, wholerun::ItemKind::ProductEvents,
                                            wholerun::ItemKind::Processes, wholerun::ItemKind::SystemEvents};
        std::vector<std::vector<double>> perItem;
        for (auto kind : kinds)
            perItem.push_back(MeasureScaling(runner, defaultProfile, one, kind, bLarge));

        // Side by side: a cost per item that does not grow stays level along its row. The first step
        // adds few items, so its figure is the least certain.
        std::printf("\nCPU per added item (us), each step from the one before\n%-28s", "");
        for (const char* pszStep : {"first step", "second step", "third step"})
            std::printf(" %12s", pszStep);
        std::printf("\n");
        for (size_t k = 0; k < perItem.size(); ++k) {
            std::printf("%-28s", wholerun::ItemName(kinds[k]));
            for (double cost : perItem[k])
                std::printf(" %12.1f", cost);
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "triagist_wholerun: %s\n", e.what());
        return 1;
    }
    return 0;
}
