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

void TWriteBack::Wrote(int Fd, off_t Start, off_t Length) {
    if (!Begun() || Length == 0)
        return;
    if (Retried([&] { return ::sync_file_range(Fd, Start, Length, SYNC_FILE_RANGE_WRITE); }) != 0)
        throw EInOutError(errno);
    if (Pending >= 0) {
        constexpr unsigned Wait =
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
        CloseAfter(Pending, Retried([this] {
                       return ::sync_file_range(Pending, PendingStart, PendingLength, Wait);
                   }));
    }
    Pending = Duplicate(Fd);
    PendingStart = Start;
    PendingLength = Length;
}

void TWriteBack::Finish() {
    if (!Begun())
        return;
    // The sync stores the pending range too, and reports its failure.
    if (Pending >= 0)
        CloseAfter(Pending, 0);
    CloseAfter(FileSystem, Retried([this] { return ::syncfs(FileSystem); }));
}

void TWriteBack::Forget() noexcept {
    for (int* Fd : {&Pending, &FileSystem}) {
        if (*Fd >= 0)
            ::close(*Fd);
        *Fd = -1;
    }
}
