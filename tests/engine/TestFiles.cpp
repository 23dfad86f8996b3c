// Shared helpers of the engine tests, and the text table they all need.
#include "TestFiles.h"

#include "txt.h"

#include <fstream>
#include <random>
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

std::vector<uintmax_t> PieceSizes(const std::string& Base) {
    std::vector<uintmax_t> Sizes;
    for (int Piece = 1;; ++Piece) {
        std::string Name = std::to_string(Piece);
        Name = Base + "." + std::string(Name.size() < 3 ? 3 - Name.size() : 0, '0') + Name;
        if (!fs::exists(Name))
            return Sizes;
        Sizes.push_back(fs::file_size(Name));
    }
}

int RunInChild(const std::function<int()>& Body) {
    const pid_t Child = ::fork();
    if (Child == 0)
        ::_exit(Body());
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}
