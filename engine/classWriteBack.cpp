// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Writeback of a run's outputs, paced by the medium.
#include "classWriteBack.h"

#include "classParvoxErrors.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int Duplicate(int Fd) {
    const int Copy = Retried([Fd] { return ::fcntl(Fd, F_DUPFD_CLOEXEC, 0); });
    if (Copy < 0)
        throw EInOutError(errno);
    return Copy;
}

// Closes Fd once the call made on it has given Result, and raises the call's error.
void CloseAfter(int& Fd, int Result) {
    const int Error = errno;
    ::close(Fd);
    Fd = -1;
    if (Result != 0)
        throw EInOutError(Error);
}

} // namespace

void TWriteBack::Begin(int Fd) {
    Forget();
    FileSystem = Duplicate(Fd);
}

void TWriteBack::Wrote(int Fd, off_t Start, off_t Length, off_t Window) {
    if (!Begun() || Length == 0)
        return;
    if (Retried([&] { return ::sync_file_range(Fd, Start, Length, SYNC_FILE_RANGE_WRITE); }) != 0)
        throw EInOutError(errno);
    Pending.push_back({Duplicate(Fd), Start, Length});
    Ahead += Length;
    // Each pending range holds a handle: tiny pieces must not use them all up.
    constexpr size_t MostRanges = 64;
    while (Pending.size() > 1 && (Ahead > Window || Pending.size() > MostRanges)) {
        constexpr unsigned Wait =
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
        TRange Oldest = Pending.front();
        Pending.pop_front();
        Ahead -= Oldest.Length;
        CloseAfter(Oldest.Fd, Retried([&Oldest] {
                       return ::sync_file_range(Oldest.Fd, Oldest.Start, Oldest.Length, Wait);
                   }));
    }
}

void TWriteBack::Finish() {
    if (!Begun())
        return;
    // The sync stores the pending ranges too, and reports their failures.
    ForgetPending();
    CloseAfter(FileSystem, Retried([this] { return ::syncfs(FileSystem); }));
}

void TWriteBack::Forget() noexcept {
    ForgetPending();
    if (FileSystem >= 0)
        ::close(FileSystem);
    FileSystem = -1;
}

void TWriteBack::ForgetPending() noexcept {
    for (const TRange& Range : Pending)
        ::close(Range.Fd);
    Pending.clear();
    Ahead = 0;
}
