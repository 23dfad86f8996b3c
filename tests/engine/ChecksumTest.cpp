// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The checksum engine: the sum of all bytes modulo 1,000,000,000, its
// progress reports and the inputs it refuses.
#include "EngineProbes.h"
#include "TestFiles.h"

#include "classChecksum.h"

#include <algorithm>
#include <numeric>
#include <sys/stat.h>

namespace {

class ChecksumTest : public ScratchTest {
protected:
    int32_t ChecksumOf(const Bytes& Data) {
        WriteFile(Path("input"), Data);
        Checksum.FileName = Path("input");
        return Checksum.Execute();
    }

    TChecksum Checksum;
};

// The checksum worked out byte by byte, independently of the engine.
int32_t ByteSum(const Bytes& Data) {
    return static_cast<int32_t>(std::accumulate(Data.begin(), Data.end(), uint64_t{0}) %
                                1'000'000'000);
}

TEST_F(ChecksumTest, KnownSums) {
    EXPECT_EQ(ChecksumOf({'a', 'b', 'c'}), 294);
    EXPECT_EQ(ChecksumOf(Bytes(4'000'000, 255)), 20'000'000);
    EXPECT_EQ(ChecksumOf({}), 0);
    EXPECT_EQ(ChecksumOf(Bytes(3000, 0)), 0);

    // 3,921,568 x 255 + 160 is exactly 1,000,000,000.
    Bytes Billion(3'921'568, 255);
    Billion.push_back(160);
    EXPECT_EQ(ChecksumOf(Billion), 0);
    Billion.push_back(7);
    EXPECT_EQ(ChecksumOf(Billion), 7);
}

TEST_F(ChecksumTest, EqualsTheSumOfAllBytesInAnyOrder) {
    for (const size_t Size :
         {size_t{1}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{4'321'987}}) {
        Bytes Data = PatternBytes(Size, static_cast<uint32_t>(Size));
        const int32_t Expected = ByteSum(Data);
        EXPECT_EQ(ChecksumOf(Data), Expected) << Size;
        std::reverse(Data.begin(), Data.end());
        EXPECT_EQ(ChecksumOf(Data), Expected) << Size;
        EXPECT_EQ(Checksum.Execute(), Expected) << Size;
    }
}

TEST_F(ChecksumTest, ShortLastBlockAddsOnlyItsOwnBytes) {
    // A full block of 255s before the short one must not leak into it.
    Bytes Data(1024, 255);
    Data.push_back(1);
    EXPECT_EQ(ChecksumOf(Data), 1024 * 255 + 1);
}

TEST(BlockSumTest, VectorAndPlainPathsAgree) {
    // All 255s fill every lane to its most; lengths around the vector
    // unit's steps and the block size, from an unaligned start as well.
    for (const Bytes& Data :
         {Bytes(BlockSize + 1, 0), Bytes(BlockSize + 1, 255), PatternBytes(BlockSize + 1, 24)})
        for (const int32_t Count : {0, 1, 31, 32, 33, 63, 64, 65, 1000, 1023, 1024})
            for (const uint8_t* Block : {Data.data(), Data.data() + 1}) {
                SCOPED_TRACE(::testing::Message() << int{Data[0]} << " " << Count);
                const int32_t Expected = std::accumulate(Block, Block + Count, 0);
                EXPECT_EQ(BlockSum(Block, Count), Expected);
                EXPECT_EQ(PlainBlockSum(Block, Count), Expected);
            }
}

TEST_F(ChecksumTest, ReportsBeforeEveryRead) {
    TProgressLog Progress(Checksum);
    (void)ChecksumOf(Bytes(1024, 1));
    EXPECT_EQ(Progress.Fractions, (std::vector<long double>{0.0L, 1.0L}));

    Progress.Fractions.clear();
    (void)ChecksumOf({});
    EXPECT_EQ(Progress.Fractions, (std::vector<long double>{0.0L}));

    Progress.Fractions.clear();
    (void)ChecksumOf(Bytes(3000, 1));
    EXPECT_EQ(Progress.Fractions, FractionsOf({0, 1024, 2048}, 3000));
}

TEST_F(ChecksumTest, RefusesWhatItCannotSum) {
    Checksum.FileName = Path("missing");
    EXPECT_EQ(MessageOf([&] { (void)Checksum.Execute(); }), "File not found");

    fs::create_directory(Path("folder"));
    Checksum.FileName = Path("folder");
    EXPECT_EQ(MessageOf([&] { (void)Checksum.Execute(); }), "I/O error 21");

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Checksum.FileName = Path("fifo");
    EXPECT_EQ(MessageOf([&] { (void)Checksum.Execute(); }), "I/O error 22");
    EXPECT_FALSE(Checksum.ChecksumFile.IsOpen());
}

TEST_F(ChecksumTest, UnreadableFileIsAnInputOutputError) {
    WriteFile(Path("secret"), PatternBytes(10));
    fs::permissions(Dir, fs::perms::owner_all | fs::perms::others_all);
    fs::permissions(Path("secret"), fs::perms::owner_read);
    Checksum.FileName = Path("secret");
    EXPECT_EQ(RunInChild([&] {
                  if (!BecomeNobody())
                      return 2;
                  return MessageOf([&] { (void)Checksum.Execute(); }) == "I/O error 13" ? 0 : 1;
              }),
              0);
}

} // namespace
