// A fake machine ready for a typical run of the launcher: a Windows directory with its Temp folder
// on the real disk (for the run log), a user profile, Windows XP, and no other launcher running.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/fake_host.h"
#include "tests/support/test_tables.h"

namespace testing_support {

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ =
            std::filesystem::temp_directory_path() / ("mxv-launcher-" + std::to_string(getpid()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "windows" / "Temp");
        fake_.windowsDirectory = (root_ / "windows").string();
        fake_.environment["USERPROFILE"] = "C:\\Users\\tester";
        fake_.environment["TEMP"] = "C:\\Users\\tester\\Temp";
        fake_.AddDirectory("C:\\Users\\tester\\Temp");
        fake_.version.platformId = 2;
        fake_.version.majorVersion = 5;
        fake_.version.minorVersion = 1;
        fake_.version.servicePackMajor = 2;
        fake_.version.productType = 1;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string Log() const {
        const auto path = root_ / "windows" / "Temp" / "debug.log";
        return std::filesystem::exists(path) ? ReadFileBytes(path.string()) : std::string();
    }

    // The whole log as it must be after one run that logged message.
    std::string OneEntry(const std::string& message) const;

    std::filesystem::path root_;
    FakeHost fake_;
    platform::ScopedHost guard_{fake_};
    const std::string dvt_ = "C:\\Users\\tester\\DVT";
};

} // namespace testing_support
