// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The common base of the four engines: the base file name and the piece
// naming scheme, the join output name, the two file handles and the
// progress report.
#pragma once

#include "classByteFile.h"
#include "classPieceHasher.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Data moves in blocks of this many bytes, with one progress report per block.
inline constexpr int32_t BlockSize = 1024;

using TProgressEvent = std::function<void(const std::string& Status, long double Fraction)>;

// How far a run has come, for a reader on another thread: the engine sets the
// counts as it goes, and the reader takes them whenever it likes.
struct TProgressCounts {
    enum TPhase : int {
        Copying,  // the bytes go through; Done of Total are done
        Storing,  // all went through, and the outputs are being stored on their medium
        Removing, // the pieces of an earlier split are being removed
        Checking, // the copy waits for the digests of what it copied
        // The recovery data: computed from the input once more (Done of
        // Total of a pass), rebuilt for the Subject's pieces, and the joined
        // file checked once what was rebuilt is in it.
        Recovering,
        Rebuilding,
        Verifying,
    };
    // Bytes done: read, and for an output written and at most one transfer
    // ahead of what its medium holds. A join may count a little past Total.
    std::atomic<int64_t> Done = 0;
    std::atomic<int64_t> Total = 0;
    // The piece being written or read, of Pieces; 0 of 0 for a run without pieces.
    std::atomic<int64_t> Piece = 0;
    std::atomic<int64_t> Pieces = 0;
    std::atomic<int> Phase = Copying;

    // Back to the start, before a run begins.
    void Clear() noexcept;
    // What the phase works on, where it names something: "film.mkv.003", "pass 2 of 3".
    void SetSubject(std::string Text);
    [[nodiscard]] std::string Subject() const;
    // The share done, from 0 to 1; 1 once the outputs are being stored.
    [[nodiscard]] double Fraction() const noexcept;
    // The folder that the piece comes from, where a set's pieces lie in
    // several; empty otherwise. Set once a piece, under a lock.
    void SetSource(const std::string& Folder);
    [[nodiscard]] std::string Source() const;

private:
    // Guards the two texts.
    mutable std::mutex TextLock;
    std::string SubjectText;
    std::string SourceFolder;
};

class TParvoxBase {
public:
    TByteFile InputFile;
    TByteFile OutputFile;
    std::string BaseFileName;
    // The folder that a split writes its pieces to and a join its file; empty
    // for the folder of the base file name.
    std::string OutputFolder;
    TProgressEvent OnProgress;
    // Where the engine keeps the counts of its run, besides its reports; none when unset.
    TProgressCounts* Counts = nullptr;

    void SetBaseFileName(const std::string& Name);
    [[nodiscard]] std::string GetBaseFileName() const;
    // True only for the empty string; a name of blanks is not empty here.
    [[nodiscard]] bool BaseFileNameEmpty() const;
    // Fails with "Empty basefile name" when the name is empty or blank.
    void CheckBaseFileName() const;
    // ".001" for 1, ".1000" for 1000: at least three digits, nothing cut.
    [[nodiscard]] static std::string PieceExtension(int64_t PieceNumber);
    // The number of the piece of Base that Name is ("film.mkv.012" of
    // "film.mkv" is 12), or 0 when it is none.
    [[nodiscard]] static int64_t PieceNumberOf(const std::string& Name, const std::string& Base);
    [[nodiscard]] std::string PieceFileName(int64_t PieceNumber) const;
    [[nodiscard]] bool PieceExists(int64_t PieceNumber) const;
    // The number of pieces, the unbroken run from 1 on: of the base file
    // name, or of the pieces named from Base.
    [[nodiscard]] int64_t PieceCount() const { return PieceCount(BaseFileName); }
    [[nodiscard]] int64_t PieceCount(const std::string& Base) const;
    [[nodiscard]] bool BaseFileExists() const;
    void CheckPieceExtension(int64_t PieceNumber, const std::string& FileName) const;
    // Takes the base name from the name of a piece; the base stays as it was
    // when the name does not carry that piece's extension.
    void SetPieceFileName(int64_t PieceNumber, const std::string& FileName);
    // The base file name moved into OutputFolder: the name that outputs are
    // made from, in the folder of the base file name when none is chosen.
    [[nodiscard]] std::string OutputBaseName() const;
    // The output base name, or the output base name with ".joined" when
    // something exists under it.
    [[nodiscard]] std::string JoinedFileName() const;
    // Asks the run under way to end at its next progress report, before its
    // next transfer, or once its final storing returns: it removes the files
    // that it wrote and raises EParvoxStopped. A request holds until a run
    // takes it or it is withdrawn.
    void RequestStop() noexcept { StopRequested = true; }
    void WithdrawStop() noexcept { StopRequested = false; }

protected:
    // Visits piece 1, 2, 3, ... up to the first number whose piece does not
    // exist, each checked for right before its visit: the pieces named from
    // Base, or from the base file name.
    void ForEachPiece(const std::function<void(int64_t Piece)>& Visit) const {
        ForEachPiece(BaseFileName, Visit);
    }
    void ForEachPiece(const std::string& Base,
                      const std::function<void(int64_t Piece)>& Visit) const;
    // The progress protocol of a run over blocks of Total bytes in all: a
    // report of the bytes done before each block, then Step with the number
    // of blocks done including this one, until Step says that no block
    // follows. Blocks counts on from where it stands, across several files.
    template <typename TStep>
    void ForEachBlock(int64_t Total, int64_t& Blocks, TStep&& Step) const {
        do
            ReportProgress(Blocks * BlockSize, Total);
        while (Step(++Blocks));
    }
    // The run has come to piece Piece of Pieces, from the folder From where
    // its set lies in several.
    void ReportPiece(int64_t Piece, int64_t Pieces, const std::string& From = {}) const;
    // The run has come to Phase, which works on Subject where it names one.
    void ReportPhase(TProgressCounts::TPhase Phase, const std::string& Subject = {}) const;
    // Sets the counts of a phase that counts its own bytes.
    void ReportBytes(int64_t Done, int64_t Total) const noexcept;

    // Ends the run here with EParvoxStopped when a stop has been asked for.
    void EndIfStopRequested() const;
    // Whether a stop has been asked for, without taking the request: for
    // work on other threads, which asks between its steps.
    [[nodiscard]] bool StopPending() const noexcept {
        return StopRequested.load(std::memory_order_relaxed);
    }
    // Before the next block: while the digests are too far behind the copy,
    // waits for them in Phase, and ends the run within a moment of a stop.
    // With All, until they have read all that was copied, and let go of its files.
    void KeepUp(TPieceHasher& Hasher, TProgressCounts::TPhase Phase = TProgressCounts::Checking,
                bool All = false) const;
    // Once the copy has ended: waits for the rest of the digests, as KeepUp.
    void FinishDigests(TPieceHasher& Hasher,
                       TProgressCounts::TPhase Phase = TProgressCounts::Checking) const;
    // What Undo could not remove.
    using TLeft = std::vector<std::string>;
    // Runs Run; when it fails or stops, Undo removes what the run wrote, so
    // that nothing incomplete passes for whole, going on past a removal that
    // fails, and the run ends with its own error, with the names of what Undo
    // left. An output refused for its size (EFBIG, from a file system that
    // shows its limit only while it is written) ends with TooLarge, the
    // message of the refusal before the run, and one refused for want of
    // room (or by a medium that says no more than that it refuses) with Full.
    void UndoneOnFailure(const std::function<void()>& Run, const std::function<void(TLeft&)>& Undo,
                         const std::string& TooLarge, const std::string& Full) const;
    // Removes Name, or adds it to Left when it is still there.
    static void RemoveOrLeave(const std::string& Name, TLeft& Left) noexcept;
    // The same for what the run wrote under Name, unless Name has come to
    // lead to another file than Written since.
    static void RemoveWrittenOrLeave(const std::string& Name, const TFileId& Written,
                                     TLeft& Left) noexcept;

private:
    // Reports Done of Total bytes through OnProgress, an empty run 0, and
    // ends the run when a stop has been asked for, during the report too.
    void ReportProgress(int64_t Done, int64_t Total) const;

    // Set from the progress report, which lets the user interface run.
    mutable std::atomic<bool> StopRequested = false;
};

// The part of a file name from its last period on, or "" when a "/" follows that period.
[[nodiscard]] std::string FileExtension(const std::string& FileName);
