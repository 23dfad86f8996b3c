// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A byte-oriented file handle over the POSIX file calls. Every call is tested
// at once and a failure raises EInOutError with the system's error number.
// Data moves in large transfers: reads are served from a read-ahead buffer,
// and a copy between two handles runs in the kernel where the file system
// allows it, so that the engines' 1024-byte blocks cost no system call each.
// What an output receives goes on to its medium as it comes (classWriteBack).
#pragma once

#include "classWriteBack.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

// Sizes and positions of files of 2 GiB and more, on 32-bit targets too
// (the build defines _FILE_OFFSET_BITS=64 for every file).
static_assert(sizeof(off_t) == sizeof(int64_t),
              "files need 64-bit offsets: build with -D_FILE_OFFSET_BITS=64");

// Which file a handle leads to: two handles with equal ids are one file,
// whatever names or links they were opened through.
struct TFileId {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFileId&) const = default;
};

// What a block of a copy did: the bytes read and the bytes written, and
// where fewer were written, the system's error number that refused the rest
// (0 when it gave none).
struct TBlockCounts {
    int32_t Read = 0;
    int32_t Written = 0;
    int Error = 0;
};

class TByteFile {
public:
    TByteFile() = default;
    TByteFile(const TByteFile&) = delete;
    TByteFile& operator=(const TByteFile&) = delete;
    // Closes a handle left open by a failed run, without raising.
    ~TByteFile();

    // Binds the handle to a file name; the file is not touched. Errors name
    // Shown where it is given: the name that a temporary output will have.
    void Assign(const std::string& Name, const std::string& Shown = {});
    [[nodiscard]] bool IsOpen() const { return Fd >= 0; }

    // Opens the bound file for reading. Never blocks: anything but a regular
    // file is refused (21 for a directory, 22 otherwise).
    void Reset();
    // Creates the bound file for writing; it must not exist, so nothing is
    // ever written through a name that leads elsewhere or into a file that
    // someone else holds. Its permissions are Permissions and the owner's
    // write bit, less the umask, so that its owner can run again over it.
    // Alone: the file is written apart from the transfers (Write), and
    // stored by the Store of the run's other output.
    void Create(mode_t Permissions, bool Alone = false);
    // Back to the start of a file opened for reading.
    void Rewind();
    // Reads until Count bytes are in, or the end of the file is reached;
    // fewer than Count bytes therefore always means the end of the file.
    [[nodiscard]] int32_t BlockRead(void* Buffer, int32_t Count);
    // The same read of the next block, handed out where it lies in the
    // read-ahead buffer instead of copied: it stays there until the next
    // read through this handle. Count is at most a few thousand bytes.
    [[nodiscard]] std::span<const uint8_t> NextBlock(int32_t Count);
    // Copies the next block of up to Count bytes to Output, as a read of the
    // block and a write of what was read would: fewer bytes read only at the
    // end of the input; fewer written only when the output refused the rest
    // after some bytes of the same block went out (a refusal of the block's
    // first byte raises the system's error). The data goes in large
    // transfers ahead of the blocks, in the kernel where the file system
    // allows; Ahead says how many blocks at most the caller will still copy
    // between these two handles, and no transfer reaches beyond them. A
    // transfer's time counts the wait for the medium to store the one before,
    // but not the wait for a sync of a whole file, which costs the same
    // whatever the transfer's size.
    // This handle is not read with BlockRead meanwhile.
    [[nodiscard]] TBlockCounts BlockCopy(TByteFile& Output, int32_t Count, int64_t Ahead);
    // Writes Count bytes after what this handle wrote before, apart from the
    // transfers and their writeback; a refusal raises the system's error.
    void Write(const void* Data, size_t Count);
    // Of an output written by transfers: leaves the next Count bytes
    // unwritten for now (a hole, which WriteAt fills later).
    void Skip(int64_t Count);
    // Of an output written by transfers: writes Count bytes at Offset, below
    // where the transfers have come, with the transfers' writeback.
    void WriteAt(const void* Data, size_t Count, int64_t Offset);
    [[nodiscard]] int64_t FileSize() const;
    [[nodiscard]] struct stat Status() const;
    // Whether the folder of Name takes a file of Size bytes, as far as its
    // file system tells: asked through the open file when both lie on one
    // file system, and through the folder otherwise; no objection where the
    // folder cannot be asked.
    [[nodiscard]] bool FolderHolds(const std::string& Name, int64_t Size) const;
    [[nodiscard]] TFileId Id() const;
    [[nodiscard]] const std::string& Name() const { return FName; }
    // The name that messages give: the shown name, or the file's own.
    [[nodiscard]] const std::string& ShownName() const { return FShown.empty() ? FName : FShown; }
    // A second handle of the open file, which the caller closes: it reads
    // with its own position (pread) and stays open when this one closes.
    [[nodiscard]] int Duplicate() const;
    // The permission bits (rwx for owner, group and others) of the open file.
    [[nodiscard]] mode_t Permissions() const;
    // Whether Name itself, not a link it holds, is the only directory entry
    // of the open file: removing that name would remove the file's data.
    [[nodiscard]] bool IsOnlyName(const std::string& Name) const;
    void Close();
    // Closes without raising, for clean-up while another error is on its way.
    void CloseQuietly() noexcept;
    // Returns once everything written through this handle in the run, since
    // its first Create of the run, is on its medium with the file sizes, and
    // what Also wrote, further outputs of the run (TWriteBack::Store);
    // raises the system's error of any failure to store it.
    void Store(const std::vector<const TByteFile*>& Also = {});
    // Once the outputs have their final names in the folder Folder: stores
    // the names and ends the run (TWriteBack::StoreNames).
    void StoreNames(int Folder);

    // Closes a handle and settles its run (TWriteBack::Settle), without
    // raising, when the scope that declares it ends: a run that fails or
    // stops half way leaves no file open, and nothing pending on the medium.
    class TCloseAtExit {
    public:
        explicit TCloseAtExit(TByteFile& File) : File(File) {}
        ~TCloseAtExit() {
            File.CloseQuietly();
            File.WriteBack.Settle();
        }
        TCloseAtExit(const TCloseAtExit&) = delete;
        TCloseAtExit& operator=(const TCloseAtExit&) = delete;

    private:
        TByteFile& File;
    };

private:
    // What one transfer to an output did.
    struct TTransfer {
        enum class TEnd {
            Count,     // all bytes asked for went through
            Input,     // the input ended first
            ReadError, // a read failed after Taken bytes
            Refused,   // the output refused the rest after Given bytes
        };
        // Bytes read from the input, and of those the bytes that reached the output.
        int64_t Taken = 0;
        int64_t Given = 0;
        TEnd End = TEnd::Count;
        // The system's error number of a failed read or refused write; 0 for
        // a write that stored nothing without saying why.
        int Error = 0;
    };

    // Raises the system's error Code for this handle's file.
    [[noreturn]] void Fail(int Code) const;
    // The system's error number that refuses the file just opened for
    // reading (not a regular file, too large), or 0.
    [[nodiscard]] int ReadRefusal() const;
    // Keeps the file just opened, or closes it and raises Refusal.
    void KeepOrRefuse(int Refusal);
    [[nodiscard]] TTransfer Transfer(TByteFile& Output, int64_t Count);
    // Copies what the kernel copies for us; stops at anything but progress.
    void KernelCopy(TByteFile& Output, int64_t Count, TTransfer& Result);
    // Copies through Chunk with read and write, and tells exactly how it ended.
    void PlainCopy(TByteFile& Output, int64_t Count, TTransfer& Result);
    [[nodiscard]] uint8_t* ChunkBytes();
    // Forgets what was read ahead and what a transfer moved ahead.
    void ForgetAhead();

    std::string FName;
    std::string FShown;
    int Fd = -1;
    // Page-aligned: the system copies into an unaligned buffer at a fraction of the speed.
    struct TFreeChunk {
        void operator()(uint8_t* Bytes) const;
    };
    // Read-ahead for BlockRead, or the way through for a plain copy; made at first use.
    std::unique_ptr<uint8_t[], TFreeChunk> Chunk;
    size_t ChunkStart = 0;
    size_t ChunkEnd = 0;
    // The transfer whose bytes BlockCopy is still handing out as blocks.
    TTransfer Moved;
    // The size of the next full transfer, as the speed of the last ones allows.
    int64_t TransferSize = 1024 * 1024;
    bool Transferring = false;
    // Cleared on an output whose file system cannot copy in the kernel.
    bool KernelCopies = true;
    // Of an output: where the next transfer writes, and the run's writeback.
    off_t WriteOffset = 0;
    TWriteBack WriteBack;
};

// Whether a directory entry of that name exists for the effective user and
// group. Only a name that cannot be there counts as no; any other refusal of
// the question raises the system's error, since the file may well be there.
[[nodiscard]] bool FileExists(const std::string& Name);
// The entry of that name itself (a link, not what it leads to), or nothing
// where no entry can be; raises as FileExists.
[[nodiscard]] std::optional<struct stat> EntryStatus(const std::string& Name);
// The part of Name up to its last "/", or "." when it has none.
[[nodiscard]] std::string FolderOf(const std::string& Name);
// The file name without its folder.
[[nodiscard]] std::string BareName(const std::string& Name);
// Removes a file; 0, or the system's error number when it is still there.
[[nodiscard]] int RemoveFile(const std::string& Name);
// Removes what a run wrote under Name, unless Name has come to lead to
// another file than Written since; raises the system's error when it cannot.
void RemoveWritten(const std::string& Name, const TFileId& Written);
