// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The digests of what a split or join copies, taken in the same pass: the
// copy runs in the kernel and the bytes never reach the program, so threads
// of their own read them again just behind it, from the cached pages of the
// file the copy read, not from its medium. One thread takes a SHA-256 digest
// of each piece, another one of the whole file (or its CRC-32), so the
// copying thread waits for neither where the machine has more cores.
#pragma once

#include "classByteFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPieceHasher {
public:
    enum class TAlgorithm { Sha256, Crc32 };
    // 32 bytes of SHA-256, or the 4 bytes of a CRC-32, most significant first.
    using TDigest = std::vector<uint8_t>;

    TPieceHasher() = default;
    TPieceHasher(const TPieceHasher&) = delete;
    TPieceHasher& operator=(const TPieceHasher&) = delete;
    ~TPieceHasher() { Abandon(); }

    // Begins the digests of a run: a SHA-256 of each piece when EachPiece,
    // and one of the whole with Whole. Expected holds the digests that the
    // pieces should have, if known: the first piece that differs ends the
    // work, and Check names it.
    void Start(bool EachPiece, TAlgorithm Whole, std::vector<TDigest> Expected = {});
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
    void EndPiece();
    // Raises a failure of the threads so far (a read that failed, a file that
    // is shorter than what the copy took from it); returns the number of the
    // first piece that differs from its expected digest, or 0.
    [[nodiscard]] int64_t Check() const {
        return Trouble.load(std::memory_order_acquire) ? Troubles() : 0;
    }
    // Waits for the digests of everything copied, then as Check.
    [[nodiscard]] int64_t Finish();
    // Ends the threads at once and forgets the run; for a run that fails or stops.
    void Abandon() noexcept;

    [[nodiscard]] const std::vector<TDigest>& PieceDigests() const { return Pieces; }
    [[nodiscard]] const TDigest& WholeDigest() const { return Whole; }
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

    // The body of a thread: each piece in turn, a digest of each or of all.
    void Hash(bool EachPiece, TAlgorithm Algorithm);
    // Waits until more than Read bytes of piece Index are copied or the piece
    // has ended; an End below 0 says that the run was abandoned.
    [[nodiscard]] TReach Reach(size_t Index, int64_t Read);
    // Waits for piece Index to begin; false when no piece follows.
    [[nodiscard]] bool Await(size_t Index);
    void Done(size_t Index);
    void Fail(int Error, const std::string& Name, bool Shorter);
    void Wake(int64_t Done);
    [[nodiscard]] int64_t Troubles() const;
    void Join() noexcept;

    // The bytes copied between two wake-ups of the threads: their lock is
    // taken once per WakeStep, not once per block.
    static constexpr int64_t WakeStep = 1 << 20;

    bool Started = false;
    int64_t Told = 0;
    std::atomic<int64_t> Copied = 0;
    std::atomic<bool> Trouble = false;
    mutable std::mutex Lock;
    std::condition_variable Changed;
    std::vector<TPiece> Parts;
    bool Ended = false;
    bool Abandoned = false;
    int Readers = 0;
    // The pieces whose handles are open, and how many may be.
    int Unread = 0;
    static constexpr int MostUnread = 64;
    std::vector<TDigest> Expected;
    int64_t Damaged = 0;
    int Error = 0;
    std::string ErrorName;
    bool Shorter = false;
    std::vector<TDigest> Pieces;
    TDigest Whole;
    std::vector<std::thread> Threads;
};
