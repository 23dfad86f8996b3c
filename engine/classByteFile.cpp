// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// POSIX file layer of the engines.
#include "classByteFile.h"

#include "classParvoxErrors.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <new>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// Bytes per read or write system call: large enough that the call costs
// little beside the copy, small enough to stay in the processor's cache.
constexpr size_t ChunkSize = 128 * 1024;

constexpr std::align_val_t ChunkAlignment{4096};

// A transfer of BlockCopy runs ahead of the blocks it hands out, so the
// progress of a run moves only between transfers. Their size follows the
// speed of the files: each should take about TransferTime, long enough that
// its system calls cost little, short enough that the progress window
// answers the user between two of them, even on a slow medium.
constexpr std::chrono::microseconds TransferTime{10'000};
constexpr int64_t SmallestTransfer = 128 * 1024;
constexpr int64_t LargestTransfer = 16 * 1024 * 1024;

// The system calls end a name at its first NUL byte, so such a name would
// act on another file than the one the caller named.
const char* SystemName(const std::string& Name) {
    if (Name.find('\0') != std::string::npos)
        throw EInOutError(EINVAL, Name);
    return Name.c_str();
}

ssize_t ReadSome(int Fd, void* Buffer, size_t Count) {
    return Retried([=] { return ::read(Fd, Buffer, Count); });
}

int StatusOf(int Fd, struct stat& Status) {
    return Retried([&] { return ::fstat(Fd, &Status); });
}

[[nodiscard]] TFileId IdOf(const struct stat& Status) {
    return {Status.st_dev, Status.st_ino};
}

// Whether the file system of Fd holds a file of Size bytes: the kernel
// refuses a file position beyond the largest file that it holds (4 GiB - 1
// byte on FAT) with EINVAL, without touching any file. 0 when it holds one,
// EINVAL when not, or the error of the question. The position is put back.
int PositionRefusal(int Fd, int64_t Size) {
    const off_t Position = ::lseek(Fd, 0, SEEK_CUR);
    if (Position < 0 || ::lseek(Fd, static_cast<off_t>(Size), SEEK_SET) < 0 ||
        ::lseek(Fd, Position, SEEK_SET) < 0)
        return errno;
    return 0;
}

// Writes Count bytes; returns how many went out and, when that is fewer,
// the system's error number of the refusal (0 when it gave none).
std::pair<size_t, int> WriteAll(int Fd, const uint8_t* Bytes, size_t Count) {
    size_t Done = 0;
    while (Done < Count) {
        const ssize_t N = ::write(Fd, Bytes + Done, Count - Done);
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            return {Done, N < 0 ? errno : 0};
        Done += static_cast<size_t>(N);
    }
    return {Done, 0};
}

} // namespace

TByteFile::~TByteFile() {
    CloseQuietly();
}

void TByteFile::Assign(const std::string& Name, const std::string& Shown) {
    CloseQuietly();
    FName = Name;
    FShown = Shown;
}

void TByteFile::Reset() {
    CloseQuietly();
    // O_NONBLOCK keeps the open of a FIFO without a writer from hanging; such
    // a file is refused right after, before anything is read from it.
    const char* Name = SystemName(FName);
    Fd = Retried([Name] { return ::open(Name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    if (Fd < 0)
        Fail(errno);
    KeepOrRefuse(ReadRefusal());
}

int TByteFile::ReadRefusal() const {
    struct stat Opened {};
    if (StatusOf(Fd, Opened) != 0)
        return errno;
    if (S_ISDIR(Opened.st_mode))
        return EISDIR;
    if (!S_ISREG(Opened.st_mode))
        return EINVAL;
    // Reads may wait (a medium that takes its time); only the open must not.
    return Retried([this] { return ::fcntl(Fd, F_SETFL, 0); }) != 0 ? errno : 0;
}

void TByteFile::Create(mode_t Permissions, bool Alone) {
    CloseQuietly();
    const char* Name = SystemName(FName);
    const mode_t Allowed = (Permissions & 0777) | S_IWUSR;
    Fd = Retried([=] {
        return ::open(Name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                      Allowed);
    });
    if (Fd < 0)
        Fail(errno);
    KernelCopies = true;
    WriteOffset = 0;
    if (!Alone && !WriteBack.Begun())
        WriteBack.Begin(Fd, FolderOf(ShownName()));
}

void TByteFile::Rewind() {
    ForgetAhead();
    if (::lseek(Fd, 0, SEEK_SET) != 0)
        Fail(errno);
}

void TByteFile::KeepOrRefuse(int Refusal) {
    if (Refusal == 0)
        return;
    CloseQuietly();
    Fail(Refusal);
}

int32_t TByteFile::BlockRead(void* Buffer, int32_t Count) {
    const std::span<const uint8_t> Block = NextBlock(Count);
    std::memcpy(Buffer, Block.data(), Block.size());
    return static_cast<int32_t>(Block.size());
}

std::span<const uint8_t> TByteFile::NextBlock(int32_t Count) {
    const auto Want = static_cast<size_t>(Count);
    if (ChunkEnd - ChunkStart < Want) {
        // What is left of the last read goes to the front, so that a block
        // that a short read cut in two lies in one piece.
        std::memmove(ChunkBytes(), ChunkBytes() + ChunkStart, ChunkEnd - ChunkStart);
        ChunkEnd -= ChunkStart;
        ChunkStart = 0;
        while (ChunkEnd < Want) {
            const ssize_t N = ReadSome(Fd, ChunkBytes() + ChunkEnd, ChunkSize - ChunkEnd);
            if (N < 0)
                Fail(errno);
            if (N == 0)
                break;
            ChunkEnd += static_cast<size_t>(N);
        }
    }
    const std::span<const uint8_t> Block(ChunkBytes() + ChunkStart,
                                         std::min(Want, ChunkEnd - ChunkStart));
    ChunkStart += Block.size();
    return Block;
}

TBlockCounts TByteFile::BlockCopy(TByteFile& Output, int32_t Count, int64_t Ahead) {
    if (!Transferring) {
        const int64_t BlocksPerTransfer = std::max<int64_t>(TransferSize / Count, 1);
        const int64_t Want = std::min(Ahead, BlocksPerTransfer) * Count;
        const auto Start = std::chrono::steady_clock::now();
        Moved = Transfer(Output, Want);
        const std::chrono::microseconds Synced = Output.WriteBack.Wrote(
            Output.Fd, Output.ShownName(), Output.WriteOffset, Moved.Given, TransferSize);
        Output.WriteOffset += Moved.Given;
        const auto Took = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - Start) -
                          Synced;
        // The size that the speed just seen fits in TransferTime, moved by half
        // or double at most, since one transfer's speed may be a passing one.
        if (Moved.Given >= SmallestTransfer) {
            const int64_t Fits =
                Moved.Given * TransferTime.count() / std::max<int64_t>(Took.count(), 1);
            // Whole multiples of the smallest keep every transfer on the file
            // system's blocks, so that one which shares blocks between files
            // shares them all instead of writing some of them again.
            TransferSize = std::clamp(std::clamp(Fits, TransferSize / 2, TransferSize * 2),
                                      SmallestTransfer, LargestTransfer) /
                           SmallestTransfer * SmallestTransfer;
        }
        Transferring = true;
    }
    TBlockCounts Block{static_cast<int32_t>(std::min<int64_t>(Count, Moved.Taken)),
                       static_cast<int32_t>(std::min<int64_t>(Count, Moved.Given))};
    Moved.Taken -= Block.Read;
    Moved.Given -= Block.Written;
    if (Block.Read == Count && Block.Written == Count) {
        Transferring = Moved.Taken > 0 || Moved.End != TTransfer::TEnd::Count;
        return Block;
    }
    // The block in which the transfer ended. A write of that block alone
    // would have been refused at its first byte (the system's error), or
    // would have stored part of it (a short write), wherever the transfer began.
    Transferring = false;
    if (Moved.End == TTransfer::TEnd::ReadError)
        Fail(Moved.Error);
    if (Moved.End == TTransfer::TEnd::Refused && Block.Written == 0 && Moved.Error != 0)
        throw EInOutError(Moved.Error, Output.ShownName(), true);
    Block.Error = Moved.Error;
    return Block;
}

TByteFile::TTransfer TByteFile::Transfer(TByteFile& Output, int64_t Count) {
    TTransfer Result;
    if (Output.KernelCopies)
        KernelCopy(Output, Count, Result);
    // The rest goes the plain way, which also tells an end of the input from
    // a refusal of the output and a failed read.
    if (Result.Given < Count)
        PlainCopy(Output, Count, Result);
    return Result;
}

void TByteFile::KernelCopy(TByteFile& Output, int64_t Count, TTransfer& Result) {
    while (Result.Given < Count) {
        const ssize_t N = ::copy_file_range(Fd, nullptr, Output.Fd, nullptr,
                                            static_cast<size_t>(Count - Result.Given), 0);
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0) {
            // These say that the kernel cannot copy between these two files at all.
            if (N < 0 && (errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP ||
                          errno == ENOSYS || errno == EBADF))
                Output.KernelCopies = false;
            return;
        }
        Result.Taken += N;
        Result.Given += N;
    }
}

void TByteFile::PlainCopy(TByteFile& Output, int64_t Count, TTransfer& Result) {
    while (Result.Taken < Count) {
        const auto Want = static_cast<size_t>(std::min<int64_t>(Count - Result.Taken, ChunkSize));
        const ssize_t N = ReadSome(Fd, ChunkBytes(), Want);
        if (N <= 0) {
            Result.End = N == 0 ? TTransfer::TEnd::Input : TTransfer::TEnd::ReadError;
            Result.Error = N == 0 ? 0 : errno;
            return;
        }
        Result.Taken += N;
        const auto [Written, Error] = WriteAll(Output.Fd, ChunkBytes(), static_cast<size_t>(N));
        Result.Given += static_cast<int64_t>(Written);
        if (Written < static_cast<size_t>(N)) {
            Result.End = TTransfer::TEnd::Refused;
            Result.Error = Error;
            return;
        }
    }
}

struct stat TByteFile::Status() const {
    struct stat Opened {};
    if (StatusOf(Fd, Opened) != 0)
        Fail(errno);
    return Opened;
}

int64_t TByteFile::FileSize() const {
    return Status().st_size;
}

bool TByteFile::FolderHolds(const std::string& Name, int64_t Size) const {
    const auto Slash = Name.rfind('/');
    const std::string Folder = Slash == std::string::npos ? "." : Name.substr(0, Slash + 1);
    const char* System = SystemName(Folder);
    struct stat FolderStatus {};
    if (Retried([&] { return ::stat(System, &FolderStatus); }) != 0)
        return true;
    if (FolderStatus.st_dev == Status().st_dev) {
        const int Refusal = PositionRefusal(Fd, Size);
        if (Refusal != 0 && Refusal != EINVAL)
            Fail(Refusal);
        return Refusal == 0;
    }
    // Another file system answers through a file of its own that no name
    // leads to and that goes with its handle; where it makes none (FAT, a
    // share), through the folder, whose positions it bounds alike.
    int Probe = Retried([&] { return ::open(System, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); });
    if (Probe < 0)
        Probe = Retried([&] { return ::open(System, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (Probe < 0)
        return true;
    const int Refusal = PositionRefusal(Probe, Size);
    ::close(Probe);
    return Refusal != EINVAL;
}

TFileId TByteFile::Id() const {
    return IdOf(Status());
}

mode_t TByteFile::Permissions() const {
    return Status().st_mode & 0777;
}

bool TByteFile::IsOnlyName(const std::string& Name) const {
    const char* System = SystemName(Name);
    struct stat Entry {};
    return Retried([&] { return ::lstat(System, &Entry); }) == 0 && Entry.st_nlink == 1 &&
           IdOf(Entry) == Id();
}

void TByteFile::TFreeChunk::operator()(uint8_t* Bytes) const {
    ::operator delete[](Bytes, ChunkAlignment);
}

uint8_t* TByteFile::ChunkBytes() {
    if (!Chunk)
        Chunk.reset(static_cast<uint8_t*>(::operator new[](ChunkSize, ChunkAlignment)));
    return Chunk.get();
}

void TByteFile::ForgetAhead() {
    ChunkStart = ChunkEnd = 0;
    Transferring = false;
}

void TByteFile::Fail(int Code) const {
    throw EInOutError(Code, ShownName());
}

int TByteFile::Duplicate() const {
    const int Copy = Retried([this] { return ::fcntl(Fd, F_DUPFD_CLOEXEC, 0); });
    if (Copy < 0)
        Fail(errno);
    return Copy;
}

void TByteFile::Write(const void* Data, size_t Count) {
    const auto [Written, Error] = WriteAll(Fd, static_cast<const uint8_t*>(Data), Count);
    WriteOffset += static_cast<off_t>(Written);
    if (Written < Count)
        throw EInOutError(Error != 0 ? Error : ENOSPC, ShownName(), true);
}

void TByteFile::Skip(int64_t Count) {
    WriteOffset += static_cast<off_t>(Count);
    if (::lseek(Fd, WriteOffset, SEEK_SET) != WriteOffset)
        Fail(errno);
}

void TByteFile::WriteAt(const void* Data, size_t Count, int64_t Offset) {
    for (size_t Done = 0; Done < Count;) {
        const ssize_t Put = Retried([&] {
            return ::pwrite(Fd, static_cast<const uint8_t*>(Data) + Done, Count - Done,
                            static_cast<off_t>(Offset) + static_cast<off_t>(Done));
        });
        if (Put <= 0)
            throw EInOutError(Put < 0 ? errno : ENOSPC, ShownName(), true);
        Done += static_cast<size_t>(Put);
    }
    (void)WriteBack.Wrote(Fd, ShownName(), static_cast<off_t>(Offset), static_cast<off_t>(Count),
                          TransferSize);
}

void TByteFile::Store(const std::vector<const TByteFile*>& Also) {
    std::vector<std::pair<int, std::string>> Others;
    for (const TByteFile* Other : Also)
        Others.emplace_back(Other->Fd, Other->ShownName());
    WriteBack.Store(Others);
}

void TByteFile::StoreNames(int Folder) {
    WriteBack.StoreNames(Folder);
}

void TByteFile::Close() {
    const int OldFd = Fd;
    Fd = -1;
    ForgetAhead();
    if (::close(OldFd) != 0)
        Fail(errno);
}

void TByteFile::CloseQuietly() noexcept {
    if (Fd >= 0)
        ::close(Fd);
    Fd = -1;
    ForgetAhead();
}

bool FileExists(const std::string& Name) {
    // A link counts by itself, even when it leads nowhere: otherwise an old
    // piece left as such a link is not removed, and the new piece is written
    // through it to wherever it points.
    if (Name.empty())
        return false;
    const char* System = SystemName(Name);
    if (Retried([System] {
            return ::faccessat(AT_FDCWD, System, F_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW);
        }) == 0)
        return true;
    // No entry, a folder part that is no folder, a name too long to be made:
    // nothing can be there.
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
        return false;
    throw EInOutError(errno, Name);
}

std::optional<struct stat> EntryStatus(const std::string& Name) {
    const char* System = SystemName(Name);
    struct stat Entry {};
    if (Retried([&] { return ::lstat(System, &Entry); }) == 0)
        return Entry;
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
        return std::nullopt;
    throw EInOutError(errno, Name);
}

std::string FolderOf(const std::string& Name) {
    const auto Slash = Name.rfind('/');
    if (Slash == std::string::npos)
        return ".";
    return Slash == 0 ? "/" : Name.substr(0, Slash);
}

std::string BareName(const std::string& Name) {
    const size_t Slash = Name.rfind('/');
    return Slash == std::string::npos ? Name : Name.substr(Slash + 1);
}

int RemoveFile(const std::string& Name) {
    const char* System = SystemName(Name);
    return Retried([System] { return ::unlink(System); }) == 0 || errno == ENOENT ? 0 : errno;
}

void RemoveWritten(const std::string& Name, const TFileId& Written) {
    const char* System = SystemName(Name);
    struct stat Entry {};
    if (Retried([&] { return ::lstat(System, &Entry); }) != 0) {
        if (errno == ENOENT)
            return;
        throw EInOutError(errno, Name);
    }
    if (IdOf(Entry) != Written)
        return;
    if (const int Error = RemoveFile(Name); Error != 0)
        throw EInOutError(Error, Name);
}
