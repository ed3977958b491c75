// What the end-to-end suites share: the installed dist tree, a shell that runs it on a lab profile, and
// a scratch folder per test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

inline const std::string kDist = TRIAGIST_DIST_DIR;
inline const std::string kSchema = std::string(TRIAGIST_SOURCE_DIR) + "/runtime/XML/Status.xsd";

// The command's exit code; -1 when it did not end by itself.
inline int Shell(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The start of a shell command that runs in cwd on a lab profile, with the lab's saved state in state.
inline std::string InLab(const std::string& cwd, const std::string& profile, const std::string& state)
{
    return "cd '" + cwd + "' && TRIAGIST_LAB='" + profile + "' TRIAGIST_LAB_STATE='" + state + "' ";
}

inline bool SchemaValid(const std::string& report)
{
    return Shell("xmllint --noout --schema '" + kSchema + "' '" + report + "' 2>/dev/null") == 0;
}

// A variant of the sample server: a profile that builds on it, with lab.ini lines and registry keys of its own.
inline void Variant(const std::string& dir, const std::string& labIni, const std::string& registry = "")
{
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/lab.ini", std::ios::binary) << "[Profile]\nBase=" << kDist << "/lab/default\n" << labIni;
    if (!registry.empty())
        std::ofstream(dir + "/registry.reg", std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                                               << registry;
}

// A new folder under /tmp, removed with what it holds when the test ends.
class CScratchDir {
public:
    explicit CScratchDir(const std::string& prefix)
    {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no scratch folder under /tmp");
        m_path = pattern;
    }
    ~CScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace e2e
