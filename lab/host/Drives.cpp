// Stands in for the drive letters: C: is the profile's drive_c (with changes kept in the state), Z: is /.
#include "lab/host/Drives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace lab::host {

namespace fs = std::filesystem;

void Drives::Mount(const std::vector<std::string>& profileDriveCs, const std::string& stateDriveC)
{
    m_profileCs = profileDriveCs;
    m_stateC = stateDriveC;
}

std::string Drives::InProfile(const std::string& rest) const
{
    std::error_code ec;
    for (const std::string& driveC : m_profileCs) {
        if (fs::exists(driveC + rest, ec))
            return driveC + rest;
    }
    return m_profileCs.empty() ? std::string() : m_profileCs.front() + rest;
}

std::string Drives::HostPath(const std::string& path, bool bForWriting) const
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    bool bDrive = p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
    if (!bDrive)
        return p;  // relative or POSIX: as it stands
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
    std::string rest = p.substr(2);
    if (rest.empty() || rest[0] != '/')
        rest = "/" + rest;  // drive-relative paths are taken from the root
    if (letter == 'Z')
        return rest;
    if (letter != 'C' || m_stateC.empty())
        return "";
    std::string inState = m_stateC + rest;
    std::error_code ec;
    if (bForWriting) {
        // Copy on first write, so the profile itself is never changed.
        fs::create_directories(fs::path(inState).parent_path(), ec);
        std::string inProfile = InProfile(rest);
        if (!fs::exists(inState, ec) && fs::is_regular_file(inProfile, ec))
            fs::copy_file(inProfile, inState, ec);
        return inState;
    }
    if (fs::exists(inState, ec) || m_profileCs.empty())
        return inState;
    return InProfile(rest);
}

std::string Drives::WindowsPath(const std::string& hostPath)
{
    std::string w = "Z:" + hostPath;
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

}  // namespace lab::host
