// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The compare engine: equal files, unequal lengths, the offset of the first
// difference checked against cmp, its progress reports and refused inputs.
#include "EngineProbes.h"
#include "TestFiles.h"

#include "classCompare.h"

#include <cstdio>
#include <random>
#include <sys/stat.h>

namespace {

class CompareTest : public ScratchTest {
protected:
    int32_t CompareOf(const Bytes& Data1, const Bytes& Data2) {
        WriteFile(Path("one"), Data1);
        WriteFile(Path("two"), Data2);
        return CompareFiles(Path("one"), Path("two"));
    }

    int32_t CompareFiles(const std::string& Name1, const std::string& Name2) {
        Compare.FileName1 = Name1;
        Compare.FileName2 = Name2;
        Compare.Execute();
        return Compare.CompareResult;
    }

    TCompare Compare;
};

// The 0-based offset of the first difference as cmp finds it, CompareEqual
// when cmp finds none.
int32_t CmpOffset(const std::string& Name1, const std::string& Name2) {
    const std::string Command = "cmp '" + Name1 + "' '" + Name2 + "'";
    FILE* Pipe = ::popen(Command.c_str(), "r");
    long long Byte = 0;
    const int Matched = std::fscanf(Pipe, "%*s %*s differ: byte %lld", &Byte);
    const int Status = ::pclose(Pipe);
    if (Status == 0)
        return CompareEqual;
    EXPECT_EQ(Matched, 1) << Command;
    return static_cast<int32_t>(Byte - 1);
}

TEST_F(CompareTest, EqualFiles) {
    EXPECT_EQ(CompareOf({}, {}), CompareEqual);
    const Bytes Data = PatternBytes(5000);
    EXPECT_EQ(CompareOf(Data, Data), CompareEqual);
    EXPECT_EQ(CompareFiles(Path("one"), Path("one")), CompareEqual);
}

TEST_F(CompareTest, UnequalLengthsAreNeverRead) {
    const Bytes Long = PatternBytes(11);
    const Bytes Prefix(Long.begin(), Long.begin() + 10);
    EXPECT_EQ(CompareOf(Prefix, Long), CompareUnequalLength);
    EXPECT_EQ(CompareOf(Long, {}), CompareUnequalLength);
    TProgressLog Progress(Compare);
    EXPECT_EQ(CompareOf(Bytes(10, 1), Bytes(2000, 2)), CompareUnequalLength);
    EXPECT_TRUE(Progress.Fractions.empty());
}

// A file cut short while it is compared must not pass as equal on bytes that
// an earlier block left in the buffer.
// Both files are read ahead of the blocks compared, so the change comes after
// the bytes were read: still, they are not of equal length.
TEST_F(CompareTest, FileThatChangesLengthDuringTheRunIsOfUnequalLength) {
    Bytes Data = PatternBytes(1024);
    Data.insert(Data.end(), Data.begin(), Data.end());
    Data.insert(Data.end(), Data.begin(), Data.begin() + 952);
    for (const uintmax_t Length : {2048, 4000}) {
        WriteFile(Path("one"), Data);
        WriteFile(Path("two"), Data);
        int Reports = 0;
        Compare.OnProgress = [&](const std::string&, long double) {
            if (++Reports == 3)
                fs::resize_file(Path("two"), Length);
        };
        EXPECT_EQ(CompareFiles(Path("one"), Path("two")), CompareUnequalLength) << Length;
    }
}

TEST_F(CompareTest, FirstDifferenceAgreesWithCmp) {
    std::mt19937 Random(4711);
    for (int Round = 0; Round < 24; ++Round) {
        const size_t Size = 1 + Random() % 20000;
        const Bytes Data1 = PatternBytes(Size, static_cast<uint32_t>(Round));
        Bytes Data2 = Data1;
        const size_t At = Random() % Size;
        Data2[At] = static_cast<uint8_t>(Data2[At] ^ (1 + Random() % 255));
        EXPECT_EQ(CompareOf(Data1, Data2), static_cast<int32_t>(At)) << Size;
        EXPECT_EQ(Compare.CompareResult, CmpOffset(Path("one"), Path("two"))) << Size;
    }
}

TEST_F(CompareTest, DifferencesOnBlockEdgesAndSeveralDifferences) {
    const Bytes Data = PatternBytes(3000);
    for (const size_t At : {size_t{0}, size_t{1023}, size_t{1024}, size_t{2999}}) {
        Bytes Changed = Data;
        Changed[At] = static_cast<uint8_t>(~Changed[At]);
        EXPECT_EQ(CompareOf(Data, Changed), static_cast<int32_t>(At));
    }
    Bytes Changed = Data;
    for (const size_t At : {size_t{2900}, size_t{1500}, size_t{1400}})
        Changed[At] = static_cast<uint8_t>(~Changed[At]);
    EXPECT_EQ(CompareOf(Data, Changed), 1400);
}

TEST_F(CompareTest, StopsReadingAtTheBlockOfTheFirstDifference) {
    const Bytes Data = PatternBytes(3000);
    Bytes Changed = Data;
    Changed[2500] = static_cast<uint8_t>(~Changed[2500]);
    TProgressLog Progress(Compare);
    EXPECT_EQ(CompareOf(Data, Changed), 2500);
    EXPECT_EQ(Progress.Fractions, FractionsOf({0, 1024, 2048}, 3000));

    Progress.Fractions.clear();
    EXPECT_EQ(CompareOf(PatternBytes(2048), PatternBytes(2048)), CompareEqual);
    EXPECT_EQ(Progress.Fractions, (std::vector<long double>{0.0L, 0.5L, 1.0L}));

    Progress.Fractions.clear();
    EXPECT_EQ(CompareOf({}, {}), CompareEqual);
    EXPECT_EQ(Progress.Fractions, (std::vector<long double>{0.0L}));
}

TEST_F(CompareTest, CompareBlocksFindsTheFirstDifferingIndex) {
    Compare.ClearBuffers();
    Compare.Buffer2[700] = 1;
    Compare.Buffer2[900] = 1;
    Compare.CompareBlocks(1024);
    EXPECT_FALSE(Compare.BlocksEqual);
    EXPECT_EQ(Compare.DiffIndex, 700);
    Compare.CompareBlocks(700);
    EXPECT_TRUE(Compare.BlocksEqual);
    EXPECT_EQ(Compare.DiffIndex, 700);
    Compare.CompareBlocks(0);
    EXPECT_TRUE(Compare.BlocksEqual);
    EXPECT_EQ(Compare.DiffIndex, 0);

    Compare.ClearBuffers();
    Compare.CompareBlocks(1024);
    EXPECT_TRUE(Compare.BlocksEqual);
    EXPECT_EQ(Compare.DiffIndex, 1024);
}

TEST_F(CompareTest, RefusesWhatItCannotRead) {
    WriteFile(Path("file"), PatternBytes(10));
    Compare.FileName1 = Path("missing");
    Compare.FileName2 = Path("folder");
    EXPECT_EQ(MessageOf([&] { Compare.Execute(); }), "File not found");

    fs::create_directory(Path("folder"));
    Compare.FileName1 = Path("file");
    EXPECT_EQ(MessageOf([&] { Compare.Execute(); }), "I/O error 21");

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Compare.FileName1 = Path("fifo");
    Compare.FileName2 = Path("file");
    EXPECT_EQ(MessageOf([&] { Compare.Execute(); }), "I/O error 22");
}

TEST_F(CompareTest, UnreadableFileIsAnInputOutputError) {
    WriteFile(Path("open"), PatternBytes(10));
    WriteFile(Path("secret"), PatternBytes(10));
    fs::permissions(Dir, fs::perms::owner_all | fs::perms::others_all);
    fs::permissions(Path("secret"), fs::perms::owner_read);
    Compare.FileName1 = Path("open");
    Compare.FileName2 = Path("secret");
    EXPECT_EQ(RunInChild([&] {
                  if (!BecomeNobody())
                      return 2;
                  return MessageOf([&] { Compare.Execute(); }) == "I/O error 13" ? 0 : 1;
              }),
              0);
}

} // namespace
