// Installer databases for tests: real .msi files that msitools' msibuild writes for a product's features.
#pragma once

#include <gtest/gtest.h>

#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace testsupport {

struct MsiComponentRow {
    std::string name;
    std::string id;  // "{...}"
};

struct MsiFeatureRow {
    std::string name;
    std::string title;
    std::vector<MsiComponentRow> components;
};

// The tables the clean-up reads: Property (with ProductCode unless empty), Feature, Component and
// FeatureComponents.
inline void WriteMsiDatabase(const std::string& path, const std::string& productCode,
                             const std::vector<MsiFeatureRow>& features)
{
    std::vector<std::string> statements = {
        "CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` CHAR(0) NOT NULL PRIMARY KEY `Property`)",
        "CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL, `Title` CHAR(64), `Description` CHAR(255) "
        "PRIMARY KEY `Feature`)",
        "CREATE TABLE `Component` (`Component` CHAR(72) NOT NULL, `ComponentId` CHAR(38) PRIMARY KEY `Component`)",
        "CREATE TABLE `FeatureComponents` (`Feature_` CHAR(38) NOT NULL, `Component_` CHAR(72) NOT NULL "
        "PRIMARY KEY `Feature_`, `Component_`)",
        "INSERT INTO `Property` (`Property`, `Value`) VALUES ('ProductName', 'Test product')",
    };
    if (!productCode.empty())
        statements.push_back("INSERT INTO `Property` (`Property`, `Value`) VALUES ('ProductCode', '" + productCode +
                             "')");
    for (const MsiFeatureRow& feature : features) {
        statements.push_back("INSERT INTO `Feature` (`Feature`, `Title`, `Description`) VALUES ('" + feature.name +
                             "', '" + feature.title + "', '')");
        for (const MsiComponentRow& component : feature.components) {
            statements.push_back("INSERT INTO `Component` (`Component`, `ComponentId`) VALUES ('" + component.name +
                                 "', '" + component.id + "')");
            statements.push_back("INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) VALUES ('" +
                                 feature.name + "', '" + component.name + "')");
        }
    }
    std::vector<std::string> args = {"msibuild", path};
    for (const std::string& sql : statements) {
        args.push_back("-q");
        args.push_back(sql);
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawnp(&pid, "msibuild", nullptr, nullptr, argv.data(), environ), 0) << "msibuild (msitools)";
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "msibuild " << path;
}

}  // namespace testsupport
