// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// POSIX file layer of the engines.
#include "classByteFile.h"

#include "classParvoxErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TByteFile::~TByteFile() {
    CloseQuietly();
}

void TByteFile::Assign(const std::string& Name) {
    CloseQuietly();
    FName = Name;
}

void TByteFile::Reset() {
    CloseQuietly();
    // O_NONBLOCK keeps the open of a FIFO without a writer from hanging; such
    // a file is refused right after, before anything is read from it.
    const int NewFd = ::open(FName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (NewFd < 0)
        throw EInOutError(errno);
    struct stat Status {};
    int Refusal = 0;
    if (::fstat(NewFd, &Status) != 0)
        Refusal = errno;
    else if (S_ISDIR(Status.st_mode))
        Refusal = EISDIR;
    else if (!S_ISREG(Status.st_mode))
        Refusal = EINVAL;
    else if (Status.st_size >= MaxFileSize)
        Refusal = EOVERFLOW;
    else if (::fcntl(NewFd, F_SETFL, 0) != 0)
        Refusal = errno;
    if (Refusal != 0) {
        ::close(NewFd);
        throw EInOutError(Refusal);
    }
    Fd = NewFd;
}

void TByteFile::Rewrite() {
    CloseQuietly();
    const int NewFd = ::open(
        FName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (NewFd < 0)
        throw EInOutError(errno);
    // Writes may wait (a pipe that someone reads); only the open must not.
    if (::fcntl(NewFd, F_SETFL, 0) != 0) {
        const int Error = errno;
        ::close(NewFd);
        throw EInOutError(Error);
    }
    Fd = NewFd;
}

int32_t TByteFile::BlockRead(void* Buffer, int32_t Count) {
    auto* Bytes = static_cast<char*>(Buffer);
    int32_t Done = 0;
    while (Done < Count) {
        const ssize_t N = ::read(Fd, Bytes + Done, static_cast<size_t>(Count - Done));
        if (N < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError(errno);
        }
        if (N == 0)
            break;
        Done += static_cast<int32_t>(N);
    }
    return Done;
}

int32_t TByteFile::BlockWrite(const void* Buffer, int32_t Count) {
    const auto* Bytes = static_cast<const char*>(Buffer);
    int32_t Done = 0;
    while (Done < Count) {
        const ssize_t N = ::write(Fd, Bytes + Done, static_cast<size_t>(Count - Done));
        if (N < 0) {
            if (errno == EINTR)
                continue;
            if (Done == 0)
                throw EInOutError(errno);
            break;
        }
        if (N == 0)
            break;
        Done += static_cast<int32_t>(N);
    }
    return Done;
}

int32_t TByteFile::FileSize() const {
    struct stat Status {};
    if (::fstat(Fd, &Status) != 0)
        throw EInOutError(errno);
    if (Status.st_size >= MaxFileSize)
        throw EInOutError(EOVERFLOW);
    return static_cast<int32_t>(Status.st_size);
}

void TByteFile::Close() {
    const int OldFd = Fd;
    Fd = -1;
    if (::close(OldFd) != 0)
        throw EInOutError(errno);
}

void TByteFile::CloseQuietly() noexcept {
    if (Fd >= 0)
        ::close(Fd);
    Fd = -1;
}

bool FileExists(const std::string& Name) {
    // A link counts by itself, even when it leads nowhere: otherwise an old
    // piece left as such a link is not removed, and the new piece is written
    // through it to wherever it points.
    return !Name.empty() &&
           ::faccessat(AT_FDCWD, Name.c_str(), F_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
}

bool SameFile(const std::string& Name1, const std::string& Name2) {
    struct stat Status1 {};
    struct stat Status2 {};
    return ::stat(Name1.c_str(), &Status1) == 0 && ::stat(Name2.c_str(), &Status2) == 0 &&
           Status1.st_dev == Status2.st_dev && Status1.st_ino == Status2.st_ino;
}

void DeleteFileQuietly(const std::string& Name) {
    ::unlink(Name.c_str());
}
