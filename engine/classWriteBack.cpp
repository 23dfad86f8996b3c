// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Writeback of a run's outputs, paced by the medium.
#include "classWriteBack.h"

#include "classParvoxErrors.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

int Duplicate(int Fd, const std::string& Name) {
    const int Copy = Retried([Fd] { return ::fcntl(Fd, F_DUPFD_CLOEXEC, 0); });
    if (Copy < 0)
        throw EInOutError(errno, Name);
    return Copy;
}

// Closes Fd once the call made on it has given Result, and raises the call's error.
void CloseAfter(int& Fd, int Result, const std::string& Name) {
    const int Error = errno;
    ::close(Fd);
    Fd = -1;
    if (Result != 0)
        throw EInOutError(Error, Name);
}

} // namespace

void TWriteBack::Begin(int Fd, const std::string& Place) {
    Forget();
    Medium = Place;
    struct stat File {};
    if (Retried([&] { return ::fstat(Fd, &File); }) != 0)
        throw EInOutError(errno, Medium);
    if (!S_ISREG(File.st_mode))
        return;
    struct statfs FileSystemKind {};
    // A FUSE file system stores through a process of its own, which a sync
    // of the file system does not reach: only a sync of each file does. A
    // file system that does not say what it is may be one.
    SyncsEachFile = Retried([&] { return ::fstatfs(Fd, &FileSystemKind); }) != 0 ||
                    FileSystemKind.f_type == FUSE_SUPER_MAGIC;
    FileSystem = Duplicate(Fd, Medium);
    // A failure to store that no sync has reported yet is reported by the
    // next one, through whatever handle: one of an earlier run (a medium
    // that failed then) or of another program's data is not this run's. A
    // sync now reports and sets aside those failures, and stores what this
    // run changed before its first write (old pieces removed).
    (void)Retried([this] { return ::syncfs(FileSystem); });
}

std::chrono::microseconds TWriteBack::Wrote(int Fd, const std::string& Name, off_t Start,
                                            off_t Length, off_t Window) {
    if (!Begun() || Length == 0)
        return {};
    // Pending before its writeback starts: should the start fail, a run that
    // settles still waits for what went out.
    if (SyncsEachFile && Start != 0 && !Pending.empty())
        Pending.back().Length += Length;
    else
        Pending.push_back({Duplicate(Fd, Name), Start, Length, Name});
    Ahead += Length;
    if (Retried([&] { return ::sync_file_range(Fd, Start, Length, SYNC_FILE_RANGE_WRITE); }) != 0)
        throw EInOutError(errno, Name);
    if (SyncsEachFile) {
        // A sync of a file is a round trip to the medium however little it
        // stores: one per file once its writing ends (the next one begins),
        // and in between one per window of data at most, the largest
        // transfer's size, so the progress runs no further ahead of the
        // medium than it does elsewhere.
        constexpr off_t FileWindow = 16 * 1024 * 1024;
        const auto Began = std::chrono::steady_clock::now();
        while (Pending.size() > 1 || (!Pending.empty() && Ahead > FileWindow))
            StoreOldest();
        return std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - Began);
    }
    // Each pending range holds a handle: tiny pieces must not use them all up.
    constexpr size_t MostRanges = 64;
    while (Pending.size() > 1 && (Ahead > Window || Pending.size() > MostRanges))
        StoreOldest();
    return {};
}

void TWriteBack::Store(const std::vector<std::pair<int, std::string>>& Also) {
    if (!Begun())
        return;
    while (!Pending.empty())
        StoreOldest();
    for (const auto& [Fd, Name] : Also)
        if (SyncsEachFile && Retried([Fd = Fd] { return ::fdatasync(Fd); }) != 0)
            throw EInOutError(errno, Name);
    SyncFileSystem();
}

void TWriteBack::StoreNames(int Folder) {
    if (!Begun())
        return;
    // A file system that cannot sync a folder (some FUSE ones) stores its names as it likes.
    if (SyncsEachFile && Retried([Folder] { return ::fsync(Folder); }) != 0 && errno != EINVAL &&
        errno != ENOSYS && errno != EROFS)
        throw EInOutError(errno, Medium);
    SyncFileSystem();
    Forget();
}

void TWriteBack::SyncFileSystem() const {
    if (Retried([this] { return ::syncfs(FileSystem); }) != 0)
        throw EInOutError(errno, Medium);
}

void TWriteBack::Settle() noexcept {
    while (!Pending.empty()) {
        try {
            StoreOldest();
        } catch (const EInOutError&) {
            // The error that ends the run is already on its way.
        }
    }
    Forget();
}

void TWriteBack::Forget() noexcept {
    for (const TRange& Range : Pending)
        ::close(Range.Fd);
    Pending.clear();
    Ahead = 0;
    if (FileSystem >= 0)
        ::close(FileSystem);
    FileSystem = -1;
}

void TWriteBack::StoreOldest() {
    TRange Oldest = Pending.front();
    Pending.pop_front();
    Ahead -= Oldest.Length;
    constexpr unsigned Wait =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    CloseAfter(Oldest.Fd, Retried([this, &Oldest] {
                   return SyncsEachFile
                              ? ::fdatasync(Oldest.Fd)
                              : ::sync_file_range(Oldest.Fd, Oldest.Start, Oldest.Length, Wait);
               }),
               Oldest.Name);
}
