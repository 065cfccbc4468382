#ifndef TESTS_TOOLS_GENERATED_FOLDER_H
#define TESTS_TOOLS_GENERATED_FOLDER_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

// Runs one of the generator scripts in tools/ once for all the tests of a program, with the
// interpreter PYTHON_EXECUTABLE, into a fresh temporary folder, and removes the folder at the end.
// Register it with ::testing::AddGlobalTestEnvironment.
class GeneratedFolder : public ::testing::Environment {
public:
    explicit GeneratedFolder(std::string script) : script_(std::move(script)) {}

    static inline std::filesystem::path folder;  // where the script wrote its files

    void SetUp() override {
        char pattern[] = "/tmp/generated_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const std::string command =
            std::string(PYTHON_EXECUTABLE) + " " + script_ + " " + folder.string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

private:
    std::string script_;
};

#endif  // TESTS_TOOLS_GENERATED_FOLDER_H
