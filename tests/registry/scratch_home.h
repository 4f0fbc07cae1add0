// A private home for one test: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point
// into a fresh temporary folder, so no test ever touches the user's files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScratchHome : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/leafwise-registry-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        // xdg-mime then takes the freedesktop road, whatever desktop runs the tests.
        unsetenv("XDG_CURRENT_DESKTOP");
        unsetenv("DESKTOP_SESSION");
        unsetenv("KDE_FULL_SESSION");
        unsetenv("GNOME_DESKTOP_SESSION_ID");
        unsetenv("LEAFWISE_ROOT");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(HiveFolder(), std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root, ignored);
    }

    std::string HiveFolder() const { return root + "/config/leafwise"; }
    std::string HiveFile() const { return HiveFolder() + "/registry.reg"; }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    // Files in the hive's folder whose names start with `prefix`.
    std::vector<std::string> FilesStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(HiveFolder(), ignored))
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                found.push_back(entry.path().string());
        return found;
    }

    std::string root;
};
