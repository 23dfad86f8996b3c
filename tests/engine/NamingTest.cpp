// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Piece names, the join output name and the checks on base and piece names.
#include "TestFiles.h"

#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classParvoxBase.h"
#include "classParvoxErrors.h"
#include "classSplit.h"

namespace {

class NamingTest : public ScratchTest {
protected:
    TParvoxBase Engine;
};

TEST_F(NamingTest, ExtensionsArePaddedToThreeDigitsAndNeverCut) {
    EXPECT_EQ(Engine.PieceExtension(1), ".001");
    EXPECT_EQ(Engine.PieceExtension(10), ".010");
    EXPECT_EQ(Engine.PieceExtension(42), ".042");
    EXPECT_EQ(Engine.PieceExtension(999), ".999");
    EXPECT_EQ(Engine.PieceExtension(1000), ".1000");
    EXPECT_EQ(Engine.PieceExtension(12345), ".12345");
    Engine.SetBaseFileName("/data/film.avi");
    EXPECT_EQ(Engine.PieceFileName(2), "/data/film.avi.002");
}

TEST_F(NamingTest, BlankBaseNameIsNotEmptyButFailsTheCheck) {
    Engine.SetBaseFileName("   ");
    EXPECT_FALSE(Engine.BaseFileNameEmpty());
    EXPECT_EQ(MessageOf([&] { (void)Engine.PieceFileName(1); }), "Empty basefile name");
    EXPECT_EQ(MessageOf([&] { (void)Engine.PieceExists(1); }), "Empty basefile name");
    Engine.SetBaseFileName(std::string("\t\n x \0", 6));
    EXPECT_NO_THROW(Engine.CheckBaseFileName());
}

TEST_F(NamingTest, EmptyBaseNameHasNoJoinedNameAndNoError) {
    EXPECT_TRUE(Engine.BaseFileNameEmpty());
    EXPECT_FALSE(Engine.BaseFileExists());
    EXPECT_EQ(Engine.JoinedFileName(), "");
}

TEST_F(NamingTest, SetPieceFileNameChecksTheExtension) {
    Engine.SetPieceFileName(1, "/data/film.avi.001");
    EXPECT_EQ(Engine.GetBaseFileName(), "/data/film.avi");

    for (const char* Wrong :
         {"/data/film.avi.002", "/data/film.avi", "old.dir/film", "film.001.bak", "dir.001/film"}) {
        EXPECT_EQ(MessageOf([&] { Engine.SetPieceFileName(1, Wrong); }),
                  "Invalid file name, should have extension .001")
            << Wrong;
        EXPECT_EQ(Engine.GetBaseFileName(), "/data/film.avi") << Wrong;
    }

    Engine.SetPieceFileName(1, ".001");
    EXPECT_EQ(Engine.GetBaseFileName(), "");
    EXPECT_EQ(MessageOf([&] { (void)Engine.PieceFileName(1); }), "Empty basefile name");

    Engine.SetPieceFileName(1000, "/data/big.1000");
    EXPECT_EQ(Engine.GetBaseFileName(), "/data/big");
}

TEST_F(NamingTest, JoinedNameAvoidsAnythingThatExists) {
    Engine.SetBaseFileName(Path("film.avi"));
    EXPECT_EQ(Engine.JoinedFileName(), Path("film.avi"));
    WriteFile(Path("film.avi"), {1});
    EXPECT_EQ(Engine.JoinedFileName(), Path("film.avi.joined"));

    fs::create_symlink(Path("nowhere"), Path("link"));
    Engine.SetBaseFileName(Path("link"));
    EXPECT_EQ(Engine.JoinedFileName(), Path("link.joined"));

    fs::create_directory(Path("folder"));
    Engine.SetBaseFileName(Path("folder"));
    EXPECT_TRUE(Engine.BaseFileExists());
    EXPECT_EQ(Engine.JoinedFileName(), Path("folder.joined"));

    // A folder part that is a file: nothing can be there.
    Engine.SetBaseFileName(Path("film.avi/x"));
    EXPECT_EQ(Engine.JoinedFileName(), Path("film.avi/x"));
}

// The system would read such a name only up to the NUL byte: another file.
TEST_F(NamingTest, EveryOperationRefusesANameWithANulByte) {
    const std::string Victim = Path("victim");
    const std::string Named = Victim + std::string(1, '\0') + "x";
    WriteFile(Victim, PatternBytes(3000));
    WriteFile(Victim + ".001", PatternBytes(100));
    const auto Before = FolderContents(Dir);
    TSplit Split;
    Split.SetBaseFileName(Named);
    Split.SplitSize = 1;
    TJoin Join;
    Join.SetBaseFileName(Named);
    TChecksum Checksum;
    Checksum.FileName = Named;
    TCompare Compare;
    Compare.FileName1 = Named;
    Compare.FileName2 = Victim;
    for (const auto& Run : std::initializer_list<std::function<void()>>{
             [&] { Split.Execute(); }, [&] { Join.Execute(); }, [&] { (void)Checksum.Execute(); },
             [&] { Compare.Execute(); }})
        EXPECT_EQ(MessageOf(Run), "I/O error 22");
    EXPECT_EQ(FolderContents(Dir), Before);
}

} // namespace
