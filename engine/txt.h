// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's numbered text table: messages, a placeholder word, a font
// name and a suffix, kept apart from the code and copied into one variable
// each when the main window is created.
#pragma once

#include <initializer_list>
#include <string>

// Fills every text variable from the table embedded in the program.
void LoadTexts();
// Sets every text variable back to the empty text, at shutdown.
void ReleaseTexts();
// The text of a table entry, or the empty text for a number without one.
[[nodiscard]] std::string TableText(int Number);

extern std::string txtStart;             // 3
extern std::string txtRunning;           // 4
extern std::string txtClose;             // 5
extern std::string txtSplit;             // 6
extern std::string txtJoin;              // 7
extern std::string txtCompare;           // 8
extern std::string txtChecksum;          // 9
extern std::string txtHelp;              // 10
extern std::string txtExit;              // 11
extern std::string txtAbout;             // 12
extern std::string txtNotEnoughSpace;    // 13
extern std::string txtDestinationFull;   // 14
extern std::string txtInvalidSplitSize;  // 15
extern std::string txtNoSourceFile;      // 16
extern std::string txtWorking;           // 17
extern std::string txtReady;             // 18
extern std::string txtSplittingDone;     // 19
extern std::string txtSplitSizeKb;       // 20
extern std::string txtFileToSplit;       // 21
extern std::string txtFileSplitter;      // 22
extern std::string txtUnknown;           // 23
extern std::string txtFileName;          // 24
extern std::string txtChecksumCaption;   // 25
extern std::string txtChecksumReady;     // 26
extern std::string txtHelpTitle;         // 27
extern std::string txtProductTitle;      // 28
extern std::string txtFileCompare;       // 29
extern std::string txtFile1;             // 30
extern std::string txtFile2;             // 31
extern std::string txtUnequalLength;     // 32
extern std::string txtFilesEqual;        // 33
extern std::string txtNotEqualAt;        // 34
extern std::string txtFilesUnknown;      // 35
extern std::string txtHelpMissing;       // 36
extern std::string txtSpecifyJoinFiles;  // 37
extern std::string txtJoiningDone;       // 38
extern std::string txtInvalidSourceName; // 39
extern std::string txtSelectNewFile;     // 40
extern std::string txtFilesToJoin;       // 41
extern std::string txtFileToRestore;     // 42
extern std::string txtFileJoiner;        // 43
extern std::string txtSerifFont;         // 700
extern std::string txtSansFont;          // 701
extern std::string txtJoinedSuffix;      // 800
extern std::string txtHelpFile;          // 801
extern std::string txtSuffixY;           // 802
extern std::string txtSuffixZ;           // 803
extern std::string txtSuffixX;           // 804
extern std::string txtOtherTitle1;       // 900
extern std::string txtOtherVersion1;     // 901
extern std::string txtOtherTitle2;       // 910
extern std::string txtOtherVersion2;     // 911
extern std::string txtOutputTooLarge;    // 912
extern std::string txtPieceDamaged;      // 930
extern std::string txtJoinedDamaged;     // 931
extern std::string txtPieceMissing;      // 932
extern std::string txtPieceNotListed;    // 933
extern std::string txtSumsUnreadable;    // 934
extern std::string txtSizeDiffers;       // 935
extern std::string txtAllPiecesMatch;    // 936
extern std::string txtOnePieceMatches;   // 937
extern std::string txtJoinedMatches;     // 938
extern std::string txtPieceTooLarge;     // 939
extern std::string txtInputChanged;      // 940
extern std::string txtInTheWay;          // 941
extern std::string txtForeignSums;       // 942
extern std::string txtPieceSwapped;      // 943
extern std::string txtPiecesChanged;     // 944
extern std::string txtPiecesNeed;        // 945
extern std::string txtJoinedNeeds;       // 946
extern std::string txtSourceChanged;     // 947
extern std::string txtAppeared;          // 948
extern std::string txtNotRemoved;        // 949
extern std::string txtCopiesDiffer;      // 950
extern std::string txtNoRecovery;        // 960
extern std::string txtRecoveryAway;      // 961
extern std::string txtTooManyPieces;     // 962
extern std::string txtNotRebuilt;        // 963
extern std::string txtForeignRecovery;   // 964
extern std::string txtBeyondRepair;      // 965
extern std::string txtRebuiltDamaged;    // 966
extern std::string txtRebuiltMissing;    // 967
extern std::string txtRebuiltShort;      // 968
extern std::string txtMatchesRecovery;   // 969

// Text with %1, %2, ... replaced by the values in their order.
[[nodiscard]] std::string TextWith(const std::string& Text,
                                   std::initializer_list<std::string> Values);
