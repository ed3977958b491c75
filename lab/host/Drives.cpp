// Stands in for the drive letters: C: is the profile's drive_c (with changes kept in the state), Z: is /.
#include "lab/host/Drives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sys/stat.h>

namespace lab::host {

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// "/a/./b/../c" as Windows reads it: "." and ".." are taken away by the names, not by the disk.
std::vector<std::string> Components(const std::string& rest)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t slash = rest.find('/', start);
        std::string part = rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

}  // namespace

void Drives::Mount(const std::vector<std::string>& profileDriveCs, const std::string& stateDriveC)
{
    m_profileCs = profileDriveCs;
    m_stateC = stateDriveC;
    m_folders.Clear();
}

// C: is the state's folder over the profile's layers. A name is looked up without regard to case in each
// layer; its case is the one of the nearest layer that has it, so a file written back to the state keeps
// the case it had in the profile, and a new one the case it was created with.
Drives::Resolved Drives::ResolveOnC(const std::string& rest) const
{
    std::vector<std::string> layers{m_stateC};
    layers.insert(layers.end(), m_profileCs.begin(), m_profileCs.end());
    std::vector<std::string> parts = Components(rest);
    Resolved resolved;
    for (const std::string& layer : layers)
        resolved.found.push_back(Exists(layer) ? layer : std::string());
    resolved.parentFound.assign(layers.size(), std::string());
    for (const std::string& part : parts) {
        resolved.parentFound = resolved.found;
        std::string name;
        for (std::string& layer : resolved.found) {
            if (layer.empty())
                continue;
            std::string entry = m_folders.Entry(layer, part);
            if (name.empty())
                name = entry;
            layer = entry.empty() ? std::string() : layer + "/" + entry;
        }
        resolved.named += "/" + (name.empty() ? part : name);
    }
    return resolved;
}

std::string Drives::DriveCPath(const std::string& rest, bool bForWriting) const
{
    Resolved resolved = ResolveOnC(rest);
    const std::string& named = resolved.named;
    const std::vector<std::string>& found = resolved.found;
    const std::vector<std::string>& parentFound = resolved.parentFound;
    std::string inState = m_stateC + named;
    std::error_code ec;
    if (bForWriting) {
        // Copy on first write, so the profile itself is never changed.
        fs::create_directories(fs::path(inState).parent_path(), ec);
        if (!Exists(inState)) {
            for (size_t i = 1; i < found.size(); ++i) {
                if (!found[i].empty()) {
                    if (fs::is_regular_file(found[i], ec))
                        fs::copy_file(found[i], inState, ec);
                    break;
                }
            }
        }
        return inState;
    }
    for (const std::string& layer : found)
        if (!layer.empty())
            return layer;
    // Not there: the name in the nearest layer that has its folder, so that the error tells a missing file
    // from a missing folder.
    for (const std::string& parent : parentFound)
        if (!parent.empty())
            return parent + "/" + Components(rest).back();
    return m_profileCs.empty() ? inState : m_profileCs.front() + named;
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
    return DriveCPath(rest, bForWriting);
}

std::vector<std::string> Drives::HostFolders(const std::string& path) const
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    bool bOnC = p.size() >= 2 && p[1] == ':' && std::toupper(static_cast<unsigned char>(p[0])) == 'C' &&
                !m_stateC.empty();
    if (!bOnC) {
        std::string host = HostPath(path, false);
        return host.empty() ? std::vector<std::string>() : std::vector<std::string>{host};
    }
    std::string rest = p.substr(2);
    if (rest.empty() || rest[0] != '/')
        rest = "/" + rest;
    std::vector<std::string> folders;
    for (const std::string& layer : ResolveOnC(rest).found)
        if (!layer.empty() && fs::is_directory(layer))
            folders.push_back(layer);
    return folders;
}

std::string Drives::WindowsPath(const std::string& hostPath)
{
    std::string w = "Z:" + hostPath;
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

}  // namespace lab::host
