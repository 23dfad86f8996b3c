// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Split and join on a simulated stick: an ext4 image served by a small FUSE
// file system through a loop device, whose writes can be slowed, refused or
// lost as when the stick is pulled. Skipped where FUSE or loop devices are
// missing.
#include "EngineProbes.h"
#include "TestFiles.h"

#include "classJoin.h"
#include "classSplit.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class MediumTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        const int Status = Medium("attach");
        if (Status == 77)
            GTEST_SKIP() << "no FUSE or loop device here";
        ASSERT_EQ(Status, 0);
    }

    void TearDown() override {
        (void)Medium("detach");
        ScratchTest::TearDown();
    }

    // Runs a command of the medium's script on this test's medium.
    int Medium(const std::string& Command, const std::string& Argument = "") const {
        const std::string Line = MEDIUM_SCRIPT " " + Command + " " + Dir.string() + " " + Argument;
        const int Status = std::system(Line.c_str());
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : 1;
    }

    // The bytes that reached the image since the medium was attached.
    [[nodiscard]] int64_t Stored() const {
        std::ifstream In(Path("stored"));
        int64_t Bytes = 0;
        In >> Bytes;
        return Bytes;
    }

    [[nodiscard]] std::string OnStick(const std::string& Name) const { return Path(Mount + Name); }

    // Splits Name on the medium into pieces of 1400 blocks, or joins its
    // pieces, as root or as the user nobody; the message, or "(no error)".
    std::string Run(bool Splits, const std::string& Name, const TProgressEvent& Progress = {},
                    bool AsNobody = false) {
        TSplit Split;
        TJoin Join;
        TParvoxBase& Engine = Splits ? static_cast<TParvoxBase&>(Split) : Join;
        Engine.OnProgress = Progress;
        Engine.SetBaseFileName(OnStick(Name));
        Split.SplitSize = 1400;
        const auto Execute = [&] { Splits ? Split.Execute() : Join.Execute(); };
        if (!AsNobody)
            return MessageOf(Execute);
        return MessageInChild([&] {
            if (!BecomeNobody())
                throw std::runtime_error("cannot become nobody");
            Execute();
        });
    }

    // Where the medium is mounted: the stick, or a share in its place.
    std::string Mount = "mnt/";

    // Pulls the stick as the run says it is done, and puts it back in.
    void PullAndReattach() {
        ASSERT_EQ(Medium("mode", "drop"), 0);
        ASSERT_EQ(Medium("detach"), 0);
        ASSERT_EQ(Medium("attach"), 0);
    }
};

TEST_F(MediumTest, FailingMediumIsNeverASuccess) {
    WriteFile(OnStick("a"), PatternBytes(8 << 20));
    WriteFile(OnStick("b"), PatternBytes(8 << 20, 2));
    ASSERT_EQ(Run(true, "b"), "(no error)");
    ASSERT_EQ(Medium("mode", "fail"), 0);
    EXPECT_NE(Run(true, "a"), "(no error)");
    EXPECT_NE(Run(false, "b"), "(no error)");
}

TEST_F(MediumTest, WhatIsDoneSurvivesAPullRightAfter) {
    const Bytes Data = PatternBytes(20 << 20);
    WriteFile(OnStick("film"), Data);
    ASSERT_EQ(Run(true, "film"), "(no error)");
    PullAndReattach();
    ASSERT_EQ(Run(false, "film"), "(no error)");
    PullAndReattach();
    // The join ends at the first missing piece: all of them must be there.
    EXPECT_EQ(ReadFile(OnStick("film.joined")), Data);
}

// Runs one after another, each with what it must say: on the stick, a run
// while it fails and one once it works again; then on a share whose files
// all show user 1000 as their owner, fixed at mount.
TEST_F(MediumTest, RunsOnMediaAsUsersHaveThem) {
    struct TRun {
        bool OnShare;
        const char* Mode;
        bool AsNobody;
        bool Splits;
        const char* Message;
    };
    const char* const Done = "(no error)";
    const char* const Failed = "File access denied";
    const TRun Runs[] = {
        // The failed run's failures must not fail the next one.
        {false, "fail", false, true, Failed},
        {false, "ok", false, true, Done},
        // Neither nobody nor root is refused the output of the join before.
        {true, "ok", false, true, Done},
        {true, "ok", true, false, Done},
        {true, "ok", true, false, Done},
        {true, "ok", false, false, Done},
        // A share that refuses more without saying why is full, in words.
        {true, "ok full", false, false, "Destination drive full or not ready"},
        // Syncs that fail fail the run, also where the kind of file system is unknown.
        {true, "unsynced", false, false, Failed},
        {true, "blind unsynced", false, true, Failed},
        {true, "ok full", false, true, "Not enough drive space for output file"},
    };
    fs::permissions(Dir, fs::perms::all);
    WriteFile(OnStick("film"), PatternBytes(8 << 20));
    ::sync();
    for (const TRun& Step : Runs) {
        SCOPED_TRACE(std::string(Step.OnShare ? "share, " : "stick, ") + Step.Mode);
        if (Step.OnShare && Mount != "fuse/") {
            ASSERT_EQ(Medium("detach"), 0);
            ASSERT_EQ(Medium("share", "1000 0"), 0);
            Mount = "fuse/";
            WriteFile(OnStick("film"), PatternBytes(8 << 20));
        }
        ASSERT_EQ(Medium("mode", Step.Mode), 0);
        EXPECT_EQ(Run(Step.Splits, "film", {}, Step.AsNobody), Step.Message) << &Step - Runs;
    }
}

// The progress never runs more than one transfer ahead of what the stick holds.
TEST_F(MediumTest, ProgressFollowsASlowMedium) {
    constexpr int64_t Size = 48 << 20;
    WriteFile(OnStick("film"), PatternBytes(Size));
    ASSERT_EQ(Run(true, "film"), "(no error)");
    ASSERT_EQ(Medium("mode", "slow 40000000"), 0);
    for (const bool Splits : {true, false}) {
        const int64_t Before = Stored();
        int64_t Checked = 0;
        int64_t MostAhead = 0;
        const TProgressEvent Progress = [&](const std::string&, long double Fraction) {
            const auto Done = static_cast<int64_t>(Fraction * Size);
            if (Done - Checked < (1 << 20))
                return;
            Checked = Done;
            MostAhead = std::max(MostAhead, Done - (Stored() - Before));
        };
        EXPECT_EQ(Run(Splits, "film", Progress), "(no error)");
        EXPECT_GT(Checked, Size / 2) << Splits;
        EXPECT_LE(MostAhead, 16 << 20) << Splits;
    }
}

// A name whose look-up fails may well be there: the join fails before it
// writes, instead of ending the set early.
TEST_F(MediumTest, FailedLookUpIsAFailure) {
    for (const char* Name : {"film.001", "film.002", "film.003"})
        WriteFile(Path("files/") + Name, PatternBytes(3000));
    WriteFile(Path("refuse"), {'f', 'i', 'l', 'm', '.', '0', '0', '2'});
    TJoin Engine;
    Engine.SetBaseFileName(Path("fuse/film"));
    EXPECT_EQ(MessageOf([&] { Engine.Execute(); }), "File access denied");
}

} // namespace
