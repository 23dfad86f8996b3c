// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The digests of what a split or join copies, taken in the same pass: the
// copy runs in the kernel and the bytes never reach the program, so threads
// of their own read them again just behind it, from the cached pages of the
// file the copy read, not from its medium. One thread takes a digest of each
// piece, another one of the whole file (or its CRC-32), a third hands the
// bytes in order to work that needs them (the recovery data), so the
// copying thread waits for none where the machine has more cores. The
// digests stay at most MostBehind bytes behind the copy, and the threads keep
// nothing of a piece once they have read it: a run of millions of pieces
// holds no more than one of a few.
#pragma once

#include "classByteFile.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Work that takes the bytes copied themselves, on threads of its own:
// Bytes gets those of piece Piece (counted from 0) in order, and
// PieceEnd is called at each piece's end. With more than one thread,
// each takes every Threads-th piece, for work whose pieces stand alone.
// What they raise fails the run.
struct TCopyFeed {
    size_t Threads = 1;
    std::function<void(size_t Piece, const uint8_t* Bytes, size_t Count)> Bytes;
    std::function<void(size_t Piece)> PieceEnd;
};

class TPieceHasher {
public:
    enum class TAlgorithm { Sha256, Crc32, Md5 };
    // The whole file's digest: 32 bytes of SHA-256, or the 4 bytes of a
    // CRC-32, most significant first.
    using TDigest = std::vector<uint8_t>;
    // A piece's digest: SHA-256, or MD5 in the first 16 bytes and zeros.
    using TPieceDigest = std::array<uint8_t, 32>;
    using TFeed = TCopyFeed;
    // The most threads that a feed takes.
    static constexpr size_t MostFeedThreads = 4;

    // How far the digests may fall behind the copy. Where the file system
    // copies by sharing blocks the copy takes no time, and the digests would
    // otherwise be left minutes behind it.
    static constexpr int64_t MostBehind = int64_t{64} << 20;

    TPieceHasher() = default;
    TPieceHasher(const TPieceHasher&) = delete;
    TPieceHasher& operator=(const TPieceHasher&) = delete;
    ~TPieceHasher() { Abandon(); }

    // Begins the digests of a run: one of each piece with EachPiece (SHA-256
    // or MD5), one of the whole file with Whole, and Feed, each if given.
    // Changed is the message of a file that turns out shorter than what the
    // copy took from it; by default the one that names that file.
    void Start(std::optional<TAlgorithm> EachPiece, std::optional<TAlgorithm> Whole,
               std::string Changed = {}, TFeed Feed = {});
    [[nodiscard]] bool Running() const { return Started; }
    // The next piece begins; its bytes are read through a handle of its own
    // on File, the open file that the copy reads, from FileOffset on.
    void BeginPiece(const TByteFile& File, int64_t FileOffset);
    // Done bytes of the run, in all, are copied and may be read again.
    void Advance(int64_t Done) {
        Copied.store(Done, std::memory_order_release);
        if (Done - Told >= WakeStep)
            Wake(Done);
    }
    // Whether the digests are too far behind for the copy to go on: the
    // copy then waits with CatchUp.
    [[nodiscard]] bool Behind() const;
    void EndPiece();
    // No piece follows: the digests end with what was copied.
    void Finish();
    // Waits at most Wait until the digests are no longer behind, or, after
    // Finish, until they are all done; whether that came. It comes at once
    // on a failure, which Check raises. With All it waits until every piece
    // begun is read to its end, and its handle closed, so that the medium
    // that holds it may go.
    [[nodiscard]] bool CatchUp(std::chrono::milliseconds Wait, bool All = false);
    // Raises a failure of the threads so far: a read that failed, or a file
    // shorter than what the copy took from it.
    void Check() const {
        if (Trouble.load(std::memory_order_acquire))
            Troubles();
    }
    // Takes the digest of the next piece, in order, once it is done; false
    // while there is none.
    [[nodiscard]] bool NextDigest(TPieceDigest& Digest);
    // Ends the threads at once and forgets the run; for a run that fails or stops.
    void Abandon() noexcept;

    [[nodiscard]] const TDigest& WholeDigest() const { return Whole; }
    // The SHA-256 digest of File, open for reading, from where it stands to
    // its end, read on the calling thread; Between runs after each read, so
    // that a stop is heard.
    [[nodiscard]] static TPieceDigest DigestOf(TByteFile& File,
                                               const std::function<void()>& Between);
    // The bytes that the digests cover.
    [[nodiscard]] int64_t Total() const { return Copied.load(std::memory_order_acquire); }

private:
    struct TPiece {
        int Fd;
        int64_t FileOffset;
        // Where the piece starts in the run, and its length once it has ended.
        int64_t Start;
        int64_t Length;
        std::string Name;
        // The threads that have still to read it; the last one closes Fd.
        int Readers;
    };
    // What a thread may read of a piece: up to End, and whether that is its end.
    struct TReach {
        int64_t End;
        bool Ended;
    };

    // What thread Slot does with each piece: a digest of each, of all, or the feed.
    enum class TRole { EachPiece, Whole, Feed };
    // The body of thread Slot: each Step-th piece in turn from piece First.
    void Hash(size_t Slot, TRole Role, TAlgorithm Algorithm, size_t First, size_t Step);
    // Waits until more than Read bytes of piece Index are copied or the piece
    // has ended; an End below 0 says that the run was abandoned.
    [[nodiscard]] TReach Reach(size_t Index, int64_t Read);
    // Waits for piece Index to begin; false when no piece follows.
    [[nodiscard]] bool Await(size_t Index);
    // Thread Slot has read the run up to Done.
    void Hashed(size_t Slot, int64_t Done);
    void Done(size_t Index);
    void Fail(int Error, const std::string& Name, bool Shorter);
    // A failure of the feed's work, raised as it came.
    void FailWith(std::exception_ptr Failure);
    void Wake(int64_t Done);
    [[noreturn]] void Troubles() const;
    // The least of what the threads have read, in bytes of the run.
    [[nodiscard]] int64_t Slowest() const;
    void Join() noexcept;

    // The bytes copied between two wake-ups of the threads: their lock is
    // taken once per WakeStep, not once per block.
    static constexpr int64_t WakeStep = 1 << 20;
    // The pieces whose handles may be open at once.
    static constexpr int MostUnread = 64;

    bool Started = false;
    int64_t Told = 0;
    std::atomic<int64_t> Copied = 0;
    std::atomic<bool> Trouble = false;
    mutable std::mutex Lock;
    std::condition_variable Changed;
    // The pieces that a thread has still to read; the first is piece First.
    std::deque<TPiece> Parts;
    size_t First = 0;
    bool Ended = false;
    bool Abandoned = false;
    // The threads that read each piece, and the threads in all.
    int Readers = 0;
    size_t Slots = 0;
    std::atomic<int> Unread = 0;
    // What each thread has read, and how many have ended.
    std::array<std::atomic<int64_t>, 2 + MostFeedThreads> Progress{};
    size_t Ends = 0;
    // Set while the copy waits in CatchUp, so that the threads tell it of their progress.
    std::atomic<int> Waiting = 0;
    std::string ChangedMessage;
    int Error = 0;
    std::string ErrorName;
    bool Shorter = false;
    std::exception_ptr FeedFailure;
    TFeed Feed;
    // The digests of the pieces done and not yet taken.
    std::deque<TPieceDigest> Pieces;
    std::atomic<size_t> PiecesDone = 0;
    size_t PiecesTaken = 0;
    TDigest Whole;
    std::vector<std::thread> Threads;
};
