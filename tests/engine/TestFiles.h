// Shared helpers of the engine tests: a fresh scratch folder per test and
// small functions to write and read whole files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// A scratch folder under the system's temporary folder, removed after the test.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    [[nodiscard]] std::string Path(const std::string& Name) const;

    fs::path Dir;
};

void WriteFile(const std::string& Name, const Bytes& Data);
[[nodiscard]] Bytes ReadFile(const std::string& Name);
// Deterministic pseudo-random bytes, different for every seed.
[[nodiscard]] Bytes PatternBytes(size_t Size, uint32_t Seed = 1);
// Sizes of files name.001, name.002, ... up to the first one missing.
[[nodiscard]] std::vector<uintmax_t> PieceSizes(const std::string& Base);
// Runs Body in a forked child and returns its exit status (or 128 + signal).
[[nodiscard]] int RunInChild(const std::function<int()>& Body);
