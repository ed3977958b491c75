// Stands in for where a profile's files come from: the profile itself and the profiles it builds on.
#include "lab/host/ProfileLayers.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace lab::host {

namespace fs = std::filesystem;

bool ProfileLayers::Resolve(const std::string& profileDir, std::string& error)
{
    m_dirs.clear();
    std::error_code ec;
    fs::path dir = fs::absolute(profileDir, ec).lexically_normal();
    std::string named = profileDir;
    while (true) {
        std::string path = dir.string();
        if (path.size() > 1 && path.back() == '/')
            path.pop_back();
        if (!fs::is_directory(dir, ec)) {
            error = "profile directory " + named + " does not exist";
            if (m_dirs.empty())
                m_dirs.push_back(path);  // an empty machine still has a place for its files
            return false;
        }
        if (std::find(m_dirs.begin(), m_dirs.end(), path) != m_dirs.end()) {
            error = "profile " + path + " is its own base";
            return false;
        }
        m_dirs.push_back(path);
        IniFile settings;
        settings.Load(path + "/lab.ini");
        std::string base = settings.Get("Profile", "Base", "");
        if (base.empty())
            return true;
        fs::path next(base);
        dir = (next.is_absolute() ? next : fs::path(path) / next).lexically_normal();
        named = dir.string() + " (the base of " + path + ")";
    }
}

std::string ProfileLayers::Find(const std::string& relative) const
{
    std::error_code ec;
    for (const std::string& dir : m_dirs) {
        std::string path = dir + "/" + relative;
        if (fs::exists(path, ec))
            return path;
    }
    return m_dirs.empty() ? relative : m_dirs.front() + "/" + relative;
}

std::vector<std::string> ProfileLayers::FindAll(const std::string& relative) const
{
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = m_dirs.rbegin(); it != m_dirs.rend(); ++it) {
        std::string path = *it + "/" + relative;
        if (fs::exists(path, ec))
            found.push_back(path);
    }
    return found;
}

std::vector<std::string> ProfileLayers::FilesIn(const std::string& folder, const std::string& extension) const
{
    std::map<std::string, std::string> byName;
    std::error_code ec;
    for (auto layer = m_dirs.rbegin(); layer != m_dirs.rend(); ++layer) {
        for (fs::directory_iterator it(*layer + "/" + folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == extension)
                byName[it->path().filename().string()] = it->path().string();
        }
        ec.clear();
    }
    std::vector<std::string> files;
    for (const auto& entry : byName)
        files.push_back(entry.second);
    return files;
}

IniFile ProfileLayers::Settings() const
{
    IniFile merged;
    for (const std::string& path : FindAll("lab.ini")) {
        IniFile layer;
        layer.Load(path);
        merged.Extend(layer);
    }
    return merged;
}

}  // namespace lab::host
