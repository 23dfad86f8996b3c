// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The checksum file of a set: what sha256sum makes of it, and what a join
// does with the set once carrying has changed it.
#include "TestFiles.h"

#include "classJoin.h"
#include "classSplit.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <zlib.h>

namespace {

class PieceSumsTest : public ScratchTest {};

std::string Damaged(const std::string& Piece) {
    return Piece + " is damaged: it differs from the piece that was split (film.mkv.sha256). "
                   "Copy it again and join once more.";
}

TEST_F(PieceSumsTest, ChecksumFileDecidesTheJoin) {
    const Bytes Data = PatternBytes(7000);
    const std::string Film = Path("film.mkv");
    const std::string Sums = Film + ".sha256";
    const auto Piece = [&Film](int Number) { return PieceName(Film, Number); };
    const auto Text = [](const std::string& Line) { return Bytes(Line.begin(), Line.end()); };
    const auto Crc = [&](uLong Crc, int Size) {
        fs::remove(Sums);
        char Line[80];
        std::snprintf(Line, sizeof Line, "filename=film.mkv\r\nsize=%d\r\ncrc32=%08lX\r\n", Size,
                      Crc);
        WriteFile(Film + ".crc", Text(Line));
    };
    const uLong Right = crc32(0, Data.data(), static_cast<uInt>(Data.size()));
    const std::string Digest(64, 'a');
    const std::string Unreadable = "film.mkv.sha256 is not a checksum file that Parvox can read. "
                                   "Remove it to join the pieces without a check.";
    TSplit Split;
    Split.SetBaseFileName(Film);
    Split.SplitSize = 2;
    const struct {
        const char* Set;
        std::function<void()> Change;
        std::string Message;
        std::string Summary = "";
    } Rows[] = {
        {"complete",
         [&] {
             EXPECT_EQ(
                 std::system(
                     ("cd " + Dir.string() + " && sha256sum --quiet -c film.mkv.sha256").c_str()),
                 0);
         },
         "(no error)", "All 4 pieces match film.mkv.sha256."},
        {"last piece missing", [&] { fs::remove(Piece(4)); },
         "film.mkv.004 is missing: film.mkv.sha256 lists it. Copy it beside the other pieces and "
         "join once more."},
        {"an extra piece", [&] { WriteFile(Piece(5), {1}); },
         "film.mkv.005 is not one of the pieces that film.mkv.sha256 lists. Move it away and join "
         "once more."},
        {"a byte changed",
         [&] {
             Bytes Changed = ReadFile(Piece(2));
             Changed[1500] ^= 1;
             WriteFile(Piece(2), Changed);
         },
         Damaged("film.mkv.002")},
        {"a piece one byte short", [&] { fs::resize_file(Piece(3), 2047); },
         Damaged("film.mkv.003")},
        {"two pieces swapped",
         [&] {
             fs::rename(Piece(1), Path("x"));
             fs::rename(Piece(2), Piece(1));
             fs::rename(Path("x"), Piece(2));
         },
         "film.mkv.001 holds piece 2 of film.mkv.sha256 (the pieces were renamed or swapped)"},
        {"no checksum file", [&] { fs::remove(Sums); }, "(no error)", ""},
        {".crc right", [&] { Crc(Right, 7000); }, "(no error)",
         "The joined file matches film.mkv.crc."},
        {".crc wrong", [&] { Crc(Right ^ 1, 7000); },
         "The joined file differs from the file that was split (film.mkv.crc): a piece is damaged. "
         "Copy the pieces again and join once more."},
        {".crc of another size", [&] { Crc(Right, 7001); },
         "The pieces hold 7000 bytes where film.mkv.crc gives 7001: a piece is missing, short or "
         "too long."},
        {"junk", [&] { WriteFile(Sums, PatternBytes(300)); }, Unreadable},
        {"a name with a folder", [&] { WriteFile(Sums, Text(Digest + "  ../film.mkv.001\n")); },
         Unreadable},
        {"far more lines than pieces",
         [&] {
             std::string Lines;
             for (int Number = 1000; Number < 6000; ++Number)
                 Lines += Digest + "  film.mkv." + std::to_string(Number) + "\n";
             WriteFile(Sums, Text(Lines));
         },
         Unreadable},
        {"a pipe",
         [&] {
             fs::remove(Sums);
             (void)::mkfifo(Sums.c_str(), 0600);
         },
         Unreadable},
        // The split leaves a .crc that it did not write; it checks the join.
        {".crc kept by a split without a checksum file",
         [&] {
             Crc(Right, 7000);
             Split.WriteChecksumFile = false;
             Split.Execute();
             EXPECT_TRUE(fs::exists(Film + ".crc"));
         },
         "(no error)", "The joined file matches film.mkv.crc."},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Set);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        WriteFile(Film, Data);
        Split.WriteChecksumFile = true;
        Split.Execute();
        Row.Change();
        TJoin Join;
        Join.SetBaseFileName(Film);
        EXPECT_EQ(MessageOf([&] { Join.Execute(); }), Row.Message);
        EXPECT_EQ(Join.CheckSummary(), Row.Summary);
        // Only a join that ends well leaves its output.
        if (Row.Message == "(no error)")
            EXPECT_EQ(ReadFile(Film + ".joined"), Data);
        else
            EXPECT_FALSE(fs::exists(Film + ".joined"));
    }
}

} // namespace
