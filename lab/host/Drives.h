// Stands in for the drive letters: C: is the profile's drive_c (with changes kept in the state), Z: is /.
#pragma once

#include <string>

namespace lab::host {

class Drives {
public:
    void Mount(const std::string& profileDriveC, const std::string& stateDriveC);

    // The POSIX path of a Windows or POSIX path; empty when no drive serves it.
    // Files of C: are read from the profile until written; writes go to the state.
    std::string HostPath(const std::string& path, bool bForWriting) const;
    // The Windows path of an absolute POSIX path ("Z:\...").
    static std::string WindowsPath(const std::string& hostPath);

private:
    std::string m_profileC;
    std::string m_stateC;
};

}  // namespace lab::host
