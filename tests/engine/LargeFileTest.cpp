// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Files of gigabytes, as sparse files: a few marker bytes far apart and holes
// elsewhere, on file systems that hold them without the room or the time
// that their size would take. Skipped where such a file system is missing.
#include "TestFiles.h"

#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classParvoxErrors.h"
#include "classSplit.h"
#include "txt.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int64_t GiB = int64_t{1} << 30;

// A sparse file of Size bytes whose bytes at the offsets of Markers are 201, 202, ...
void WriteSparse(const std::string& Name, int64_t Size, const std::vector<int64_t>& Markers = {}) {
    const int Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(Fd, 0) << Name;
    ASSERT_EQ(::ftruncate(Fd, Size), 0) << Name;
    for (size_t Index = 0; Index < Markers.size(); ++Index) {
        const auto Byte = static_cast<uint8_t>(201 + Index);
        ASSERT_EQ(::pwrite(Fd, &Byte, 1, Markers[Index]), 1) << Name;
    }
    ::close(Fd);
}

// The bytes other than zero, by offset from Shift on: what a whole read
// would find beside zeros, found without reading the holes.
void AddNonZeroBytes(const std::string& Name, int64_t Shift, std::map<int64_t, uint8_t>& Found) {
    const int Fd = ::open(Name.c_str(), O_RDONLY);
    ASSERT_GE(Fd, 0) << Name;
    Bytes Chunk(1 << 20);
    for (off_t Data = 0; (Data = ::lseek(Fd, Data, SEEK_DATA)) >= 0;) {
        const off_t Hole = ::lseek(Fd, Data, SEEK_HOLE);
        for (; Data < Hole; Data += static_cast<off_t>(Chunk.size())) {
            const ssize_t Read = ::pread(Fd, Chunk.data(), Chunk.size(), Data);
            ASSERT_GT(Read, 0) << Name;
            for (ssize_t At = 0; At < Read; ++At)
                if (Chunk[static_cast<size_t>(At)] != 0)
                    Found[Shift + Data + At] = Chunk[static_cast<size_t>(At)];
        }
        Data = Hole;
    }
    ::close(Fd);
}

[[nodiscard]] std::map<int64_t, uint8_t> NonZeroBytes(const std::string& Name) {
    std::map<int64_t, uint8_t> Found;
    AddNonZeroBytes(Name, 0, Found);
    return Found;
}

class LargeFileTest : public ScratchTest {
protected:
    void TearDown() override {
        (void)Loop("unmount");
        ScratchTest::TearDown();
    }

    // Mounts the folder to work in: a "tmpfs" in memory, where holes read
    // fast ("tmpfs 2M" for one that holds 2 MiB), or an image of "xfs" or "ext2-1k" on a loop
    // device; false where the machine cannot have it. One kind at a time.
    [[nodiscard]] bool Use(const std::string& Kind) {
        (void)Loop("unmount");
        const int Status = Loop("mount", Kind);
        EXPECT_TRUE(Status == 0 || Status == 77) << Status;
        return Status == 0;
    }

    [[nodiscard]] std::string At(const std::string& Name) const {
        return (Dir / "mnt" / Name).string();
    }

private:
    int Loop(const std::string& Command, const std::string& Kind = "") const {
        const std::string Line = LOOPFS_SCRIPT " " + Command + " " + Dir.string() + " " + Kind;
        const int Status = std::system(Line.c_str());
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : 1;
    }
};

// A 4.5 GiB film into pieces that FAT32 takes, and into the default pieces,
// more than 999 of them; the pieces join back to the same bytes.
TEST_F(LargeFileTest, SplitAndJoinPastFourGiB) {
    if (!Use("xfs"))
        GTEST_SKIP() << "no xfs on a loop device here";
    constexpr int64_t Size = 9 * GiB / 2 + 12345;
    const std::string Film = At("film");
    WriteSparse(Film, Size,
                {2 * GiB - 1, 2 * GiB, 4'096'000'000 - 1, 4'096'000'000, 4 * GiB + 5, Size - 1});
    const auto Source = NonZeroBytes(Film);
    ASSERT_EQ(Source.size(), 6U);
    for (const int64_t Blocks : {4'000'000, 1400}) {
        SCOPED_TRACE(Blocks);
        TSplit Split;
        Split.SetBaseFileName(Film);
        Split.SplitSize = Blocks;
        ASSERT_EQ(MessageOf([&] { Split.Execute(); }), "(no error)");
        const int64_t PieceBytes = Blocks * 1024;
        std::vector<uintmax_t> Expected((Size + PieceBytes - 1) / PieceBytes, PieceBytes);
        Expected.back() = Size - (Expected.size() - 1) * PieceBytes;
        ASSERT_EQ(PieceSizes(Film), Expected);
        std::map<int64_t, uint8_t> InPieces;
        for (size_t Piece = 0; Piece < Expected.size(); ++Piece)
            AddNonZeroBytes(PieceName(Film, static_cast<int>(Piece + 1)),
                            static_cast<int64_t>(Piece) * PieceBytes, InPieces);
        EXPECT_EQ(InPieces, Source);

        TJoin Join;
        Join.SetPieceFileName(1, PieceName(Film, 1));
        ASSERT_EQ(MessageOf([&] { Join.Execute(); }), "(no error)");
        EXPECT_EQ(fs::file_size(Film + ".joined"), static_cast<uintmax_t>(Size));
        EXPECT_EQ(NonZeroBytes(Film + ".joined"), Source);
    }
}

// Where the copy shares blocks it takes no time, and the digests of the
// checksum file, read from the medium, fall behind it: the copy waits for
// them, says so, and hears a stop at once.
TEST_F(LargeFileTest, StopIsHeardWhileTheDigestsCatchUp) {
    if (!Use("xfs"))
        GTEST_SKIP() << "no xfs on a loop device here";
    const std::string Film = At("film");
    {
        std::ofstream Out(Film, std::ios::binary);
        const Bytes Chunk = PatternBytes(1 << 20);
        for (int Chunks = 0; Chunks < 1024; ++Chunks)
            Out.write(reinterpret_cast<const char*>(Chunk.data()), Chunk.size());
    }
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
    TSplit Split;
    Split.SetBaseFileName(Film);
    Split.SplitSize = 100'000;
    Split.WriteChecksumFile = true;
    TProgressCounts Counts;
    Split.Counts = &Counts;
    std::atomic<bool> Ended = false;
    std::chrono::steady_clock::time_point Asked;
    std::thread Watcher([&] {
        while (!Ended && Counts.Phase != TProgressCounts::Checking)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Asked = std::chrono::steady_clock::now();
        Split.RequestStop();
    });
    const std::string Message = MessageOf([&] { Split.Execute(); });
    const auto Took = std::chrono::steady_clock::now() - Asked;
    Ended = true;
    Watcher.join();
    EXPECT_EQ(Message, "Stopped");
    EXPECT_LT(Took, std::chrono::milliseconds(500));
    EXPECT_EQ(PieceSizes(Film), std::vector<uintmax_t>{});
}

TEST_F(LargeFileTest, ChecksumAndCompareReachPastFourGiB) {
    if (!Use("tmpfs"))
        GTEST_SKIP() << "no tmpfs here";
    constexpr int64_t Size = 9 * GiB / 2;
    WriteSparse(At("a"), Size, {2 * GiB - 1, 2 * GiB, 4 * GiB + 5, Size - 1});
    WriteSparse(At("b"), Size, {2 * GiB - 1, 2 * GiB, 4 * GiB + 6, Size - 1});
    TChecksum Checksum;
    Checksum.FileName = At("a");
    EXPECT_EQ(Checksum.Execute(), 201 + 202 + 203 + 204);
    TCompare Compare;
    Compare.FileName1 = At("a");
    Compare.FileName2 = At("b");
    Compare.Execute();
    EXPECT_EQ(Compare.CompareResult, 4 * GiB + 5);
}

// A join whose output the file system of its folder cannot hold fails before
// it creates or empties the output; one that fits gets to its copy.
TEST_F(LargeFileTest, JoinBeyondTheLargestFileOfItsDriveIsRefusedBeforeItWrites) {
    struct {
        std::string Kind;
        std::vector<int64_t> Pieces;
        bool Refused;
        // The pieces on the disk, the output into the folder there.
        bool Elsewhere = false;
    } const Rows[] = {
        // The C library says 32 bits for tmpfs, which holds far more.
        {"tmpfs", {3 * GiB, 3 * GiB}, false},
        {"tmpfs", {std::numeric_limits<int64_t>::max(), 1}, true},
        // The largest file here is 17,247,252,480 bytes: a stand-in for FAT's 4 GiB - 1.
        {"ext2-1k", {8 * GiB, 8 * GiB}, false},
        {"ext2-1k", {8 * GiB, 9 * GiB}, true},
        {"ext2-1k", {8 * GiB, 8 * GiB}, false, true},
        {"ext2-1k", {8 * GiB, 9 * GiB}, true, true},
    };
    for (const std::string Kind : {"tmpfs", "ext2-1k"}) {
        if (!Use(Kind))
            GTEST_SKIP() << "no " << Kind << " here";
        for (const auto& Row : Rows) {
            if (Row.Kind != Kind)
                continue;
            SCOPED_TRACE(Kind + " " + std::to_string(Row.Pieces[1]) + " " +
                         std::to_string(static_cast<int>(Row.Elsewhere)));
            const std::string Film = At("film");
            const Bytes Earlier = PatternBytes(100);
            WriteFile(Film, {});
            WriteFile(Film + ".joined", Earlier);
            const std::string Pieces = Row.Elsewhere ? Path("film") : Film;
            for (size_t Piece = 0; Piece < Row.Pieces.size(); ++Piece)
                WriteSparse(PieceName(Pieces, static_cast<int>(Piece + 1)), Row.Pieces[Piece]);
            TJoin Join;
            Join.SetBaseFileName(Pieces);
            Join.OutputFolder = Row.Elsewhere ? At("") : "";
            Join.OnProgress = [](const std::string&, long double) {
                throw EParvoxError("copying");
            };
            EXPECT_EQ(MessageOf([&] { Join.Execute(); }),
                      Row.Refused ? txtOutputTooLarge : "copying");
            EXPECT_EQ(ReadFile(Film + ".joined"), Earlier);

            // A split into pieces of the whole set's size, from a file on the disk.
            if (Kind != "ext2-1k")
                continue;
            WriteSparse(Path("whole"), Row.Pieces[0] + Row.Pieces[1]);
            fs::remove(Film);
            fs::create_symlink(Path("whole"), Film);
            TSplit Split;
            Split.SetBaseFileName(Film);
            Split.SplitSize = std::numeric_limits<int64_t>::max() / 1024;
            Split.OnProgress = Join.OnProgress;
            EXPECT_EQ(MessageOf([&] { Split.Execute(); }),
                      Row.Refused ? txtPieceTooLarge : "copying");
            // A refused split leaves the earlier set, the pieces just joined, as it was.
            EXPECT_EQ(fs::exists(PieceName(Film, 1)), Row.Refused && !Row.Elsewhere);
        }
    }
}

// Split and join with their output on another file system, a small tmpfs:
// an earlier set there, the way back, a stop, a folder too full before the
// run and one that fills during it, and a piece name there that leads to the
// input. Each row: the start of the message, and the sizes of the pieces
// left in the folder where they do not depend on clean-up.
TEST_F(LargeFileTest, OutputIntoAFolderOnAnotherFileSystem) {
    if (!Use("tmpfs 4M"))
        GTEST_SKIP() << "no tmpfs here";
    const Bytes Whole = PatternBytes(1'500'000);
    WriteFile(Path("film"), Whole);
    fs::create_directory(Path("in"));
    TSplit Split;
    Split.SplitSize = 1000;
    TJoin Join;
    int StopAt = 0;
    int FillAt = 0;
    Split.OnProgress = [&](const std::string&, long double) {
        if (--StopAt == 0)
            Split.RequestStop();
        // Another program takes the rest of the room.
        if (--FillAt == 0) {
            const int Fd = ::open(At("ballast").c_str(), O_WRONLY | O_CREAT, 0600);
            const Bytes Chunk(1 << 16);
            while (::write(Fd, Chunk.data(), Chunk.size()) > 0) {
            }
            ::close(Fd);
        }
    };
    using TSizes = std::optional<std::vector<uintmax_t>>;
    const TSizes Set = std::vector<uintmax_t>{1'024'000, 476'000};
    const struct {
        const char* Name;
        std::function<void()> Prepare;
        bool Joins;
        std::string Base, Folder;
        int Stop;
        std::string Message;
        TSizes Left;
    } Rows[] = {
        {"an earlier set replaced",
         [&] {
             for (int Piece = 1; Piece <= 5; ++Piece)
                 WriteFile(PieceName(At("film"), Piece), PatternBytes(10));
         },
         false, Path("film"), At(""), 0, "(no error)", Set},
        {"joined onto the disk, beside the file of that name",
         {},
         true,
         At("film"),
         Dir.string(),
         0,
         "(no error)",
         Set},
        {"a split stopped", [&] { EXPECT_EQ(ReadFile(Path("film.joined")), Whole); }, false,
         Path("film"), At(""), 3, "Stopped", std::vector<uintmax_t>{}},
        {"a folder too full", [&] { WriteFile(At("ballast"), Bytes(3'000'000)); }, false,
         Path("film"), At(""), 0,
         "The pieces need 1.5 MB; " + At("").substr(0, At("").size() - 1) + " has 1.2 MB free.",
         std::vector<uintmax_t>{}},
        {"a folder that fills during the run",
         [&] {
             fs::remove(At("ballast"));
             FillAt = 3;
         },
         false, Path("film"), At(""), 0, txtNotEnoughSpace, std::vector<uintmax_t>{}},
        {"a piece name there that leads to the input",
         [&] {
             fs::remove(At("ballast"));
             WriteFile(At("film.002"), Whole);
             fs::create_symlink(At("film.002"), Path("in/film"));
         },
         false, Path("in/film"), At(""), 0, "film.002 is in the way", std::nullopt},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Name);
        if (Row.Prepare)
            Row.Prepare();
        TParvoxBase& Engine = Row.Joins ? static_cast<TParvoxBase&>(Join) : Split;
        Engine.SetBaseFileName(Row.Base);
        Engine.OutputFolder = Row.Folder;
        StopAt = Row.Stop;
        const std::string Message =
            MessageOf([&] { Row.Joins ? Join.Execute() : Split.Execute(); });
        EXPECT_EQ(Message.substr(0, Row.Message.size()), Row.Message) << Message;
        if (Row.Left) {
            EXPECT_EQ(PieceSizes(At("film")), *Row.Left);
        }
    }
    EXPECT_EQ(ReadFile(At("film.002")), Whole);
    EXPECT_FALSE(fs::exists(Path("film.001")) || fs::exists(Path("in/film.001")));
}

} // namespace
