// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Digests taken on threads beside the copy, with OpenSSL's SHA-256 (which
// uses the processor's SHA instructions where there are any) and MD5, and
// zlib's CRC-32.
#include "classPieceHasher.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace {

// Bytes per read: the digest runs while they are still in the processor's cache.
constexpr size_t ReadSize = 256 * 1024;

// One running digest of either kind.
class TDigester {
public:
    explicit TDigester(TPieceHasher::TAlgorithm Algorithm)
        : Context(Algorithm != TPieceHasher::TAlgorithm::Crc32 ? EVP_MD_CTX_new() : nullptr) {
        if (Context &&
            EVP_DigestInit_ex(Context.get(),
                              Algorithm == TPieceHasher::TAlgorithm::Md5 ? EVP_md5() : EVP_sha256(),
                              nullptr) != 1)
            throw std::bad_alloc();
    }

    void Add(const uint8_t* Bytes, size_t Count) {
        if (Context)
            EVP_DigestUpdate(Context.get(), Bytes, Count);
        else
            Crc = crc32(Crc, Bytes, static_cast<uInt>(Count));
    }

    [[nodiscard]] TPieceHasher::TDigest Final() {
        if (!Context)
            return {static_cast<uint8_t>(Crc >> 24), static_cast<uint8_t>(Crc >> 16),
                    static_cast<uint8_t>(Crc >> 8), static_cast<uint8_t>(Crc)};
        const TPieceHasher::TPieceDigest Digest = FinalPiece();
        return {Digest.begin(), Digest.begin() + EVP_MD_CTX_get_size(Context.get())};
    }

    [[nodiscard]] TPieceHasher::TPieceDigest FinalPiece() {
        TPieceHasher::TPieceDigest Digest{};
        EVP_DigestFinal_ex(Context.get(), Digest.data(), nullptr);
        return Digest;
    }

private:
    struct TFree {
        void operator()(EVP_MD_CTX* Context) const { EVP_MD_CTX_free(Context); }
    };
    std::unique_ptr<EVP_MD_CTX, TFree> Context;
    uLong Crc = crc32(0, nullptr, 0);
};

} // namespace

void TPieceHasher::Start(std::optional<TAlgorithm> EachPiece,
                         std::optional<TAlgorithm> WholeAlgorithm, std::string Changed, TFeed Fed) {
    Abandon();
    ChangedMessage = std::move(Changed);
    Feed = std::move(Fed);
    Feed.Threads = std::clamp<size_t>(Feed.Threads, 1, MostFeedThreads);
    // Of the feed's threads, only one reads each piece.
    Readers = (EachPiece ? 1 : 0) + (WholeAlgorithm ? 1 : 0) + (Feed.Bytes ? 1 : 0);
    Slots = static_cast<size_t>(Readers) + (Feed.Bytes ? Feed.Threads - 1 : 0);
    Started = true;
    const auto Begin = [this](TRole Role, TAlgorithm Algorithm, size_t First, size_t Step) {
        Threads.emplace_back([this, Slot = Threads.size(), Role, Algorithm, First, Step] {
            Hash(Slot, Role, Algorithm, First, Step);
        });
    };
    if (EachPiece)
        Begin(TRole::EachPiece, *EachPiece, 0, 1);
    if (WholeAlgorithm)
        Begin(TRole::Whole, *WholeAlgorithm, 0, 1);
    for (size_t First = 0; Feed.Bytes && First < Feed.Threads; ++First)
        Begin(TRole::Feed, TAlgorithm::Crc32, First, Feed.Threads);
}

void TPieceHasher::BeginPiece(const TByteFile& File, int64_t FileOffset) {
    {
        // Pieces far smaller than a transfer could otherwise leave a handle
        // open for each of thousands of pieces that the threads have yet to
        // read; the copy keeps out of this wait through Behind.
        std::unique_lock Hold(Lock);
        Changed.wait(Hold, [this] { return Unread < MostUnread || Trouble.load(); });
    }
    const int Fd = File.Duplicate();
    {
        const std::lock_guard Hold(Lock);
        Parts.push_back({Fd, FileOffset, Copied.load(), -1, File.ShownName(), Readers});
        ++Unread;
    }
    Changed.notify_all();
}

bool TPieceHasher::Behind() const {
    return Unread.load(std::memory_order_relaxed) >= MostUnread ||
           Copied.load(std::memory_order_relaxed) - Slowest() > MostBehind;
}

int64_t TPieceHasher::Slowest() const {
    int64_t Least = INT64_MAX;
    for (size_t Slot = 0; Slot < Slots; ++Slot)
        Least = std::min(Least, Progress[Slot].load(std::memory_order_acquire));
    return Least;
}

void TPieceHasher::EndPiece() {
    {
        const std::lock_guard Hold(Lock);
        if (!Parts.empty() && Parts.back().Length < 0)
            Parts.back().Length = Copied.load() - Parts.back().Start;
    }
    Changed.notify_all();
}

void TPieceHasher::Wake(int64_t Done) {
    Told = Done;
    // Taken and let go, so that no thread misses the news between its look
    // at the count and its wait.
    { const std::lock_guard Hold(Lock); }
    Changed.notify_all();
}

void TPieceHasher::Finish() {
    EndPiece();
    {
        const std::lock_guard Hold(Lock);
        Ended = true;
    }
    Changed.notify_all();
}

bool TPieceHasher::CatchUp(std::chrono::milliseconds Wait, bool All) {
    Waiting.fetch_add(1);
    bool Reached = false;
    {
        std::unique_lock Hold(Lock);
        Reached = Changed.wait_for(Hold, Wait, [this, All] {
            return Trouble.load() || (Ended ? Ends == Threads.size()
                                      : All ? Unread == 0
                                            : !Behind());
        });
    }
    Waiting.fetch_sub(1);
    if (Reached && Ended && !Trouble.load())
        Join();
    return Reached;
}

bool TPieceHasher::NextDigest(TPieceDigest& Digest) {
    if (PiecesDone.load(std::memory_order_acquire) == PiecesTaken)
        return false;
    const std::lock_guard Hold(Lock);
    Digest = Pieces.front();
    Pieces.pop_front();
    ++PiecesTaken;
    return true;
}

void TPieceHasher::Abandon() noexcept {
    {
        const std::lock_guard Hold(Lock);
        Abandoned = true;
    }
    Changed.notify_all();
    Join();
    Parts.clear();
    First = 0;
    Pieces.clear();
    PiecesDone = 0;
    PiecesTaken = 0;
    Whole.clear();
    Ended = Abandoned = Shorter = false;
    Unread = 0;
    Ends = 0;
    Slots = 0;
    for (std::atomic<int64_t>& Read : Progress)
        Read = 0;
    Error = 0;
    FeedFailure = nullptr;
    Feed = {};
    Told = 0;
    Copied = 0;
    Trouble = false;
    Started = false;
}

void TPieceHasher::Join() noexcept {
    for (std::thread& Thread : Threads)
        Thread.join();
    Threads.clear();
    // The pieces that a thread left unread, as it ended early.
    for (TPiece& Part : Parts)
        if (std::exchange(Part.Readers, 0) > 0)
            ::close(Part.Fd);
}

bool TPieceHasher::Await(size_t Index) {
    std::unique_lock Hold(Lock);
    Changed.wait(Hold, [&] { return Abandoned || Index < First + Parts.size() || Ended; });
    return !Abandoned && Index < First + Parts.size();
}

TPieceHasher::TReach TPieceHasher::Reach(size_t Index, int64_t Read) {
    std::unique_lock Hold(Lock);
    for (;;) {
        if (Abandoned || Trouble.load())
            return {-1, true};
        const TPiece& Part = Parts[Index - First];
        if (Part.Length >= 0)
            return {Part.Length, true};
        const int64_t End = Copied.load(std::memory_order_acquire) - Part.Start;
        if (End > Read)
            return {End, false};
        Changed.wait(Hold);
    }
}

void TPieceHasher::Hashed(size_t Slot, int64_t Done) {
    Progress[Slot].store(Done, std::memory_order_release);
    // The copy that waits for the digests hears of each step.
    if (Waiting.load() > 0) {
        { const std::lock_guard Hold(Lock); }
        Changed.notify_all();
    }
}

void TPieceHasher::Done(size_t Index) {
    {
        const std::lock_guard Hold(Lock);
        TPiece& Part = Parts[Index - First];
        if (--Part.Readers > 0)
            return;
        ::close(Part.Fd);
        --Unread;
        // Every thread reads the pieces in order, so they are done in order.
        while (!Parts.empty() && Parts.front().Readers == 0) {
            Parts.pop_front();
            ++First;
        }
    }
    Changed.notify_all();
}

void TPieceHasher::Fail(int Code, const std::string& Name, bool Short) {
    {
        const std::lock_guard Hold(Lock);
        if (Error == 0 && !Shorter) {
            Error = Code;
            ErrorName = Name;
            Shorter = Short;
        }
        Trouble = true;
    }
    Changed.notify_all();
}

void TPieceHasher::FailWith(std::exception_ptr Failure) {
    {
        const std::lock_guard Hold(Lock);
        if (Error == 0 && !Shorter && !FeedFailure)
            FeedFailure = std::move(Failure);
        Trouble = true;
    }
    Changed.notify_all();
}

void TPieceHasher::Troubles() const {
    const std::lock_guard Hold(Lock);
    if (FeedFailure)
        std::rethrow_exception(FeedFailure);
    if (Shorter)
        throw EParvoxError(ChangedMessage.empty() ? TextWith(txtInputChanged, {ErrorName})
                                                  : ChangedMessage);
    throw EInOutError(Error != 0 ? Error : EIO, ErrorName);
}

TPieceHasher::TPieceDigest TPieceHasher::DigestOf(TByteFile& File,
                                                  const std::function<void()>& Between) {
    const auto Buffer = std::make_unique<uint8_t[]>(ReadSize);
    TDigester Digest(TAlgorithm::Sha256);
    for (;;) {
        const int32_t Got = File.BlockRead(Buffer.get(), static_cast<int32_t>(ReadSize));
        Digest.Add(Buffer.get(), static_cast<size_t>(Got));
        Between();
        if (Got < static_cast<int32_t>(ReadSize))
            return Digest.FinalPiece();
    }
}

void TPieceHasher::Hash(size_t Slot, TRole Role, TAlgorithm Algorithm, size_t FirstPiece,
                        size_t Step) {
    const bool EachPiece = Role == TRole::EachPiece;
    // A failure to allocate ends the thread as a failed read would, never the program.
    try {
        const auto Buffer = std::make_unique<uint8_t[]>(ReadSize);
        TDigester All(Algorithm);
        for (size_t Index = FirstPiece;; Index += Step) {
            // A thread that waits for a piece of its own is behind in nothing.
            if (Step > 1)
                Progress[Slot].store(INT64_MAX, std::memory_order_release);
            if (!Await(Index))
                break;
            TDigester One(Algorithm);
            TDigester& Digest = EachPiece ? One : All;
            int64_t Read = 0;
            TReach Reach{0, false};
            const TPiece Part = [&] {
                const std::lock_guard Hold(Lock);
                return Parts[Index - First];
            }();
            if (Step > 1)
                Hashed(Slot, Part.Start);
            while ((Reach = this->Reach(Index, Read)).End >= 0 && Read < Reach.End) {
                const auto Want =
                    static_cast<size_t>(std::min<int64_t>(Reach.End - Read, ReadSize));
                const ssize_t Got = Retried(
                    [&] { return ::pread(Part.Fd, Buffer.get(), Want, Part.FileOffset + Read); });
                if (Got <= 0) {
                    Fail(Got < 0 ? errno : 0, Part.Name, Got == 0);
                    break;
                }
                if (Role == TRole::Feed)
                    Feed.Bytes(Index, Buffer.get(), static_cast<size_t>(Got));
                else
                    Digest.Add(Buffer.get(), static_cast<size_t>(Got));
                Read += Got;
                Hashed(Slot, Part.Start + Read);
            }
            Done(Index);
            if (Reach.End < 0 || Trouble.load())
                break;
            if (Role == TRole::Feed && Feed.PieceEnd)
                Feed.PieceEnd(Index);
            if (EachPiece) {
                const TPieceDigest Piece = One.FinalPiece();
                const std::lock_guard Hold(Lock);
                Pieces.push_back(Piece);
                PiecesDone.fetch_add(1, std::memory_order_release);
            }
        }
        if (Role == TRole::Whole && !Trouble.load()) {
            const TDigest Digest = All.Final();
            const std::lock_guard Hold(Lock);
            Whole = Digest;
        }
    } catch (const std::bad_alloc&) {
        Fail(ENOMEM, {}, false);
    } catch (...) {
        FailWith(std::current_exception());
    }
    {
        const std::lock_guard Hold(Lock);
        ++Ends;
    }
    Changed.notify_all();
}
