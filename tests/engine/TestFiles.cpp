// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Shared helpers of the engine tests, and the text table they all need.
#include "TestFiles.h"

#include "txt.h"

#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The engines take their failure messages from the text table.
class LoadTextsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { LoadTexts(); }
};

const auto* const TextsEnvironment = ::testing::AddGlobalTestEnvironment(new LoadTextsEnvironment);

} // namespace

void ScratchTest::SetUp() {
    std::string Template = (fs::temp_directory_path() / "parvox-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(Template.data()), nullptr);
    Dir = Template;
}

void ScratchTest::TearDown() {
    std::error_code Ignored;
    fs::remove_all(Dir, Ignored);
}

std::string ScratchTest::Path(const std::string& Name) const {
    return (Dir / Name).string();
}

void WriteFile(const std::string& Name, const Bytes& Data) {
    std::ofstream Out(Name, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Data.data()),
              static_cast<std::streamsize>(Data.size()));
    ASSERT_TRUE(Out.good()) << Name;
}

Bytes ReadFile(const std::string& Name) {
    std::ifstream In(Name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

Bytes PatternBytes(size_t Size, uint32_t Seed) {
    std::mt19937 Generator(Seed);
    Bytes Data(Size);
    for (auto& Byte : Data)
        Byte = static_cast<uint8_t>(Generator());
    return Data;
}

std::string PieceName(const std::string& Base, int Piece) {
    const std::string Digits = std::to_string(Piece);
    return Base + "." + std::string(Digits.size() < 3 ? 3 - Digits.size() : 0, '0') + Digits;
}

std::vector<uintmax_t> PieceSizes(const std::string& Base) {
    std::vector<uintmax_t> Sizes;
    for (int Piece = 1;; ++Piece) {
        const std::string Name = PieceName(Base, Piece);
        if (!fs::exists(Name))
            return Sizes;
        Sizes.push_back(fs::file_size(Name));
    }
}

bool SetImmutable(const std::string& Name, bool On) {
    const int Fd = ::open(Name.c_str(), O_RDONLY);
    int Flags = 0;
    bool Done = ::ioctl(Fd, FS_IOC_GETFLAGS, &Flags) == 0;
    Flags = On ? Flags | FS_IMMUTABLE_FL : Flags & ~FS_IMMUTABLE_FL;
    Done = Done && ::ioctl(Fd, FS_IOC_SETFLAGS, &Flags) == 0;
    ::close(Fd);
    return Done;
}

int RunInChild(const std::function<int()>& Body) {
    const pid_t Child = ::fork();
    if (Child == 0)
        ::_exit(Body());
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

std::map<std::string, Bytes> FolderContents(const fs::path& Folder) {
    std::map<std::string, Bytes> Contents;
    for (const auto& Entry : fs::directory_iterator(Folder)) {
        const bool Regular = fs::is_regular_file(Entry.symlink_status());
        Contents[Entry.path().filename().string()] = Regular ? ReadFile(Entry.path()) : Bytes{};
    }
    return Contents;
}

std::string MessageInChild(const std::function<void()>& Body) {
    int Pipe[2];
    if (::pipe(Pipe) != 0)
        return "(no pipe)";
    const int Status = RunInChild([&] {
        ::close(Pipe[0]);
        const std::string Message = MessageOf(Body);
        const auto Sent = ::write(Pipe[1], Message.data(), Message.size());
        return Sent == static_cast<ssize_t>(Message.size()) ? 0 : 1;
    });
    ::close(Pipe[1]);
    std::string Message;
    char Chunk[256];
    for (ssize_t N; (N = ::read(Pipe[0], Chunk, sizeof Chunk)) > 0;)
        Message.append(Chunk, static_cast<size_t>(N));
    ::close(Pipe[0]);
    return Status == 0 ? Message : "(child ended with status " + std::to_string(Status) + ")";
}
