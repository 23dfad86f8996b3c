// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join engine: which pieces it takes, what it writes where, its progress
// reports, and what each failure leaves behind.
#include "EngineProbes.h"
#include "TestFiles.h"

#include "classJoin.h"
#include "classParvoxErrors.h"
#include "classSplit.h"
#include "txt.h"

#include <csignal>
#include <cstdlib>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class JoinTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        Base = Path("film.avi");
        Join.SetBaseFileName(Base);
    }

    // Writes the pieces name.001, name.002, ... and returns their concatenation.
    Bytes WritePieces(const std::vector<size_t>& Sizes) {
        Bytes Whole;
        for (size_t Index = 0; Index < Sizes.size(); ++Index) {
            const Bytes Piece = PatternBytes(Sizes[Index], static_cast<uint32_t>(Index + 7));
            WriteFile(Join.PieceFileName(static_cast<int32_t>(Index + 1)), Piece);
            Whole.insert(Whole.end(), Piece.begin(), Piece.end());
        }
        return Whole;
    }

    std::string Base;
    TJoin Join;
};

TEST_F(JoinTest, ConcatenatesPiecesAndCountsEveryReadAsAFullBlock) {
    const Bytes Whole = WritePieces({2500, 2500, 1000});
    TProgressLog Progress(Join);
    Join.Execute();
    EXPECT_EQ(ReadFile(Base), Whole);
    EXPECT_EQ(Progress.Fractions, FractionsOf({0, 1024, 2048, 3072, 4096, 5120, 6144}, 6000));
    EXPECT_GT(Progress.Fractions.back(), 1.0L);
    EXPECT_FALSE(Join.InputFile.IsOpen());
    EXPECT_FALSE(Join.OutputFile.IsOpen());
}

TEST_F(JoinTest, PieceOfWholeBlocksEndsWithAnEmptyRead) {
    const Bytes Whole = WritePieces({2048});
    TProgressLog Progress(Join);
    Join.Execute();
    EXPECT_EQ(ReadFile(Base), Whole);
    EXPECT_EQ(Progress.Fractions, (std::vector<long double>{0.0L, 0.5L, 1.0L}));
}

TEST_F(JoinTest, EmptyPiecesGiveAnEmptyOutputAndReportZero) {
    WritePieces({0, 0});
    TProgressLog Progress(Join);
    Join.Execute();
    EXPECT_TRUE(fs::exists(Base));
    EXPECT_EQ(fs::file_size(Base), 0U);
    EXPECT_EQ(Progress.Fractions, (std::vector<long double>{0.0L, 0.0L}));
}

TEST_F(JoinTest, StopsAtTheFirstGap) {
    const Bytes First = WritePieces({1500});
    WriteFile(Join.PieceFileName(3), PatternBytes(700));
    EXPECT_EQ(Join.TotalSize(), 1500);
    Join.Execute();
    EXPECT_EQ(ReadFile(Base), First);
}

TEST_F(JoinTest, MissingFirstPieceCreatesNoOutput) {
    WriteFile(Join.PieceFileName(2), PatternBytes(100));
    EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "File not found");
    EXPECT_FALSE(fs::exists(Base));
    EXPECT_FALSE(fs::exists(Base + ".joined"));
}

TEST_F(JoinTest, ExistingBaseSendsTheOutputToJoinedAndReplacesIt) {
    const Bytes Whole = WritePieces({3000, 10});
    const Bytes Original = PatternBytes(50, 99);
    WriteFile(Base, Original);
    WriteFile(Base + ".joined", PatternBytes(9000, 98));
    Join.Execute();
    EXPECT_EQ(ReadFile(Base), Original);
    EXPECT_EQ(ReadFile(Base + ".joined"), Whole);

    // The name is decided at each run: a second run keeps the first output.
    fs::remove(Base);
    Join.Execute();
    EXPECT_EQ(ReadFile(Base), Whole);
}

TEST_F(JoinTest, GoesOnPastPiece999) {
    const Bytes Whole = WritePieces(std::vector<size_t>(1001, 3));
    ASSERT_TRUE(fs::exists(Base + ".1001"));
    Join.Execute();
    EXPECT_EQ(ReadFile(Base), Whole);
}

TEST_F(JoinTest, SplitThenJoinGivesTheSourceBack) {
    constexpr int32_t PieceBlocks = 2;
    constexpr size_t Piece = PieceBlocks * 1024;
    for (const size_t Size : {size_t{0}, size_t{1}, size_t{1023}, size_t{1024}, size_t{1025}, Piece,
                              3 * Piece, 3 * Piece + 1, 3 * Piece - 1}) {
        const Bytes Source = PatternBytes(Size, static_cast<uint32_t>(Size));
        WriteFile(Base, Source);
        TSplit Split;
        Split.SetBaseFileName(Base);
        Split.SplitSize = PieceBlocks;
        Split.Execute();
        Join.Execute();
        EXPECT_EQ(ReadFile(Base + ".joined"), Source) << Size;
    }
}

TEST_F(JoinTest, BlankBaseNameFailsBeforeAnything) {
    Join.SetBaseFileName("  ");
    EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "Empty basefile name");
}

TEST_F(JoinTest, PiecesThatAreNotRegularFilesAreRefusedWithoutBlocking) {
    WritePieces({100});
    fs::create_directory(Join.PieceFileName(2));
    EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "I/O error 21");
    fs::remove(Join.PieceFileName(2));

    ASSERT_EQ(::mkfifo(Join.PieceFileName(2).c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "I/O error 22");
    EXPECT_FALSE(fs::exists(Base));
}

// An earlier output that is a link, to a device or to one of the pieces, is
// replaced by the joined file, never written through.
TEST_F(JoinTest, EarlierOutputThatIsALinkIsReplacedNotWrittenThrough) {
    const Bytes Whole = WritePieces({3000, 2000});
    WriteFile(Base, {});
    for (const std::string& Target : {std::string("/dev/full"), Join.PieceFileName(2)}) {
        fs::remove(Base + ".joined");
        fs::create_symlink(Target, Base + ".joined");
        EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "(no error)");
        EXPECT_FALSE(fs::is_symlink(Base + ".joined"));
        EXPECT_EQ(ReadFile(Base + ".joined"), Whole);
        EXPECT_EQ(ReadFile(Join.PieceFileName(2)), Bytes(Whole.begin() + 3000, Whole.end()));
        EXPECT_FALSE(Join.InputFile.IsOpen());
        EXPECT_FALSE(Join.OutputFile.IsOpen());
    }
}

// The output is no more readable or writable than the first piece, new or in place of another.
TEST_F(JoinTest, OutputTakesThePermissionsOfTheFirstPiece) {
    WritePieces({3000, 2000});
    const auto Private = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(Join.PieceFileName(1), Private);
    Join.Execute();
    EXPECT_EQ(fs::status(Base).permissions(), Private);
    WriteFile(Base + ".joined", {});
    fs::permissions(Base + ".joined", fs::perms::all);
    Join.Execute();
    EXPECT_EQ(fs::status(Base + ".joined").permissions(), Private);
}

// Read-only pieces give an output that their owner may write again: joins of
// them can be repeated, each one onto the output of the one before.
TEST_F(JoinTest, ReadOnlyPiecesCanBeJoinedAgainAndAgain) {
    const Bytes Whole = WritePieces({3000, 2000});
    fs::permissions(Dir, fs::perms::all);
    for (const int Piece : {1, 2}) {
        ASSERT_EQ(::chown(Join.PieceFileName(Piece).c_str(), 65534, 65534), 0);
        fs::permissions(Join.PieceFileName(Piece),
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    EXPECT_EQ(RunInChild([&] {
                  if (!BecomeNobody())
                      return 2;
                  for (int Run = 0; Run < 3; ++Run)
                      if (MessageOf([&] { Join.Execute(); }) != "(no error)")
                          return 10 + Run;
                  return 0;
              }),
              0);
    EXPECT_EQ(ReadFile(Base + ".joined"), Whole);
}

// Another user's file would hold data that user may read: it is left as it was.
TEST_F(JoinTest, OutputOwnedByAnotherUserIsRefusedUntouched) {
    WritePieces({3000});
    WriteFile(Base, {});
    WriteFile(Base + ".joined", {'o', 'l', 'd'});
    ASSERT_EQ(::chown((Base + ".joined").c_str(), 65534, 65534), 0);
    EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "I/O error 1");
    EXPECT_EQ(ReadFile(Base + ".joined"), (Bytes{'o', 'l', 'd'}));
}

// Joins in a child whose files may not grow past Limit bytes; returns 0 when
// the run fails with Expected and leaves no file open.
int JoinUnderSizeLimit(TJoin& Join, rlim_t Limit, const std::string& Expected) {
    return RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit FileSize{Limit, Limit};
        if (::setrlimit(RLIMIT_FSIZE, &FileSize) != 0)
            return 2;
        const bool Failed = MessageOf([&] { Join.Execute(); }) == Expected;
        return Failed && !Join.InputFile.IsOpen() && !Join.OutputFile.IsOpen() ? 0 : 1;
    });
}

// Blocks count from the start of each piece: a block refused at its first
// byte for its size gives the message of the refusal before the run, one
// cut inside gives the short write, whatever the size of the transfer that
// carried it. Either way no output is left.
TEST_F(JoinTest, SizeLimitGivesTheMessageOfTheBlockItFallsIn) {
    const struct {
        std::vector<size_t> Pieces;
        rlim_t Limit;
        const std::string& Message;
    } Cases[] = {{{3000}, 1500, txtDestinationFull},
                 {{3000}, 2048, txtOutputTooLarge},
                 {{2500, 2500}, 3524, txtOutputTooLarge},
                 {{2500, 2500}, 3072, txtDestinationFull},
                 {{3 << 20}, (1 << 20) + 1024, txtOutputTooLarge},
                 {{3 << 20}, (1 << 20) + 1000, txtDestinationFull}};
    for (const auto& Case : Cases) {
        (void)WritePieces(Case.Pieces);
        EXPECT_EQ(JoinUnderSizeLimit(Join, Case.Limit, Case.Message), 0) << Case.Limit;
        EXPECT_FALSE(fs::exists(Base));
    }
}

TEST_F(JoinTest, UnreadablePieceIsRefusedBeforeTheOutputExists) {
    WritePieces({100, 100});
    fs::permissions(Dir, fs::perms::owner_all | fs::perms::others_all);
    fs::permissions(Join.PieceFileName(2), fs::perms::owner_read);
    EXPECT_EQ(RunInChild([&] {
                  if (!BecomeNobody())
                      return 2;
                  return MessageOf([&] { Join.Execute(); }) == "I/O error 13" ? 0 : 1;
              }),
              0);
    EXPECT_FALSE(fs::exists(Base));
}

// A set spread over three folders, as over three sticks: film.001 with the
// checksum file in a, .002 and .003 in b, .004 in c. Each row changes that,
// runs the join from a with b and c given, and checks the message and what
// it read; no row writes anything into the pieces' folders.
TEST_F(ScratchTest, SpreadSetsAreJoinedWhereThePiecesLie) {
    const Bytes Data = PatternBytes(7000);
    const std::string A = Path("a"), B = Path("b"), C = Path("c");
    const auto Damage = [](const std::string& Name) {
        Bytes Piece = ReadFile(Name);
        Piece[100] ^= 1;
        WriteFile(Name, Piece);
    };
    TJoin Join;
    TProgressCounts Counts;
    std::set<std::string> Sources;
    std::vector<std::string> Asked;
    std::vector<std::string> Held;
    Join.Counts = &Counts;
    Join.OnProgress = [&](const std::string&, long double) { Sources.insert(Counts.Source()); };
    const auto Answer = [&](TPieceSources::TAnswer::TKind Kind) {
        Join.AskForPiece = [&, Kind](const TPieceSources::TQuestion& Question) {
            Asked.push_back(Question.Piece);
            // The pieces read so far are let go of: their medium may be taken out.
            for (const auto& Fd : fs::directory_iterator("/proc/self/fd"))
                if (std::error_code Error; fs::read_symlink(Fd, Error).string().starts_with(B))
                    Held.push_back(fs::read_symlink(Fd, Error).string());
            return TPieceSources::TAnswer{Kind, C};
        };
    };
    const struct {
        const char* Name;
        std::function<void()> Prepare;
        std::string Message;
        std::function<void()> After;
    } Rows[] = {
        {"three folders", [] {}, "(no error)",
         [&] {
             EXPECT_EQ(Join.CheckSummary(), "All 4 pieces match film.sha256.");
             EXPECT_EQ(Sources, (std::set<std::string>{A, B, C}));
         }},
        {"a piece missing everywhere", [&] { fs::remove(C + "/film.004"); },
         "film.004 is missing: film.sha256 lists it. Copy it beside the other pieces and join "
         "once more.",
         [] {}},
        {"two copies, one as the checksum file lists it",
         [&] {
             fs::copy_file(B + "/film.002", A + "/film.002");
             Damage(A + "/film.002");
         },
         "(no error)", [] {}},
        {"two copies that differ, no checksum file",
         [&] {
             fs::remove(A + "/film.sha256");
             fs::copy_file(B + "/film.002", A + "/film.002");
             Damage(A + "/film.002");
         },
         A + "/film.002 and " + B +
             "/film.002 differ, and Parvox cannot tell which of them is the piece. Move one of "
             "them away and join once more.",
         [] {}},
        {"two equal copies, no checksum file",
         [&] {
             fs::remove(A + "/film.sha256");
             fs::copy_file(B + "/film.003", C + "/film.003");
         },
         "(no error)", [] {}},
        {"a damaged piece", [&] { Damage(C + "/film.004"); },
         C + "/film.004 is damaged: it differs from the piece that was split (film.sha256). Copy "
             "it again and join once more.",
         [] {}},
        {"read-only folders",
         [&] {
             for (const std::string& Folder : {A, B, C})
                 if (std::system(("mount --bind '" + Folder + "' '" + Folder +
                                  "' && mount -o remount,bind,ro '" + Folder + "'")
                                     .c_str()) != 0)
                     GTEST_SKIP() << "no read-only bind mounts here";
         },
         "(no error)",
         [&] {
             for (const std::string& Folder : {A, B, C})
                 EXPECT_EQ(std::system(("umount '" + Folder + "'").c_str()), 0);
         }},
        {"the next medium asked for",
         [&] {
             Join.PieceFolders = {B};
             Answer(TPieceSources::TAnswer::TKind::Folder);
         },
         "(no error)",
         [&] {
             EXPECT_EQ(Asked, std::vector<std::string>{"film.004"});
             EXPECT_EQ(Held, std::vector<std::string>{});
             EXPECT_EQ(Sources, (std::set<std::string>{A, B, C}));
         }},
        {"the question cancelled",
         [&] {
             Join.PieceFolders = {B};
             Answer(TPieceSources::TAnswer::TKind::Stop);
         },
         "Stopped", [] {}},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Name);
        fs::remove_all(Dir);
        for (const std::string& Folder : {A, B, C, Path("out")})
            fs::create_directories(Folder);
        WriteFile(A + "/film", Data);
        TSplit Split;
        Split.SetBaseFileName(A + "/film");
        Split.SplitSize = 2;
        Split.WriteChecksumFile = true;
        Split.Execute();
        fs::remove(A + "/film");
        for (const auto& [Piece, Folder] : {std::pair{2, B}, {3, B}, {4, C}})
            fs::rename(PieceName(A + "/film", Piece), PieceName(Folder + "/film", Piece));
        Join.SetBaseFileName(A + "/film");
        Join.PieceFolders = {B, C};
        Join.OutputFolder = Path("out");
        Join.AskForPiece = nullptr;
        Sources.clear();
        Asked.clear();
        Held.clear();
        Row.Prepare();
        if (IsSkipped())
            return;
        std::map<std::string, std::map<std::string, Bytes>> Before;
        for (const std::string& Folder : {A, B, C})
            Before[Folder] = FolderContents(Folder);
        EXPECT_EQ(MessageOf([&] { Join.Execute(); }), Row.Message);
        for (const std::string& Folder : {A, B, C})
            EXPECT_EQ(FolderContents(Folder), Before[Folder]) << Folder;
        if (Row.Message == "(no error)") {
            EXPECT_EQ(ReadFile(Path("out/film")), Data);
        } else {
            EXPECT_FALSE(fs::exists(Path("out/film")));
        }
        Row.After();
    }
}

} // namespace
