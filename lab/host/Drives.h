// Stands in for the drive letters: C: is the profile's drive_c (with changes kept in the state), Z: is /.
#pragma once

#include "lab/host/FolderCache.h"

#include <string>
#include <vector>

namespace lab::host {

class Drives {
public:
    // The profile's drive_c folders, nearest first: a file of a nearer one hides a base's.
    void Mount(const std::vector<std::string>& profileDriveCs, const std::string& stateDriveC);

    // The POSIX path of a Windows or POSIX path; empty when no drive serves it.
    // Files of C: are read from the profile until written; writes go to the state. Names on C: ignore
    // case as on Windows, and a file keeps the case it was created with.
    std::string HostPath(const std::string& path, bool bForWriting) const;
    // Every POSIX folder that holds a Windows folder's entries, nearest first: on C: each layer's folder of
    // that name (the state's, then the profile's), so that a listing shows their union; elsewhere the one.
    std::vector<std::string> HostFolders(const std::string& path) const;
    // The Windows path of an absolute POSIX path ("Z:\...").
    static std::string WindowsPath(const std::string& hostPath);

private:
    // Each layer's path of the names in rest (empty where a layer lacks one), nearest first.
    struct Resolved {
        std::string named;  // the path in the case it has on C:
        std::vector<std::string> found;
        std::vector<std::string> parentFound;
    };
    Resolved ResolveOnC(const std::string& rest) const;
    std::string DriveCPath(const std::string& rest, bool bForWriting) const;

    std::vector<std::string> m_profileCs;
    std::string m_stateC;
    mutable FolderCache m_folders;
};

}  // namespace lab::host
