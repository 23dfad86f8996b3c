// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Loading and release of the text table; the table itself is generated from
// texts.txt into txt_table.cpp at configure time.
#include "txt.h"

#include <array>
#include <string_view>
#include <utility>

extern const std::string_view ParvoxTextTable;

std::string txtStart, txtRunning, txtClose, txtSplit, txtJoin, txtCompare, txtChecksum, txtHelp,
    txtExit, txtAbout, txtNotEnoughSpace, txtDestinationFull, txtInvalidSplitSize, txtNoSourceFile,
    txtWorking, txtReady, txtSplittingDone, txtSplitSizeKb, txtFileToSplit, txtFileSplitter,
    txtUnknown, txtFileName, txtChecksumCaption, txtChecksumReady, txtHelpTitle, txtProductTitle,
    txtFileCompare, txtFile1, txtFile2, txtUnequalLength, txtFilesEqual, txtNotEqualAt,
    txtFilesUnknown, txtHelpMissing, txtSpecifyJoinFiles, txtJoiningDone, txtInvalidSourceName,
    txtSelectNewFile, txtFilesToJoin, txtFileToRestore, txtFileJoiner, txtSerifFont, txtSansFont,
    txtJoinedSuffix, txtHelpFile, txtSuffixY, txtSuffixZ, txtSuffixX, txtOtherTitle1,
    txtOtherVersion1, txtOtherTitle2, txtOtherVersion2, txtOutputTooLarge, txtPieceDamaged,
    txtJoinedDamaged, txtPieceMissing, txtPieceNotListed, txtSumsUnreadable, txtSizeDiffers,
    txtAllPiecesMatch, txtOnePieceMatches, txtJoinedMatches, txtPieceTooLarge, txtInputChanged,
    txtInTheWay, txtForeignSums, txtPieceSwapped, txtPiecesChanged, txtPiecesNeed, txtJoinedNeeds,
    txtSourceChanged, txtAppeared, txtNotRemoved, txtCopiesDiffer, txtNoRecovery, txtRecoveryAway,
    txtTooManyPieces, txtNotRebuilt, txtForeignRecovery, txtBeyondRepair, txtRebuiltDamaged,
    txtRebuiltMissing, txtRebuiltShort, txtMatchesRecovery;

namespace {

// In ascending order of number, the order in which they are loaded.
const std::array<std::pair<int, std::string*>, 84> TextVariables{{
    {3, &txtStart},
    {4, &txtRunning},
    {5, &txtClose},
    {6, &txtSplit},
    {7, &txtJoin},
    {8, &txtCompare},
    {9, &txtChecksum},
    {10, &txtHelp},
    {11, &txtExit},
    {12, &txtAbout},
    {13, &txtNotEnoughSpace},
    {14, &txtDestinationFull},
    {15, &txtInvalidSplitSize},
    {16, &txtNoSourceFile},
    {17, &txtWorking},
    {18, &txtReady},
    {19, &txtSplittingDone},
    {20, &txtSplitSizeKb},
    {21, &txtFileToSplit},
    {22, &txtFileSplitter},
    {23, &txtUnknown},
    {24, &txtFileName},
    {25, &txtChecksumCaption},
    {26, &txtChecksumReady},
    {27, &txtHelpTitle},
    {28, &txtProductTitle},
    {29, &txtFileCompare},
    {30, &txtFile1},
    {31, &txtFile2},
    {32, &txtUnequalLength},
    {33, &txtFilesEqual},
    {34, &txtNotEqualAt},
    {35, &txtFilesUnknown},
    {36, &txtHelpMissing},
    {37, &txtSpecifyJoinFiles},
    {38, &txtJoiningDone},
    {39, &txtInvalidSourceName},
    {40, &txtSelectNewFile},
    {41, &txtFilesToJoin},
    {42, &txtFileToRestore},
    {43, &txtFileJoiner},
    {700, &txtSerifFont},
    {701, &txtSansFont},
    {800, &txtJoinedSuffix},
    {801, &txtHelpFile},
    {802, &txtSuffixY},
    {803, &txtSuffixZ},
    {804, &txtSuffixX},
    {900, &txtOtherTitle1},
    {901, &txtOtherVersion1},
    {910, &txtOtherTitle2},
    {911, &txtOtherVersion2},
    {912, &txtOutputTooLarge},
    {930, &txtPieceDamaged},
    {931, &txtJoinedDamaged},
    {932, &txtPieceMissing},
    {933, &txtPieceNotListed},
    {934, &txtSumsUnreadable},
    {935, &txtSizeDiffers},
    {936, &txtAllPiecesMatch},
    {937, &txtOnePieceMatches},
    {938, &txtJoinedMatches},
    {939, &txtPieceTooLarge},
    {940, &txtInputChanged},
    {941, &txtInTheWay},
    {942, &txtForeignSums},
    {943, &txtPieceSwapped},
    {944, &txtPiecesChanged},
    {945, &txtPiecesNeed},
    {946, &txtJoinedNeeds},
    {947, &txtSourceChanged},
    {948, &txtAppeared},
    {949, &txtNotRemoved},
    {950, &txtCopiesDiffer},
    {960, &txtNoRecovery},
    {961, &txtRecoveryAway},
    {962, &txtTooManyPieces},
    {963, &txtNotRebuilt},
    {964, &txtForeignRecovery},
    {965, &txtBeyondRepair},
    {966, &txtRebuiltDamaged},
    {967, &txtRebuiltMissing},
    {968, &txtRebuiltShort},
    {969, &txtMatchesRecovery},
}};

} // namespace

std::string TableText(int Number) {
    // Lines are "number<TAB>text"; lines that do not start with a digit are comments.
    std::string_view Rest = ParvoxTextTable;
    while (!Rest.empty()) {
        const auto End = Rest.find('\n');
        const std::string_view Line = Rest.substr(0, End);
        Rest = End == std::string_view::npos ? std::string_view{} : Rest.substr(End + 1);
        const auto Tab = Line.find('\t');
        if (Tab == std::string_view::npos || Line.empty() || Line[0] < '0' || Line[0] > '9')
            continue;
        int LineNumber = 0;
        for (const char C : Line.substr(0, Tab))
            LineNumber = LineNumber * 10 + (C - '0');
        if (LineNumber == Number)
            return std::string(Line.substr(Tab + 1));
    }
    return {};
}

std::string TextWith(const std::string& Text, std::initializer_list<std::string> Values) {
    std::string Result;
    for (size_t At = 0; At < Text.size(); ++At) {
        const size_t Index = At + 1 < Text.size() ? static_cast<size_t>(Text[At + 1] - '1') : 0;
        if (Text[At] == '%' && Index < Values.size()) {
            Result += Values.begin()[Index];
            ++At;
        } else {
            Result += Text[At];
        }
    }
    return Result;
}

void LoadTexts() {
    for (const auto& [Number, Variable] : TextVariables)
        *Variable = TableText(Number);
}

void ReleaseTexts() {
    for (const auto& Entry : TextVariables)
        Entry.second->clear();
}
