// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Nothing lost to the engines' own hands: what a split or join may remove or
// replace, what it checks before it changes anything, what a run killed at
// any moment leaves, and checksum files that sha256sum reads and writes.
#include "TestFiles.h"

#include "classJoin.h"
#include "classParvoxErrors.h"
#include "classSplit.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class SafetyTest : public ScratchTest {
protected:
    // The whole message of the error that Body raises, or "(no error)".
    template <typename Call> static std::string FullMessageOf(Call&& Body) {
        try {
            Body();
        } catch (const std::exception& Error) {
            return Error.what();
        }
        return "(no error)";
    }

    // Runs a shell command in the scratch folder; its exit status.
    int Shell(const std::string& Command) const {
        return std::system(("cd '" + Dir.string() + "' && " + Command).c_str());
    }

    // The names of the temporary files that runs left in the scratch folder.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> Found;
        for (const auto& Entry : fs::directory_iterator(Dir))
            if (Entry.path().filename().string().starts_with(".pvx"))
                Found.push_back(Entry.path().filename().string());
        return Found;
    }
};

// Each row starts from film.mkv of 7000 bytes alone, split into pieces of
// two blocks (four pieces): what it prepares, what happens at the third
// report of the run, the whole message, and what the folder holds after.
TEST_F(SafetyTest, OnlyWhatTheRunMadeIsRemovedOrReplaced) {
    const Bytes Data = PatternBytes(7000);
    const std::string Film = Path("film.mkv");
    TSplit Split;
    TJoin Join;
    std::function<void()> DuringRun;
    int Reports = 0;
    for (TParvoxBase* Engine :
         {static_cast<TParvoxBase*>(&Split), static_cast<TParvoxBase*>(&Join)})
        Engine->OnProgress = [&](const std::string&, long double) {
            if (++Reports == 3 && DuringRun)
                DuringRun();
        };
    const auto SplitIt = [&] { Split.Execute(); };
    const auto JoinIt = [&] { Join.Execute(); };
    const auto Published = [&] { return Shell("sha256sum film.mkv > film.mkv.sha256"); };
    const std::string Wide = [] {
        std::string Name;
        for (int Character = 0; Character < 82; ++Character)
            Name += "\xe6\x96\x87";
        return Name;
    }();
    std::map<std::string, Bytes> Before;
    int LiveLock = -1;
    const struct {
        const char* Name;
        std::function<void()> Prepare;
        std::function<void()> Run;
        std::string Message;
        std::function<void()> After;
    } Rows[] = {
        {"a published digest where the checksum file would go", [&] { Published(); }, SplitIt,
         "film.mkv.sha256 is not the checksum file of an earlier split of film.mkv, and Parvox "
         "leaves it as it is. Split without a checksum file, or into another folder.",
         [&] { EXPECT_EQ(FolderContents(Dir), Before); }},
        {"a published digest beside the pieces of a split without a checksum file",
         [&] {
             Published();
             Split.WriteChecksumFile = false;
         },
         [&] {
             Split.Execute();
             Join.Execute();
         },
         "(no error)",
         [&] {
             EXPECT_EQ(ReadFile(Film + ".sha256"), Before.at("film.mkv.sha256"));
             EXPECT_EQ(Join.CheckSummary(), "The joined file matches film.mkv.sha256.");
             EXPECT_EQ(ReadFile(Film + ".joined"), Data);
         }},
        {"a published film.mkv.par2 where the recovery data would go",
         [&] {
             WriteFile(Film + ".par2", {1, 2, 3});
             Split.Recovery = TRecoveryEncoder::TAmount{10, false};
         },
         SplitIt,
         "film.mkv.par2 is not the recovery data of an earlier split of film.mkv, and Parvox "
         "leaves it as it is. Split without recovery data, or into another folder.",
         [&] { EXPECT_EQ(FolderContents(Dir), Before); }},
        {"the recovery files of an earlier set, and a volume of another",
         [&] {
             Split.Recovery = TRecoveryEncoder::TAmount{10, false};
             Split.Execute();
             WriteFile(Film + ".vol9+1.par2", {9});
             Split.Recovery.reset();
             Split.SplitSize = 3;
         },
         SplitIt, "(no error)",
         [&] {
             EXPECT_EQ(FolderContents(Dir).size(), 6U);
             EXPECT_TRUE(fs::exists(Film + ".vol9+1.par2"));
         }},
        {"a size below 1 beside an earlier set",
         [&] {
             Split.Execute();
             Split.SplitSize = -5;
         },
         SplitIt, "Invalid split file size: -5",
         [&] { EXPECT_EQ(FolderContents(Dir).size(), 6U); }},
        {"a name of 246 bytes",
         [&] {
             WriteFile(Path(Wide), Data);
             Split.SetBaseFileName(Path(Wide));
         },
         SplitIt, "(no error)",
         [&] { EXPECT_EQ(Shell("sha256sum --quiet -c " + Wide + ".sha256"), 0); }},
        {"a name of 250 bytes and its checksum file",
         [&] {
             WriteFile(Path(Wide + "abcd"), Data);
             Split.SetBaseFileName(Path(Wide + "abcd"));
         },
         SplitIt, "I/O error 36.\nFile name too long: " + Path(Wide + "abcd.sha256"),
         [&] { EXPECT_EQ(FolderContents(Dir).size(), 2U); }},
        {"a name of 246 bytes and the names of its recovery volumes",
         [&] {
             WriteFile(Path(Wide), Data);
             Split.SetBaseFileName(Path(Wide));
             Split.Recovery = TRecoveryEncoder::TAmount{0, true};
         },
         SplitIt, "I/O error 36.\nFile name too long: " + Path(Wide) + ".vol",
         [&] { EXPECT_EQ(FolderContents(Dir), Before); }},
        {"a list of the pieces alone, and a piece added during the join",
         [&] {
             Split.WriteChecksumFile = false;
             Split.Execute();
             Shell("sha256sum film.mkv.0* > film.mkv.sha256");
             DuringRun = [&] { WriteFile(Film + ".005", {5}); };
         },
         JoinIt,
         "The pieces of film.mkv changed while they were joined. Join them once more when "
         "nothing writes to them.",
         [&] { EXPECT_FALSE(fs::exists(Film + ".joined")); }},
        {"a piece replaced by a copy during the join",
         [&] {
             Split.Execute();
             DuringRun = [&] {
                 fs::copy_file(Film + ".004", Path("copy"));
                 fs::rename(Path("copy"), Film + ".004");
             };
         },
         JoinIt,
         "The pieces of film.mkv changed while they were joined. Join them once more when "
         "nothing writes to them.",
         [&] { EXPECT_FALSE(fs::exists(Film + ".joined")); }},
        {"the file changes while it is split",
         [&] { DuringRun = [&] { WriteFile(Film, PatternBytes(7001)); }; }, SplitIt,
         "film.mkv changed while it was being split. Split it again once nothing writes to it.",
         [&] { EXPECT_EQ(FolderContents(Dir).size(), 1U); }},
        {"a file appears under a piece's name during the split",
         [&] { DuringRun = [&] { WriteFile(Film + ".002", {2}); }; }, SplitIt,
         "film.mkv.002 appeared during the run, and Parvox leaves it as it is. Start once more.",
         [&] { EXPECT_EQ(FolderContents(Dir).size(), 2U); }},
        {"a file appears under the joined file's name during the join",
         [&] {
             Split.Execute();
             fs::remove(Film);
             DuringRun = [&] { WriteFile(Film, {1}); };
         },
         JoinIt,
         "film.mkv appeared during the run, and Parvox leaves it as it is. Start once more.",
         [&] { EXPECT_EQ(ReadFile(Film), Bytes{1}); }},
        {"what a dead run and a live one left",
         [&] {
             for (const char* Name : {".pvx0000000a000000000000", ".pvx0000000a000000000001",
                                      ".pvx0000000b000000000003", ".pvx0000000c000000000000",
                                      ".pvx0000000c000000000002", ".pvx-not-ours"})
                 WriteFile(Path(Name), {0});
             LiveLock = ::open(Path(".pvx0000000c000000000000").c_str(), O_RDWR);
             struct flock Whole {};
             Whole.l_type = F_WRLCK;
             ASSERT_EQ(::fcntl(LiveLock, F_OFD_SETLK, &Whole), 0);
         },
         SplitIt, "(no error)",
         [&] {
             ::close(LiveLock);
             EXPECT_EQ(Temporaries().size(), 3U);
             EXPECT_TRUE(fs::exists(Path(".pvx0000000c000000000002")));
         }},
        {"a name that ends in a carriage return",
         [&] {
             WriteFile(Path("film\r"), Data);
             Split.SetBaseFileName(Path("film\r"));
         },
         [&] {
             Split.Execute();
             Join.SetBaseFileName(Path("film\r"));
             Join.Execute();
         },
         "(no error)",
         [&] {
             EXPECT_EQ(Shell("sha256sum --quiet -c \"$(printf 'film\\r.sha256')\""), 0);
             EXPECT_EQ(Join.CheckSummary(), "All 4 pieces match film\r.sha256.");
         }},
        {"a removal that fails as a stopped run cleans up",
         [&] {
             DuringRun = [&] {
                 const auto Left = Temporaries();
                 const auto First = std::find_if(Left.begin(), Left.end(), [](auto& Name) {
                     return Name.ends_with("000000000001");
                 });
                 if (First == Left.end() || !SetImmutable(Path(*First), true))
                     GTEST_SKIP() << "no immutable files here";
                 Split.RequestStop();
             };
         },
         SplitIt, "Parvox could not remove what it wrote: ",
         [&] {
             EXPECT_EQ(Temporaries().size(), 1U);
             for (const std::string& Name : Temporaries())
                 EXPECT_TRUE(SetImmutable(Path(Name), false));
             EXPECT_EQ(PieceSizes(Film).size(), 0U);
         }},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Name);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        WriteFile(Film, Data);
        Split.SetBaseFileName(Film);
        Split.SplitSize = 2;
        Split.WriteChecksumFile = true;
        Split.Recovery.reset();
        Join.SetBaseFileName(Film);
        DuringRun = {};
        Row.Prepare();
        if (IsSkipped())
            return;
        Before = FolderContents(Dir);
        Reports = 0;
        const std::string Message = FullMessageOf(Row.Run);
        if (IsSkipped())
            return;
        EXPECT_EQ(Message.substr(0, Row.Message.size()), Row.Message) << Message;
        Row.After();
        if (std::string(Row.Name).find("dead") == std::string::npos &&
            Row.Message.find("could not remove") == std::string::npos) {
            EXPECT_EQ(Temporaries(), std::vector<std::string>{});
        }
    }
}

// A split and a join killed at random moments, as a logout without a clean
// end or a power cut kill them: what they leave under final names is whole
// or no set at all, and the next run in the folder takes away the rest.
TEST_F(SafetyTest, KilledRunLeavesNothingThatPassesForWhole) {
    const Bytes Data = PatternBytes(6 << 20);
    const std::string Film = Path("film");
    std::mt19937 Random(20261207);
    for (const bool Joins : {false, true}) {
        const auto Execute = [&] {
            if (Joins) {
                TJoin Join;
                Join.SetBaseFileName(Film);
                Join.OutputFolder = Path("out");
                Join.Execute();
            } else {
                TSplit Split;
                Split.SetBaseFileName(Film);
                Split.SplitSize = 64;
                Split.WriteChecksumFile = true;
                Split.Recovery = TRecoveryEncoder::TAmount{5, false};
                Split.Execute();
            }
        };
        fs::create_directories(Path("out"));
        if (!Joins)
            WriteFile(Film, Data);
        const auto Start = std::chrono::steady_clock::now();
        Execute();
        const auto Took = std::chrono::steady_clock::now() - Start;
        // The recovery files of a whole run: one under its final name is one of them, whole.
        std::map<std::string, Bytes> Recovery;
        for (const auto& [Name, Content] : FolderContents(Dir))
            if (Name.ends_with(".par2"))
                Recovery[Name] = Content;
        for (int Kill = 0; Kill < 16; ++Kill) {
            SCOPED_TRACE((Joins ? "join " : "split ") + std::to_string(Kill));
            fs::remove(Path("out/film"));
            // A child's run takes longer than the one timed: its start, and a
            // medium that stores the run before the last is still busy.
            std::uniform_int_distribution<int64_t> Moment(0, Took.count() * 3);
            const pid_t Child = ::fork();
            if (Child == 0) {
                Execute();
                ::_exit(0);
            }
            std::this_thread::sleep_for(std::chrono::steady_clock::duration(Moment(Random)));
            ::kill(Child, SIGKILL);
            ::waitpid(Child, nullptr, 0);
            if (Joins) {
                // The joined file is there whole, or not at all.
                if (fs::exists(Path("out/film"))) {
                    EXPECT_EQ(ReadFile(Path("out/film")), Data);
                }
                continue;
            }
            for (const auto& [Name, Content] : FolderContents(Dir)) {
                if (Name.ends_with(".par2")) {
                    EXPECT_TRUE(Recovery.contains(Name) && Content == Recovery[Name]) << Name;
                }
            }
            // Every piece under its name holds its bytes, and the set joins
            // as the whole file or not at all.
            const std::vector<uintmax_t> Sizes = PieceSizes(Film);
            for (size_t Piece = 0; Piece < Sizes.size(); ++Piece)
                EXPECT_EQ(ReadFile(PieceName(Film, static_cast<int>(Piece + 1))),
                          Bytes(Data.begin() + static_cast<std::ptrdiff_t>(Piece * 65536),
                                Data.begin() + static_cast<std::ptrdiff_t>(
                                                   std::min(Data.size(), (Piece + 1) * 65536))));
            TJoin Check;
            Check.SetBaseFileName(Film);
            Check.OutputFolder = Path("out");
            if (MessageOf([&] { Check.Execute(); }) == "(no error)") {
                EXPECT_EQ(ReadFile(Path("out/film")), Data);
            }
            // What a kill among the removals or the final names left has no
            // first piece; the next split would find it in its way.
            if (Sizes.empty()) {
                fs::remove(Film + ".sha256");
                for (const auto& [Name, Content] : Recovery)
                    fs::remove(Path(Name));
                for (int Piece = 2; Piece <= 96; ++Piece)
                    fs::remove(PieceName(Film, Piece));
            }
        }
        // The next run removes what the killed ones left.
        Execute();
        EXPECT_EQ(Temporaries(), std::vector<std::string>{});
        for (const auto& Entry : fs::directory_iterator(Path("out")))
            EXPECT_FALSE(Entry.path().filename().string().starts_with(".pvx"));
    }
}

// Names with the bytes that sha256sum escapes: the checksum file that a
// split writes checks with sha256sum, and the one that sha256sum writes of
// the pieces and the file checks a join.
TEST_F(SafetyTest, ChecksumFilesOfOddNamesAgreeWithSha256sum) {
    const Bytes Data = PatternBytes(3000);
    for (const std::string Name : {"a\\b", "new\nline", "all\\\n\r"}) {
        SCOPED_TRACE(Name);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        WriteFile(Path(Name), Data);
        TSplit Split;
        Split.SetBaseFileName(Path(Name));
        Split.SplitSize = 1;
        Split.WriteChecksumFile = true;
        Split.Execute();
        setenv("PARVOX_NAME", Name.c_str(), 1);
        EXPECT_EQ(Shell("sha256sum --quiet -c \"$PARVOX_NAME.sha256\""), 0);
        ASSERT_EQ(Shell("sha256sum \"$PARVOX_NAME\".0* \"$PARVOX_NAME\" > \"$PARVOX_NAME.sha256\""),
                  0);
        TJoin Join;
        Join.SetBaseFileName(Path(Name));
        EXPECT_EQ(MessageOf([&] { Join.Execute(); }), "(no error)");
        EXPECT_EQ(Join.CheckSummary(), "All 3 pieces match " + Name + ".sha256.");
    }
    unsetenv("PARVOX_NAME");
}

} // namespace
