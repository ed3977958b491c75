// Stands in for where a profile's files come from: the profile itself and the profiles it builds on.
#pragma once

#include "lab/host/IniFile.h"

#include <string>
#include <vector>

namespace lab::host {

// lab.ini may name a base profile ([Profile] Base=<directory>, relative to the profile or absolute),
// which may name its own. A file of a profile replaces the base's file of the same name; lab.ini and
// registry.reg extend the base's instead (see Settings and the registry's loading).
class ProfileLayers {
public:
    // False, with the reason naming the path, when the profile or a base is not a directory
    // or the bases form a circle; the layers found so far stay (at least the profile's own path).
    bool Resolve(const std::string& profileDir, std::string& error);

    // The profile first, then its base, then the base's base.
    const std::vector<std::string>& Dirs() const { return m_dirs; }

    // The nearest layer's copy of a file or folder; the profile's own path when no layer has it.
    std::string Find(const std::string& relative) const;
    // Every layer's copy that exists, the deepest base first.
    std::vector<std::string> FindAll(const std::string& relative) const;
    // The files of a folder over all layers, by name; a nearer layer's file wins. Sorted by name.
    std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) const;

    // lab.ini over all layers: a section a profile gives replaces the base's section of that name.
    IniFile Settings() const;

private:
    std::vector<std::string> m_dirs;
};

}  // namespace lab::host
