// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Runs asked to stop from their progress report: each ends at that report,
// removes what it wrote and nothing else, and the next run goes on as usual.
#include "TestFiles.h"

#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classSplit.h"

namespace {

class StopTest : public ScratchTest {};

TEST_F(StopTest, StoppedRunEndsAtOnceAndLeavesWhatWasThereBefore) {
    WriteFile(Path("film"), PatternBytes(5 << 20));
    for (const int Piece : {1, 2, 3})
        WriteFile(PieceName(Path("set"), Piece), PatternBytes(3 << 20, Piece));
    // The output of another join, which this one must leave alone.
    WriteFile(Path("set.joined"), PatternBytes(100));
    TSplit Split;
    Split.SetBaseFileName(Path("film"));
    Split.SplitSize = 1400;
    Split.WriteChecksumFile = true;
    TJoin Join;
    Join.SetBaseFileName(Path("set"));
    TChecksum Checksum;
    Checksum.FileName = Path("film");
    TCompare Compare;
    Compare.FileName1 = Compare.FileName2 = Path("film");
    struct {
        const char* Name;
        TParvoxBase& Engine;
        std::function<void()> Run;
    } const Rows[] = {
        {"split", Split, [&] { Split.Execute(); }},
        {"join", Join, [&] { Join.Execute(); }},
        {"checksum", Checksum, [&] { (void)Checksum.Execute(); }},
        {"compare", Compare, [&] { Compare.Execute(); }},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Name);
        const auto Before = FolderContents(Dir);
        int Reports = 0;
        Row.Engine.OnProgress = [&](const std::string&, long double) {
            if (++Reports == 3)
                Row.Engine.RequestStop();
        };
        EXPECT_EQ(MessageOf(Row.Run), "Stopped");
        EXPECT_EQ(Reports, 3);
        EXPECT_EQ(FolderContents(Dir), Before);
        EXPECT_EQ(MessageOf(Row.Run), "(no error)");
    }
}

} // namespace
