// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Temporary names, the run's lock, final names and the checks of the outputs' folder.
#include "classRunFolder.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <map>
#include <memory>
#include <sys/random.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr char Prefix[] = ".pvx";
constexpr size_t RunDigits = 8;
constexpr size_t NumberDigits = 12;
constexpr size_t TemporaryLength = sizeof Prefix - 1 + RunDigits + NumberDigits;

// The run and the number of a temporary name of Parvox's, or nothing.
std::optional<std::pair<uint32_t, uint64_t>> TemporaryParts(const std::string& Entry) {
    if (Entry.size() != TemporaryLength || !Entry.starts_with(Prefix))
        return std::nullopt;
    uint64_t Value[2] = {0, 0};
    for (size_t At = sizeof Prefix - 1; At < Entry.size(); ++At) {
        const char C = Entry[At];
        const int Digit = C >= '0' && C <= '9' ? C - '0' : C >= 'a' && C <= 'f' ? C - 'a' + 10 : -1;
        if (Digit < 0)
            return std::nullopt;
        uint64_t& Part = Value[At < sizeof Prefix - 1 + RunDigits ? 0 : 1];
        Part = Part * 16 + static_cast<uint64_t>(Digit);
    }
    return std::pair{static_cast<uint32_t>(Value[0]), Value[1]};
}

// A size as people read it, in powers of 1000: "512 bytes", "1.6 GB", "98 MB".
std::string DecimalSize(int64_t Bytes) {
    static constexpr std::array<const char*, 7> Units{"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
    size_t Unit = 0;
    auto Value = static_cast<double>(Bytes);
    for (; Value >= 999.95 && Unit + 1 < Units.size(); Value /= 1000.0)
        ++Unit;
    char Text[32];
    if (Unit == 0)
        std::snprintf(Text, sizeof Text, "%lld bytes", static_cast<long long>(Bytes));
    else
        std::snprintf(Text, sizeof Text, Value < 9.95 ? "%.1f %s" : "%.0f %s", Value, Units[Unit]);
    return Text;
}

// Whether the file system of Fd keeps an owner for each file. FAT, exFAT,
// NTFS and network shares may show one owner, fixed at mount, for every
// file, and so may FUSE file systems, which show what their daemon says. A
// file system that does not say what it is may keep owners.
bool KeepsOwners(int Fd) {
    // The kinds are 32-bit numbers; f_type is a signed int on 32-bit targets,
    // where the CIFS and SMB2 numbers come out negative.
    constexpr std::array<uint32_t, 8> FixedOwners{
        MSDOS_SUPER_MAGIC, EXFAT_SUPER_MAGIC, 0x5346544e /* NTFS */, 0x7366746e /* NTFS3 */,
        SMB_SUPER_MAGIC,   CIFS_SUPER_MAGIC,  SMB2_SUPER_MAGIC,      FUSE_SUPER_MAGIC};
    struct statfs FileSystem {};
    return Retried([&] { return ::fstatfs(Fd, &FileSystem); }) != 0 ||
           std::find(FixedOwners.begin(), FixedOwners.end(),
                     static_cast<uint32_t>(FileSystem.f_type)) == FixedOwners.end();
}

// Takes the lock of a run on its lock file Fd without waiting: 0, EAGAIN
// where another holds it, or the error of a file system without locks.
int TakeLock(int Fd) {
    struct flock Whole {};
    Whole.l_type = F_WRLCK;
    Whole.l_whence = SEEK_SET;
    if (Retried([&] { return ::fcntl(Fd, F_OFD_SETLK, &Whole); }) == 0)
        return 0;
    return errno == EACCES ? EAGAIN : errno;
}

uint32_t RandomRunId() {
    uint32_t Id = 0;
    if (::getrandom(&Id, sizeof Id, GRND_NONBLOCK) != sizeof Id)
        Id = static_cast<uint32_t>(::getpid()) * 2654435761U ^
             static_cast<uint32_t>(::time(nullptr));
    return Id;
}

struct TCloseDir {
    void operator()(DIR* Listing) const { ::closedir(Listing); }
};

} // namespace

TRunFolder::TRunFolder(const std::string& Name) : FolderName(Name) {
    Folder = Retried([&] { return ::open(Name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (Folder < 0)
        throw EInOutError(errno, Name);
}

TRunFolder::~TRunFolder() {
    End();
    ::close(Folder);
}

void TRunFolder::CheckNameLength(const std::string& Name) const {
    const long Longest = ::fpathconf(Folder, _PC_NAME_MAX);
    if (Longest > 0 && BareName(Name).size() > static_cast<size_t>(Longest))
        throw EInOutError(ENAMETOOLONG, Name);
}

void TRunFolder::ForEachEntry(const std::function<void(const std::string& Entry)>& Visit) const {
    const int Copy = Retried([this] { return ::fcntl(Folder, F_DUPFD_CLOEXEC, 0); });
    DIR* Opened = Copy < 0 ? nullptr : ::fdopendir(Copy);
    if (Opened == nullptr) {
        const int Error = errno;
        if (Copy >= 0)
            ::close(Copy);
        throw EInOutError(Error, FolderName);
    }
    const std::unique_ptr<DIR, TCloseDir> Listing(Opened);
    ::rewinddir(Listing.get());
    for (;;) {
        errno = 0;
        const dirent* Entry = ::readdir(Listing.get());
        if (Entry == nullptr) {
            if (errno != 0)
                throw EInOutError(errno, FolderName);
            return;
        }
        Visit(Entry->d_name);
    }
}

int64_t TRunFolder::Footprint(int64_t Size) const {
    struct statvfs FileSystem {};
    if (Retried([&] { return ::fstatvfs(Folder, &FileSystem); }) != 0 || FileSystem.f_frsize == 0)
        return Size;
    const auto Block = static_cast<int64_t>(FileSystem.f_frsize);
    return Size <= INT64_MAX - Block ? (Size + Block - 1) / Block * Block : Size;
}

void TRunFolder::CheckRoom(int64_t Needed, int64_t Freed, const TByteFile& Input,
                           const std::string& Message) const {
    struct statvfs Room {};
    struct statfs Kind {};
    struct stat Here {};
    if (Retried([&] { return ::fstatvfs(Folder, &Room); }) != 0 ||
        Retried([&] { return ::fstatfs(Folder, &Kind); }) != 0 ||
        Retried([&] { return ::fstat(Folder, &Here); }) != 0)
        throw EInOutError(errno, FolderName);
    // XFS and btrfs share the blocks of a copy within the file system.
    const auto Type = static_cast<uint32_t>(Kind.f_type);
    const bool Shares =
        (Type == XFS_SUPER_MAGIC || Type == BTRFS_SUPER_MAGIC) && Input.Id().Device == Here.st_dev;
    if (Room.f_blocks == 0 || Shares)
        return;
    // Root may use the blocks that the file system keeps back for it.
    const auto Blocks = static_cast<double>(::geteuid() == 0 ? Room.f_bfree : Room.f_bavail);
    const double Free = Blocks * static_cast<double>(Room.f_frsize);
    if (static_cast<double>(Needed) > Free + static_cast<double>(Freed))
        throw EParvoxError(TextWith(
            Message, {DecimalSize(Needed), FolderName, DecimalSize(static_cast<int64_t>(Free))}));
}

std::optional<TFileId> TRunFolder::Replaceable(const std::string& Name) const {
    const std::optional<struct stat> Entry = EntryStatus(Name);
    if (!Entry)
        return std::nullopt;
    if (S_ISDIR(Entry->st_mode))
        throw EInOutError(EISDIR, Name);
    if (S_ISREG(Entry->st_mode) && ::geteuid() == 0 && Entry->st_uid != 0 && KeepsOwners(Folder))
        throw EInOutError(EPERM, Name);
    return TFileId{Entry->st_dev, Entry->st_ino};
}

std::string TRunFolder::TemporaryEntry(uint32_t Run, uint64_t Number) const {
    char Entry[TemporaryLength + 1];
    std::snprintf(Entry, sizeof Entry, "%s%08x%012llx", Prefix, Run,
                  static_cast<unsigned long long>(Number & SumsNumber));
    return Entry;
}

std::string TRunFolder::TemporaryName(uint64_t Number) const {
    return (FolderName.back() == '/' ? FolderName : FolderName + '/') +
           TemporaryEntry(RunId, Number);
}

void TRunFolder::Begin() {
    for (int Attempt = 0;; ++Attempt) {
        RunId = RandomRunId();
        const std::string Entry = TemporaryEntry(RunId, 0);
        Lock = Retried([&] {
            return ::openat(Folder, Entry.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        });
        if (Lock < 0 && errno == EEXIST && Attempt < 16)
            continue;
        if (Lock < 0)
            throw EInOutError(errno, FolderName);
        // Another run that removes dead runs' files may take the lock of a
        // file just made, before its maker does, and then removes it: the
        // maker, whose lock fails or leads to a file without a name, starts
        // again under another id. Where the file system has no locks, no run
        // can tell a dead one, and none removes another's files.
        const int Taken = TakeLock(Lock);
        struct stat Held {};
        struct stat Named {};
        if (Taken != EAGAIN && ::fstat(Lock, &Held) == 0 &&
            ::fstatat(Folder, Entry.c_str(), &Named, AT_SYMLINK_NOFOLLOW) == 0 &&
            Held.st_ino == Named.st_ino)
            break;
        ::close(Lock);
        Lock = -1;
        if (Attempt >= 16)
            throw EInOutError(EAGAIN, FolderName);
    }
    RemoveDeadTemporaries();
}

void TRunFolder::RemoveDeadTemporaries() const {
    // The runs whose files are here, and for the dead ones among them the
    // handle on their lock file, held until their files are gone (-1 where
    // the lock file itself is gone). A run makes its lock file before any
    // other and removes it after all the others, so a run without one is dead.
    std::map<uint32_t, int> Dead;
    ForEachEntry([&](const std::string& Entry) {
        if (const auto Parts = TemporaryParts(Entry); Parts && Parts->first != RunId)
            Dead.emplace(Parts->first, -2);
    });
    for (auto Run = Dead.begin(); Run != Dead.end();) {
        const std::string Entry = TemporaryEntry(Run->first, 0);
        const int Fd = Retried(
            [&] { return ::openat(Folder, Entry.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC); });
        if (Fd < 0 && errno == ENOENT) {
            (Run++)->second = -1;
        } else if (Fd >= 0 && TakeLock(Fd) == 0) {
            (Run++)->second = Fd;
        } else {
            if (Fd >= 0)
                ::close(Fd);
            Run = Dead.erase(Run);
        }
    }
    if (Dead.empty())
        return;
    ForEachEntry([&](const std::string& Entry) {
        if (const auto Parts = TemporaryParts(Entry);
            Parts && Parts->second != 0 && Dead.contains(Parts->first))
            (void)::unlinkat(Folder, Entry.c_str(), 0);
    });
    for (const auto& [Run, Fd] : Dead) {
        if (Fd >= 0) {
            (void)::unlinkat(Folder, TemporaryEntry(Run, 0).c_str(), 0);
            ::close(Fd);
        }
    }
}

void TRunFolder::Publish(uint64_t Number, const std::string& Name,
                         const std::optional<TFileId>& Earlier) {
    const std::string Temporary = TemporaryEntry(RunId, Number);
    const std::string Final = BareName(Name);
    if (Retried([&] {
            return ::renameat2(Folder, Temporary.c_str(), Folder, Final.c_str(), RENAME_NOREPLACE);
        }) == 0)
        return;
    if (errno == EEXIST)
        Replace(Temporary, Final, Name, Earlier);
    else if (errno == EINVAL || errno == ENOSYS)
        PublishWithoutNoReplace(Temporary, Final, Name);
    else
        throw EInOutError(errno, Name);
}

void TRunFolder::PublishWithoutNoReplace(const std::string& Temporary, const std::string& Final,
                                         const std::string& Name) const {
    // A link fails where the name is taken; the temporary name goes after.
    if (Retried([&] { return ::linkat(Folder, Temporary.c_str(), Folder, Final.c_str(), 0); }) ==
        0) {
        (void)::unlinkat(Folder, Temporary.c_str(), 0);
        return;
    }
    if (errno == EEXIST)
        Appeared(Name);
    // No links either (FAT, most FUSE file systems): only a file that appears
    // between the look and the rename is replaced.
    struct stat There {};
    if (::fstatat(Folder, Final.c_str(), &There, AT_SYMLINK_NOFOLLOW) == 0)
        Appeared(Name);
    if (errno != ENOENT)
        throw EInOutError(errno, Name);
    if (Retried([&] { return ::renameat(Folder, Temporary.c_str(), Folder, Final.c_str()); }) != 0)
        throw EInOutError(errno, Name);
}

void TRunFolder::Replace(const std::string& Temporary, const std::string& Final,
                         const std::string& Name, const std::optional<TFileId>& Earlier) const {
    if (!Earlier)
        Appeared(Name);
    const auto IsEarlier = [&](const std::string& Entry) {
        struct stat There {};
        return ::fstatat(Folder, Entry.c_str(), &There, AT_SYMLINK_NOFOLLOW) == 0 &&
               TFileId{There.st_dev, There.st_ino} == *Earlier;
    };
    // Exchanged, the file that was there is under the temporary name, and
    // goes only if it is the earlier one.
    if (::renameat2(Folder, Temporary.c_str(), Folder, Final.c_str(), RENAME_EXCHANGE) == 0) {
        if (IsEarlier(Temporary)) {
            (void)::unlinkat(Folder, Temporary.c_str(), 0);
            return;
        }
        (void)::renameat2(Folder, Temporary.c_str(), Folder, Final.c_str(), RENAME_EXCHANGE);
        Appeared(Name);
    }
    if (!IsEarlier(Final))
        Appeared(Name);
    if (Retried([&] { return ::renameat(Folder, Temporary.c_str(), Folder, Final.c_str()); }) != 0)
        throw EInOutError(errno, Name);
}

void TRunFolder::Appeared(const std::string& Name) {
    throw EParvoxError(TextWith(txtAppeared, {BareName(Name)}));
}

void TRunFolder::End() noexcept {
    if (Lock < 0)
        return;
    (void)::unlinkat(Folder, TemporaryEntry(RunId, 0).c_str(), 0);
    ::close(Lock);
    Lock = -1;
}
