// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split run: piece sizes and contents (also against coreutils split),
// progress reports, removal of earlier pieces, and every way a run can fail.
#include "EngineProbes.h"
#include "TestFiles.h"

#include "classParvoxErrors.h"
#include "classSplit.h"
#include "txt.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class SplitTest : public ScratchTest {
protected:
    TSplit Engine;

    // Splits Data, written to Name in the scratch folder, into pieces of Blocks blocks.
    std::string Split(const std::string& Name, const Bytes& Data, int32_t Blocks) {
        const std::string Input = Path(Name);
        WriteFile(Input, Data);
        Engine.SetBaseFileName(Input);
        Engine.SplitSize = Blocks;
        Engine.Execute();
        return Input;
    }

    // Leaves pieces 1 to Count of Base behind, as an earlier split would.
    void LeaveOldPieces(const std::string& Base, int Count) const {
        for (int Piece = 1; Piece <= Count; ++Piece)
            WriteFile(PieceName(Base, Piece), PatternBytes(100, 1000 + Piece));
    }

    void ExpectHandlesClosed() const {
        EXPECT_FALSE(Engine.InputFile.IsOpen());
        EXPECT_FALSE(Engine.OutputFile.IsOpen());
    }
};

Bytes Concatenated(const std::string& Base) {
    Bytes Whole;
    for (int Piece = 1; fs::exists(PieceName(Base, Piece)); ++Piece) {
        const Bytes Part = ReadFile(PieceName(Base, Piece));
        Whole.insert(Whole.end(), Part.begin(), Part.end());
    }
    return Whole;
}

TEST_F(SplitTest, WorkedExampleGivesThreePiecesAndOneReportPerBlock) {
    std::vector<long double> Fractions;
    bool StatusAlwaysEmpty = true;
    Engine.OnProgress = [&](const std::string& Status, long double Fraction) {
        StatusAlwaysEmpty = StatusAlwaysEmpty && Status.empty();
        Fractions.push_back(Fraction);
    };
    const Bytes Data = PatternBytes(3'000'000);
    const std::string Input = Split("film.avi", Data, 1400);

    EXPECT_EQ(PieceSizes(Input), (std::vector<uintmax_t>{1'433'600, 1'433'600, 132'800}));
    EXPECT_EQ(Concatenated(Input), Data);
    EXPECT_TRUE(StatusAlwaysEmpty);
    ASSERT_EQ(Fractions.size(), 2930U);
    EXPECT_EQ(Fractions.front(), 0.0L);
    EXPECT_EQ(Fractions.back(), 2929.0L * 1024.0L / 3'000'000.0L);
    EXPECT_TRUE(std::is_sorted(Fractions.begin(), Fractions.end()));
    ExpectHandlesClosed();
}

TEST_F(SplitTest, EmptyInputGivesOneEmptyPieceAndReportsZero) {
    std::vector<long double> Fractions;
    Engine.OnProgress = [&](const std::string&, long double Fraction) {
        Fractions.push_back(Fraction);
    };
    const std::string Input = Split("empty", {}, 1);
    EXPECT_EQ(PieceSizes(Input), std::vector<uintmax_t>{0});
    EXPECT_EQ(Fractions, std::vector<long double>{0.0L});
}

// The pieces must be exactly what coreutils split makes of the same input with
// the same piece size, and nothing more: no empty piece after an exact multiple.
TEST_F(SplitTest, PiecesMatchCoreutilsSplit) {
    struct Case {
        size_t Size;
        int32_t Blocks;
    };
    const Case Cases[] = {{0, 2},
                          {1, 2},
                          {1023, 2},
                          {1024, 2},
                          {1025, 2},
                          {2048, 2},
                          {2049, 2},
                          {3 * 2048, 2},
                          {3 * 2048 + 1000, 2},
                          {5 * 3072 - 1, 3},
                          {1000 * 1024 + 5, 1}};
    fs::create_directory(Dir / "engine");
    fs::create_directory(Dir / "coreutils");
    for (const auto& [Size, Blocks] : Cases) {
        const std::string Name = "data" + std::to_string(Size);
        const Bytes Data = PatternBytes(Size, static_cast<uint32_t>(Size));
        const std::string Input = Split("engine/" + Name, Data, Blocks);

        const size_t PieceBytes = static_cast<size_t>(Blocks) * 1024;
        const size_t Pieces = std::max<size_t>(1, (Size + PieceBytes - 1) / PieceBytes);
        const auto Sizes = PieceSizes(Input);
        ASSERT_EQ(Sizes.size(), Pieces) << Size;
        EXPECT_EQ(Sizes.back(), Size - (Pieces - 1) * PieceBytes) << Size;
        EXPECT_EQ(Concatenated(Input), Data) << Size;

        // With three-digit suffixes coreutils stops at .999, so it gets only
        // what fits in 999 pieces; it makes no piece at all for an empty input.
        const size_t Compared = std::min<size_t>(Pieces, 999);
        const std::string Source = Path(Name);
        const auto Head = static_cast<std::ptrdiff_t>(std::min(Size, Compared * PieceBytes));
        WriteFile(Source, Bytes(Data.begin(), Data.begin() + Head));
        const std::string Prefix = Path("coreutils/" + Name);
        const std::string Command = "split -b " + std::to_string(PieceBytes) +
                                    " -a 3 -d --numeric-suffixes=1 '" + Source + "' '" + Prefix +
                                    ".'";
        ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
        EXPECT_EQ(PieceSizes(Prefix).size(), Size == 0 ? 0 : Compared) << Size;
        for (size_t Piece = 1; Piece <= Compared && Size > 0; ++Piece)
            EXPECT_EQ(ReadFile(PieceName(Input, static_cast<int>(Piece))),
                      ReadFile(PieceName(Prefix, static_cast<int>(Piece))))
                << Size << " piece " << Piece;
    }
    EXPECT_TRUE(fs::exists(Path("engine/data1024005.1000")));
    EXPECT_EQ(fs::file_size(Path("engine/data1024005.1001")), 5U);
}

TEST_F(SplitTest, InputNamedLikeAPieceGetsPiecesOfItsOwn) {
    const Bytes Data = PatternBytes(1500);
    const std::string Input = Split("x.001", Data, 1);
    EXPECT_EQ(PieceSizes(Input), (std::vector<uintmax_t>{1024, 476}));
    EXPECT_EQ(ReadFile(Input), Data);
}

TEST_F(SplitTest, OldPiecesAreRemovedUpToTheFirstGap) {
    LeaveOldPieces(Path("film"), 5);
    const Bytes Data = PatternBytes(1500);
    Split("film", Data, 1);
    EXPECT_EQ(PieceSizes(Path("film")), (std::vector<uintmax_t>{1024, 476}));
    EXPECT_FALSE(fs::exists(Path("film.003")));
    EXPECT_FALSE(fs::exists(Path("film.005")));

    // Behind a gap nothing is seen: .003 stays as it is, beyond the new set's end.
    WriteFile(Path("gap.003"), {3});
    Split("gap", Data, 2);
    EXPECT_EQ(ReadFile(Path("gap.001")), Data);
    EXPECT_EQ(ReadFile(Path("gap.003")), Bytes{3});
}

TEST_F(SplitTest, LinkLeftAsAnOldPieceIsRemovedNotWrittenThrough) {
    fs::create_symlink(Path("elsewhere"), Path("film.001"));
    const Bytes Data = PatternBytes(1500);
    Split("film", Data, 2);
    EXPECT_FALSE(fs::is_symlink(Path("film.001")));
    EXPECT_EQ(ReadFile(Path("film.001")), Data);
    EXPECT_FALSE(fs::exists(Path("elsewhere")));
}

TEST_F(SplitTest, EmptyOrBlankBaseNameTouchesNothing) {
    EXPECT_EQ(MessageOf([&] { Engine.Execute(); }), "Empty basefile name");

    // A blank name is relative to the working folder, so the run goes there.
    WriteFile(Path("   "), PatternBytes(10));
    LeaveOldPieces(Path("   "), 2);
    const auto Before = FolderContents(Dir);
    EXPECT_EQ(MessageInChild([&] {
                  if (::chdir(Dir.c_str()) != 0)
                      throw std::runtime_error("chdir failed");
                  Engine.SetBaseFileName("   ");
                  Engine.SplitSize = 1;
                  Engine.Execute();
              }),
              "Empty basefile name");
    EXPECT_EQ(FolderContents(Dir), Before);
}

// An input that cannot be opened must not cost the pieces of an earlier
// split, and no open of it may wait for a writer or read endless data.
TEST_F(SplitTest, InputThatCannotBeOpenedKeepsOldPieces) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    fs::create_directory(Path("folder"));
    fs::create_symlink("/dev/zero", Path("zero"));
    const std::pair<const char*, const char*> Cases[] = {{"missing", "File not found"},
                                                         {"pipe", "I/O error 22"},
                                                         {"folder", "I/O error 21"},
                                                         {"zero", "I/O error 22"}};
    for (const auto& [Name, Message] : Cases) {
        LeaveOldPieces(Path(Name), 2);
        const auto Before = FolderContents(Dir);
        Engine.SetBaseFileName(Path(Name));
        Engine.SplitSize = 1;
        EXPECT_EQ(MessageOf([&] { Engine.Execute(); }), Message) << Name;
        EXPECT_EQ(FolderContents(Dir), Before) << Name;
        ExpectHandlesClosed();
    }
}

// A name that the new set takes, or the one after its last piece, held by
// a file that is no piece of an earlier set (behind a gap, or a folder):
// the run is refused before anything changes, and no input is cut.
TEST_F(SplitTest, NamesThatAreNoEarlierPieceRefuseTheRun) {
    const Bytes Data = PatternBytes(5000);
    WriteFile(Path("film"), Data);
    Engine.SetBaseFileName(Path("film"));
    Engine.SplitSize = 2;
    const std::pair<const char*, std::function<void()>> Rows[] = {
        {"film.002", [&] { fs::create_symlink(Path("film"), Path("film.002")); }},
        {"film.003", [&] { fs::create_hard_link(Path("film"), Path("film.003")); }},
        {"film.004", [&] { fs::create_symlink(Path("film.005"), Path("film.004")); }},
        {"film.001", [&] { fs::create_directories(Path("film.001/inside")); }},
    };
    for (const auto& [Name, Make] : Rows) {
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        WriteFile(Path("film"), Data);
        Make();
        const auto Before = FolderContents(Dir);
        EXPECT_EQ(MessageOf([&] { Engine.Execute(); }),
                  std::string(Name) +
                      " is in the way: it is not a piece of an earlier split of film. Move it "
                      "away and split once more.");
        EXPECT_EQ(FolderContents(Dir), Before) << Name;
        ExpectHandlesClosed();
    }
}

// An old piece left after the new set would be joined with it: a piece of the
// earlier set that cannot be removed fails the run before it writes, with
// the pieces before it gone, the first one first.
TEST_F(SplitTest, OldPieceThatCannotBeRemovedAfterTheNewSetFailsTheRun) {
    WriteFile(Path("film"), PatternBytes(10000));
    LeaveOldPieces(Path("film"), 4);
    const std::string Stuck = PieceName(Path("film"), 3);
    if (!SetImmutable(Stuck, true))
        GTEST_SKIP() << "no immutable files here";
    Engine.SetBaseFileName(Path("film"));
    Engine.SplitSize = 5;
    EXPECT_EQ(MessageOf([&] { Engine.Execute(); }), "I/O error 1");
    EXPECT_TRUE(SetImmutable(Stuck, false));
    EXPECT_EQ(PieceSizes(Path("film")), std::vector<uintmax_t>{});
    EXPECT_TRUE(fs::exists(Stuck));
}

// The base name a link to its first piece: that piece is the only copy of the data.
TEST_F(SplitTest, PieceThatHoldsTheInputIsNeverRemoved) {
    const Bytes Data = PatternBytes(3000);
    WriteFile(Path("a.001"), Data);
    fs::create_symlink(Path("a.001"), Path("a"));
    Engine.SetBaseFileName(Path("a"));
    for (const auto& [Size, Message] :
         {std::pair{0, "Invalid split file size: 0"}, std::pair{2, "I/O error 22"}}) {
        Engine.SplitSize = Size;
        EXPECT_EQ(MessageOf([&] { Engine.Execute(); }), Message);
        EXPECT_EQ(ReadFile(Path("a.001")), Data) << Size;
    }
}

// Pieces are no more readable or writable than the input, whatever the earlier ones were.
TEST_F(SplitTest, PiecesTakeThePermissionsOfTheInput) {
    WriteFile(Path("private"), PatternBytes(5000));
    fs::permissions(Path("private"), fs::perms::owner_read | fs::perms::owner_write);
    LeaveOldPieces(Path("private"), 2);
    fs::permissions(Path("private.002"), fs::perms::all);
    Split("private", ReadFile(Path("private")), 2);
    for (const int Piece : {1, 2, 3})
        EXPECT_EQ(fs::status(PieceName(Path("private"), Piece)).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write)
            << Piece;
}

// Lowers the file size limit as the third piece starts, so that the first two
// are complete and the third is cut at Limit bytes.
std::string SplitUnderSizeLimit(TSplit& Engine, rlim_t Limit) {
    return MessageInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        int Reports = 0;
        Engine.OnProgress = [&](const std::string&, long double) {
            const rlimit Lowered{Limit, Limit};
            if (Reports++ == 2 * Engine.SplitSize && ::setrlimit(RLIMIT_FSIZE, &Lowered) != 0)
                throw std::runtime_error("setrlimit failed");
        };
        Engine.Execute();
    });
}

// A block refused at its first byte for its size gives the message of the
// refusal before the run, one cut inside gives the short write, whatever the
// size of the transfer that carried it; a failed split leaves neither pieces
// nor a checksum file.
TEST_F(SplitTest, SizeLimitGivesTheMessageOfTheBlockItFallsIn) {
    const struct {
        int32_t SplitSize;
        rlim_t Limit;
        std::string Message;
    } Cases[] = {{4, 1500, txtNotEnoughSpace},
                 {4, 2048, txtPieceTooLarge},
                 {2, 2048, "(no error)"},
                 {3000, 1024 * 1024 + 1024, txtPieceTooLarge},
                 {3000, 1024 * 1024 + 1000, txtNotEnoughSpace}};
    for (const auto& Case : Cases) {
        const Bytes Data = PatternBytes(Case.SplitSize * 1024 * 3 - 100);
        WriteFile(Path("film"), Data);
        Engine.SetBaseFileName(Path("film"));
        Engine.SplitSize = Case.SplitSize;
        Engine.WriteChecksumFile = true;
        EXPECT_EQ(SplitUnderSizeLimit(Engine, Case.Limit), Case.Message) << Case.Limit;
        const bool Done = Case.Message == "(no error)";
        EXPECT_EQ(PieceSizes(Path("film")).size(), Done ? 3U : 0U);
        EXPECT_EQ(fs::exists(Path("film.sha256")), Done);
        EXPECT_EQ(Concatenated(Path("film")), Done ? Data : Bytes{});
    }
}

// The run as the unprivileged user nobody, in a folder where nobody may delete.
std::string SplitAsNobody(TSplit& Engine, const std::string& Input) {
    return MessageInChild([&] {
        if (!BecomeNobody())
            throw std::runtime_error("cannot become nobody");
        Engine.SetBaseFileName(Input);
        Engine.SplitSize = 1;
        Engine.Execute();
    });
}

TEST_F(SplitTest, UnreadableInputDeletesNothing) {
    fs::permissions(Dir, fs::perms::all);
    WriteFile(Path("secret"), PatternBytes(3000));
    fs::permissions(Path("secret"), fs::perms::owner_read | fs::perms::owner_write);
    LeaveOldPieces(Path("secret"), 2);
    const auto Before = FolderContents(Dir);
    EXPECT_EQ(SplitAsNobody(Engine, Path("secret")), "I/O error 13");
    EXPECT_EQ(FolderContents(Dir), Before);

    // Reading is all the run asks of its input.
    const Bytes Data = PatternBytes(3000);
    WriteFile(Path("public"), Data);
    fs::permissions(Path("public"),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(SplitAsNobody(Engine, Path("public")), "(no error)");
    EXPECT_EQ(Concatenated(Path("public")), Data);
}

} // namespace
