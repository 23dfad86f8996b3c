// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The file layer: what it refuses to open, full-block reads,
// refused writes, and the messages of the input/output errors.
#include "TestFiles.h"

#include "classByteFile.h"
#include "classParvoxErrors.h"

#include <sys/stat.h>

namespace {

class ByteFileTest : public ScratchTest {
protected:
    TByteFile File;

    // The error number that Call raises, or 0.
    template <typename Call> int ErrorCodeOf(Call&& Body) {
        try {
            Body();
        } catch (const EInOutError& Error) {
            return Error.ErrorCode;
        }
        return 0;
    }
};

TEST_F(ByteFileTest, OnlyRegularFilesOpenForReadingAndNoOpenWaits) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    const std::pair<std::string, int> Cases[] = {{Path("missing"), 2},
                                                 {Dir.string(), 21},
                                                 {Path("pipe"), 22},
                                                 {"/dev/zero", 22},
                                                 {"/dev/null", 22}};
    for (const auto& [Name, Code] : Cases) {
        File.Assign(Name);
        EXPECT_EQ(ErrorCodeOf([&] { File.Reset(); }), Code) << Name;
        EXPECT_FALSE(File.IsOpen()) << Name;
    }

    // A pipe without a reader cannot be written, and the open says so at once.
    File.Assign(Path("pipe"));
    EXPECT_EQ(ErrorCodeOf([&] { File.Rewrite(0644); }), ENXIO);
    File.Assign(Dir.string());
    EXPECT_EQ(ErrorCodeOf([&] { File.Rewrite(0644); }), EISDIR);
}

TEST_F(ByteFileTest, ReadsReturnFullBlocksUntilTheEnd) {
    const Bytes Data = PatternBytes(2500);
    WriteFile(Path("data"), Data);
    File.Assign(Path("data"));
    File.Reset();
    uint8_t Block[1024];
    Bytes Back;
    // The file grows by 1500 zeros after two blocks: the third is whole
    // across the read of the old end and the read of what came after.
    for (const int32_t Expected : {1024, 1024, 1024, 928, 0}) {
        if (Back.size() == 2048)
            fs::resize_file(Path("data"), 4000);
        const int32_t Read = File.BlockRead(Block, 1024);
        EXPECT_EQ(Read, Expected);
        Back.insert(Back.end(), Block, Block + Read);
    }
    Bytes Grown = Data;
    Grown.resize(4000);
    EXPECT_EQ(Back, Grown);
    File.Close();
}

TEST_F(ByteFileTest, RewriteTruncatesAndWriteRefusedOutrightRaises) {
    WriteFile(Path("in"), {'a', 'b', 'c'});
    TByteFile Input;
    WriteFile(Path("out"), PatternBytes(5000));
    for (const char* Output : {"out", "/dev/full"}) {
        Input.Assign(Path("in"));
        Input.Reset();
        File.Assign(Output[0] == '/' ? Output : Path(Output));
        File.Rewrite(0644);
        if (Output[0] == '/') {
            EXPECT_EQ(MessageOf([&] { (void)Input.BlockCopy(File, 1024, 1); }), "I/O error 28");
        } else {
            const TBlockCounts Block = Input.BlockCopy(File, 1024, 1);
            EXPECT_EQ(Block.Read, 3);
            EXPECT_EQ(Block.Written, 3);
            EXPECT_EQ(ReadFile(Path("out")), (Bytes{'a', 'b', 'c'}));
        }
        File.Close();
    }
}

TEST(InOutErrorTest, MessageIsChosenByTheErrorNumber) {
    const std::pair<int, const char*> Cases[] = {{2, "File not found"},
                                                 {3, "Invalid filename"},
                                                 {4, "Too many open files"},
                                                 {5, "File access denied"},
                                                 {100, "Read beyond end of file"},
                                                 {101, "Disk full"},
                                                 {106, "Invalid numeric input"},
                                                 {13, "I/O error 13"},
                                                 {28, "I/O error 28"},
                                                 {75, "I/O error 75"}};
    for (const auto& [Code, Message] : Cases) {
        const EInOutError Error(Code);
        EXPECT_STREQ(Error.what(), Message);
        EXPECT_EQ(Error.ErrorCode, Code);
    }
}

} // namespace
