// Stands in for the drive letters: C: is the profile's drive_c (with changes kept in the state), Z: is /.
#pragma once

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
    // The Windows path of an absolute POSIX path ("Z:\...").
    static std::string WindowsPath(const std::string& hostPath);

private:
    std::string DriveCPath(const std::string& rest, bool bForWriting) const;

    std::vector<std::string> m_profileCs;
    std::string m_stateC;
};

}  // namespace lab::host
