// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Shared helpers of the engine tests: a fresh scratch folder per test and
// small functions to write and read whole files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
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
// Base followed by the piece extension: name.001, ..., name.999, name.1000.
[[nodiscard]] std::string PieceName(const std::string& Base, int Piece);
// Sizes of files name.001, name.002, ... up to the first one missing.
[[nodiscard]] std::vector<uintmax_t> PieceSizes(const std::string& Base);
// Sets or clears the immutable flag of a file; false where the file system has none.
[[nodiscard]] bool SetImmutable(const std::string& Name, bool On);
// Runs Body in a forked child and returns its exit status (or 128 + signal).
[[nodiscard]] int RunInChild(const std::function<int()>& Body);
// Every entry of a folder with the content of its regular files, to show
// that a run deleted, created and changed nothing there.
[[nodiscard]] std::map<std::string, Bytes> FolderContents(const fs::path& Folder);

// The message of the error that Body raises, or "(no error)"; of an
// input/output error only its first line, without the line that names the file.
template <typename Call> std::string MessageOf(Call&& Body) {
    try {
        Body();
    } catch (const std::exception& Error) {
        const std::string Message = Error.what();
        return Message.substr(0, Message.find(".\n"));
    }
    return "(no error)";
}
// MessageOf run in a forked child, for runs under a lowered file size limit
// or another user; the parent gets the message back through a pipe.
[[nodiscard]] std::string MessageInChild(const std::function<void()>& Body);
