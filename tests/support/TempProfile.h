// A lab host profile in a temporary directory, loaded for the duration of a test.
#pragma once

#include "lab/host/Host.h"
#include "tests/support/TestText.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class CTempProfile {
public:
    explicit CTempProfile(const std::string& strRegistry, const std::string& strLabIni = "")
    {
        char szTemplate[] = "/tmp/triagist-profile-XXXXXX";
        m_strRoot = mkdtemp(szTemplate);
        m_strDir = m_strRoot + "/profile";
        std::filesystem::create_directories(m_strDir + "/drive_c");
        Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + strRegistry);
        if (!strLabIni.empty())
            Write("lab.ini", strLabIni);
        lab::host::Host::Instance().LoadProfile(m_strDir, StateDir());
    }
    ~CTempProfile()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_strRoot, ec);
    }
    CTempProfile(const CTempProfile&) = delete;
    CTempProfile& operator=(const CTempProfile&) = delete;

    const std::string& Dir() const { return m_strDir; }
    std::string StateDir() const { return m_strRoot + "/state"; }
    // A scratch directory beside the profile for the files a test writes.
    std::string Scratch() const
    {
        std::string dir = m_strRoot + "/scratch";
        std::filesystem::create_directories(dir);
        return dir;
    }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(m_strDir + "/" + name, std::ios::binary) << text;
    }
    // A built test fixture copied to a path below drive C:, its directories made as needed.
    void PlaceFixture(const std::string& fixture, const std::string& target) const
    {
        std::string path = m_strDir + "/drive_c/" + target;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(std::string(TRIAGIST_LAB_FIXTURES_DIR) + "/" + fixture, path,
                                   std::filesystem::copy_options::overwrite_existing);
    }

private:
    std::string m_strRoot;
    std::string m_strDir;
};
