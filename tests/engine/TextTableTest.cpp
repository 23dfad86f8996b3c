// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The text table: every entry as stored, the empty text for unknown numbers,
// and the variables, empty until loaded and again after release.
#include "TestFiles.h"

#include "txt.h"

namespace {

class TextTableTest : public ::testing::Test {
protected:
    // Every other test needs the texts loaded.
    void TearDown() override { LoadTexts(); }
};

TEST_F(TextTableTest, EntriesAreStoredExactly) {
    const std::map<int, std::string> Expected{
        {3, "&Start"},
        {4, "Running"},
        {5, "&Close"},
        {6, "&Split"},
        {7, "&Join"},
        {8, "&Compare"},
        {9, "Chec&ksum"},
        {10, "&Help"},
        {11, "E&xit"},
        {12, "&About"},
        {13, "Not enough drive space for output file"},
        {14, "Destination drive full or not ready"},
        {15, "Invalid split file size"},
        {16, "No source file has been specified"},
        {17, "Working..."},
        {18, "Ready"},
        {19, "Splitting completed"},
        {20, "Split file size (Kb)"},
        {21, "File to split"},
        {22, "File Splitter"},
        {23, "unknown"},
        {24, "FileName"},
        {25, "Checksum"},
        {26, "Checksum ready"},
        {27, "Parvox help"},
        {28, "Par-Vox"},
        {29, "File Compare"},
        {30, "File1"},
        {31, "File2"},
        {32, "Files have unequal length"},
        {33, "Files are equal"},
        {34, "Files are not equal at position h"},
        {35, "One or more files are unknown"},
        {36, "The required helpfile: help.txt, is not found,therefore no help for this program "
             "will be available"},
        {37, "You must specify which files to join"},
        {38, "Joining Completed"},
        {39, "invalid split sourcefile name"},
        {40, "select a new file"},
        {41, "Files to join"},
        {42, "File to restore"},
        {43, "File Joiner"},
        {700, "Times New Roman"},
        {701, "MS Sans Serif"},
        {800, ".JOINED"},
        {801, "help.txt"},
        {802, ".YYY"},
        {803, ".ZZZ"},
        {804, ".XXX"},
        {912, "The joined file would be too large for the destination drive; join the pieces "
              "on a disk that holds files of this size"},
    };
    std::map<int, std::string> Found;
    for (int Number = -1; Number <= 1000; ++Number)
        if (!TableText(Number).empty())
            Found[Number] = TableText(Number);
    EXPECT_EQ(Found.size(), 84U);
    for (const int Other : {900, 901, 910, 911})
        EXPECT_TRUE(Found.erase(Other)) << Other;
    for (const auto& [From, To] : {std::pair{930, 950}, std::pair{960, 969}})
        for (int Other = From; Other <= To; ++Other)
            EXPECT_TRUE(Found.erase(Other)) << Other;
    EXPECT_EQ(Found, Expected);
    for (const auto& [Number, Text] : Found)
        EXPECT_TRUE(Text.back() != ' ' && Text.back() != '\r') << Number;
    for (const int Unknown : {0, 2, 44, 699, 805, 913, 3000, -3})
        EXPECT_EQ(TableText(Unknown), "") << Unknown;
}

TEST_F(TextTableTest, VariablesAreEmptyUntilLoadedAndAfterRelease) {
    ReleaseTexts();
    EXPECT_EQ(txtSplittingDone, "");
    EXPECT_EQ(txtNotEnoughSpace, "");
    EXPECT_EQ(txtJoinedSuffix, "");
    EXPECT_EQ(txtOtherVersion2, "");

    LoadTexts();
    EXPECT_EQ(txtStart, "&Start");
    EXPECT_EQ(txtNotEnoughSpace, "Not enough drive space for output file");
    EXPECT_EQ(txtSplittingDone, "Splitting completed");
    EXPECT_TRUE(txtNotEqualAt.ends_with("position h"));
    EXPECT_EQ(txtFileJoiner, "File Joiner");
    EXPECT_EQ(txtSerifFont, "Times New Roman");
    EXPECT_EQ(txtJoinedSuffix, ".JOINED");
    EXPECT_EQ(txtOtherVersion2, TableText(911));
}

} // namespace
