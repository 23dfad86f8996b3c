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

    // An output is always a new file: nothing is written through a name
    // that is there, whatever it is.
    fs::create_symlink(Path("nowhere"), Path("link"));
    for (const std::string& Name : {Path("pipe"), Dir.string(), Path("link")}) {
        File.Assign(Name);
        EXPECT_EQ(ErrorCodeOf([&] { File.Create(0644); }), EEXIST) << Name;
    }
    EXPECT_FALSE(fs::exists(Path("nowhere")));
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

TEST_F(ByteFileTest, CreateMakesANewFileThatTakesTheCopy) {
    WriteFile(Path("in"), {'a', 'b', 'c'});
    TByteFile Input;
    Input.Assign(Path("in"));
    Input.Reset();
    File.Assign(Path("out"));
    File.Create(0644);
    const TBlockCounts Block = Input.BlockCopy(File, 1024, 1);
    EXPECT_EQ(Block.Read, 3);
    EXPECT_EQ(Block.Written, 3);
    File.Close();
    EXPECT_EQ(ReadFile(Path("out")), (Bytes{'a', 'b', 'c'}));
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
    // With the file known, every message names it in the system's words.
    EXPECT_STREQ(EInOutError(5, "/media/stick/film.mkv.003").what(),
                 "File access denied.\nInput/output error: /media/stick/film.mkv.003");
    EXPECT_STREQ(EInOutError(28, "/media/stick/clip.003").what(),
                 "I/O error 28.\nNo space left on device: /media/stick/clip.003");
}

} // namespace
