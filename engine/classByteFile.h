// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A byte-oriented file handle over the POSIX file calls. Every call is tested
// at once and a failure raises EInOutError with the system's error number.
#pragma once

#include <cstdint>
#include <string>

// Files of this size or more are outside the program's signed 32-bit range.
inline constexpr int64_t MaxFileSize = int64_t{1} << 31;

class TByteFile {
public:
    TByteFile() = default;
    TByteFile(const TByteFile&) = delete;
    TByteFile& operator=(const TByteFile&) = delete;
    // Closes a handle left open by a failed run, without raising.
    ~TByteFile();

    // Binds the handle to a file name; the file is not touched.
    void Assign(const std::string& Name);
    [[nodiscard]] const std::string& Name() const { return FName; }
    [[nodiscard]] bool IsOpen() const { return Fd >= 0; }

    // Opens the bound file for reading. Never blocks: anything but a regular
    // file is refused (21 for a directory, 22 otherwise), and so is a file of
    // 2 GiB or more (75).
    void Reset();
    // Creates the bound file, or truncates it when it exists, for writing.
    void Rewrite();
    // Reads until Count bytes are in, or the end of the file is reached;
    // fewer than Count bytes therefore always means the end of the file.
    [[nodiscard]] int32_t BlockRead(void* Buffer, int32_t Count);
    // Writes Count bytes and returns how many went out: fewer only when the
    // system refused the rest after some bytes of this call were written.
    [[nodiscard]] int32_t BlockWrite(const void* Buffer, int32_t Count);
    // The size of the open file; 75 when it is 2 GiB or more.
    [[nodiscard]] int32_t FileSize() const;
    void Close();
    // Closes without raising, for clean-up while another error is on its way.
    void CloseQuietly() noexcept;

private:
    std::string FName;
    int Fd = -1;
};

// Whether a directory entry of that name exists for the effective user and group.
[[nodiscard]] bool FileExists(const std::string& Name);
// Whether two names lead, through any links, to one and the same file.
[[nodiscard]] bool SameFile(const std::string& Name1, const std::string& Name2);
// Removes a file; the outcome is not looked at.
void DeleteFileQuietly(const std::string& Name);
