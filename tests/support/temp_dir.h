#pragma once
// A fresh folder per test, removed afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace vs::test {

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Parametrised tests have "/" in their names; the folder is one level.
        std::string name = "vs_test_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name();
        for (char& c : name)
            if (c == '/' || c == '\\') c = '_';
        dir_ = std::filesystem::temp_directory_path() / name;
        RemoveTree(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { RemoveTree(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Windows removes no read-only file, so write access is given back first
    // (a test may have taken it away, or an earlier run left such a file).
    static void RemoveTree(const std::filesystem::path& dir) {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    std::filesystem::path dir_;
};

}  // namespace vs::test
