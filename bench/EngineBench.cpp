// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Measures the engines against the system's own tools and against a bare
// loop of the same 1024-byte read and write calls. Every measured command
// runs in a child process of its own, so its peak memory is its own too.
//
//   parvox_bench suite FOLDER SIZE RUNS   makes FOLDER/source of SIZE bytes and
//                                         prints the table, the median of RUNS runs
//   parvox_bench split|join|compare|checksum ...  one run of an engine
//   parvox_bench bare-split|bare-join|bare-read2|bare-read ...
//                                         one run of the bare loop of an engine
#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classSplit.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The piece size of the default split: 1400 blocks of 1024 bytes.
constexpr int32_t SplitBlocks = 1400;

// Where the engines' progress reports land: a real call through OnProgress
// with a store the compiler cannot drop.
volatile long double LastFraction = 0;

void InstallProgress(TParvoxBase& Engine) {
    Engine.OnProgress = [](const std::string&, long double Fraction) { LastFraction = Fraction; };
}

[[noreturn]] void Fail(const std::string& What) {
    throw std::runtime_error(What + ": " + std::strerror(errno));
}

int OpenOrFail(const std::string& Name, int Flags) {
    const int Fd = ::open(Name.c_str(), Flags, 0666);
    if (Fd < 0)
        Fail(Name);
    return Fd;
}

// Base.001, Base.002, ... as plain C would name them.
std::string Numbered(const std::string& Base, int Number) {
    char Extension[16];
    std::snprintf(Extension, sizeof Extension, ".%03d", Number);
    return Base + Extension;
}

// The reference: the engines' read and write calls, on the same files, with
// nothing around them.
int BareLoop(const std::vector<std::string>& Args) {
    static char Buffer1[BlockSize];
    static char Buffer2[BlockSize];
    const std::string& Mode = Args[0];
    ssize_t Read = 0;
    if (Mode == "bare-read") {
        const int In = OpenOrFail(Args.at(1), O_RDONLY);
        while (::read(In, Buffer1, BlockSize) == BlockSize) {
        }
        ::close(In);
    } else if (Mode == "bare-read2") {
        const int In1 = OpenOrFail(Args.at(1), O_RDONLY);
        const int In2 = OpenOrFail(Args.at(2), O_RDONLY);
        while (::read(In1, Buffer1, BlockSize) == BlockSize &&
               ::read(In2, Buffer2, BlockSize) > 0) {
        }
        ::close(In1);
        ::close(In2);
    } else if (Mode == "bare-split") {
        // A new piece every SplitBlocks blocks, as the split writes them.
        const int In = OpenOrFail(Args.at(1), O_RDONLY);
        int Out = -1;
        for (int Block = 0; (Read = ::read(In, Buffer1, BlockSize)) > 0; ++Block) {
            if (Block % SplitBlocks == 0) {
                if (Out >= 0)
                    ::close(Out);
                Out = OpenOrFail(Numbered(Args.at(2), Block / SplitBlocks + 1),
                                 O_WRONLY | O_CREAT | O_TRUNC);
            }
            if (::write(Out, Buffer1, static_cast<size_t>(Read)) != Read)
                Fail(Args[2]);
        }
        ::close(Out);
        ::close(In);
    } else {
        // The pieces one after the other into one output, as the join reads them.
        const int Out = OpenOrFail(Args.at(2), O_WRONLY | O_CREAT | O_TRUNC);
        int In = -1;
        for (int Piece = 1; (In = ::open(Numbered(Args[1], Piece).c_str(), O_RDONLY)) >= 0;
             ++Piece) {
            while ((Read = ::read(In, Buffer1, BlockSize)) > 0)
                if (::write(Out, Buffer1, static_cast<size_t>(Read)) != Read)
                    Fail(Args[2]);
            ::close(In);
        }
        ::close(Out);
    }
    return 0;
}

// One run of an engine, with a progress handler installed as in the program.
int EngineRun(const std::vector<std::string>& Args) {
    LoadTexts();
    const std::string& Mode = Args[0];
    if (Mode == "split") {
        TSplit Split;
        InstallProgress(Split);
        Split.SetBaseFileName(Args.at(1));
        Split.SplitSize = std::stoi(Args.at(2));
        Split.Execute();
    } else if (Mode == "join") {
        TJoin Join;
        InstallProgress(Join);
        Join.SetBaseFileName(Args.at(1));
        Join.Execute();
    } else if (Mode == "compare") {
        TCompare Compare;
        InstallProgress(Compare);
        Compare.FileName1 = Args.at(1);
        Compare.FileName2 = Args.at(2);
        Compare.Execute();
        return Compare.CompareResult == CompareEqual ? 0 : 1;
    } else {
        TChecksum Checksum;
        InstallProgress(Checksum);
        Checksum.FileName = Args.at(1);
        std::cout << Checksum.Execute() << '\n';
    }
    return 0;
}

void MakeSource(const std::string& Name, int64_t Size) {
    const int Out = OpenOrFail(Name, O_WRONLY | O_CREAT | O_TRUNC);
    std::mt19937_64 Generator(20240601);
    std::vector<uint64_t> Chunk(1 << 17);
    for (int64_t Left = Size; Left > 0;) {
        for (auto& Word : Chunk)
            Word = Generator();
        const auto Bytes = static_cast<size_t>(std::min<int64_t>(Left, Chunk.size() * 8));
        if (::write(Out, Chunk.data(), Bytes) != static_cast<ssize_t>(Bytes))
            Fail(Name);
        Left -= static_cast<int64_t>(Bytes);
    }
    ::close(Out);
}

struct TCommand {
    TCommand(
        std::string Label, std::vector<std::string> Argv, std::string Target = {},
        std::function<void()> Clear = [] {}, std::string StdoutFile = "/dev/null")
        : Label(std::move(Label)), Argv(std::move(Argv)), Target(std::move(Target)),
          Clear(std::move(Clear)), StdoutFile(std::move(StdoutFile)) {}

    std::string Label;
    std::vector<std::string> Argv;
    // For a peer: the aim for the engine's time over this command's time.
    std::string Target;
    // Removes what an earlier run left, untimed, before each run.
    std::function<void()> Clear;
    std::string StdoutFile;
    std::vector<double> Seconds;
    // User and system time together: what the command itself cost, whatever
    // else the machine was doing.
    std::vector<double> CpuSeconds;
    long PeakKb = 0;
};

// Runs one command in a child and records its wall time and peak memory.
void Measure(TCommand& Command) {
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Child = ::fork();
    if (Child == 0) {
        const int Out = ::open(Command.StdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(Out, STDOUT_FILENO);
        std::vector<char*> Argv;
        for (auto& Arg : Command.Argv)
            Argv.push_back(Arg.data());
        Argv.push_back(nullptr);
        ::execvp(Argv[0], Argv.data());
        ::_exit(127);
    }
    int Status = 0;
    rusage Usage{};
    ::wait4(Child, &Status, 0, &Usage);
    const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - Start;
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
        throw std::runtime_error(Command.Label + " failed");
    Command.Seconds.push_back(Elapsed.count());
    const auto ToSeconds = [](const timeval& Time) { return Time.tv_sec + Time.tv_usec / 1e6; };
    Command.CpuSeconds.push_back(ToSeconds(Usage.ru_utime) + ToSeconds(Usage.ru_stime));
    Command.PeakKb = std::max(Command.PeakKb, Usage.ru_maxrss);
}

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    const size_t Middle = Values.size() / 2;
    return Values.size() % 2 ? Values[Middle] : (Values[Middle - 1] + Values[Middle]) / 2;
}

// Removes name.001, name.002, ... up to the first one missing.
void RemovePieces(const std::string& Base) {
    TParvoxBase Naming;
    Naming.SetBaseFileName(Base);
    for (int32_t Piece = 1; Naming.PieceExists(Piece); ++Piece)
        fs::remove(Naming.PieceFileName(Piece));
}

// A group: the engine first, then its peers, then the bare loop. The runs
// go round robin, so that a slow moment of the machine hits all alike.
struct TGroup {
    std::string Name;
    std::vector<TCommand> Commands;
};

// Removes what the command's last run left and writes all dirty pages out,
// so that no earlier run's write-back falls into the timed run.
void Prepare(const TCommand& Command) {
    Command.Clear();
    ::sync();
}

std::string Ratio(double Engine, double Other, const std::string& Target) {
    char Text[64];
    std::snprintf(Text, sizeof Text, "%5.2f  (target %s)", Engine / Other, Target.c_str());
    return Text;
}

void RunGroup(TGroup& Group, int Runs, int64_t Size) {
    // One untimed run of each command warms the cache.
    for (auto& Command : Group.Commands) {
        Prepare(Command);
        Measure(Command);
        Command.Seconds.clear();
        Command.CpuSeconds.clear();
    }
    for (int Run = 0; Run < Runs; ++Run)
        for (auto& Command : Group.Commands) {
            Prepare(Command);
            Measure(Command);
        }
    const double Engine = Median(Group.Commands.front().Seconds);
    const double Bare = Median(Group.Commands.back().Seconds);
    for (const auto& Command : Group.Commands) {
        const double Time = Median(Command.Seconds);
        std::string Versus;
        if (&Command == &Group.Commands.front())
            Versus = "engine / bare loop " + Ratio(Engine, Bare, "<= 1.15");
        else if (&Command != &Group.Commands.back())
            Versus = "engine / this      " + Ratio(Engine, Time, Command.Target);
        std::printf("%-9s %-27s %7.3f %7.3f %7.0f %8ld   %s\n",
                    &Command == &Group.Commands.front() ? Group.Name.c_str() : "",
                    Command.Label.c_str(), Time, Median(Command.CpuSeconds),
                    static_cast<double>(Size) / Time / 1e6, Command.PeakKb, Versus.c_str());
    }
    std::fflush(stdout);
}

int Suite(const std::string& Folder, int64_t Size, int Runs, const std::string& Self) {
    const std::string Source = Folder + "/source";
    const std::string Joined = Source + ".joined";
    const std::string Peer = Folder + "/peer";
    const std::string Bare = Folder + "/bare";
    const std::string Cat = Folder + "/cat.out";
    MakeSource(Source, Size);

    // The pieces that the split of the source leaves, in number order.
    std::vector<std::string> CatArgv{"cat"};
    TParvoxBase Naming;
    Naming.SetBaseFileName(Source);
    const int64_t PieceBytes = int64_t{SplitBlocks} * BlockSize;
    for (int32_t Piece = 1; Piece == 1 || (Piece - 1) * PieceBytes < Size; ++Piece)
        CatArgv.push_back(Naming.PieceFileName(Piece));
    const auto Remove = [](const std::string& Name) { return [Name] { fs::remove(Name); }; };

    std::vector<TGroup> Groups{
        {"split",
         {{"engine",
           {Self, "split", Source, std::to_string(SplitBlocks)},
           {},
           [&] { RemovePieces(Source); }},
          {"split -b 1433600 -a 3 -d",
           {"split", "-b", std::to_string(PieceBytes), "-a", "3", "-d", "--numeric-suffixes=1",
            Source, Peer + "."},
           "<= 1.2",
           [&] { RemovePieces(Peer); }},
          {"bare loop read+write",
           {Self, "bare-split", Source, Bare},
           {},
           [&] { RemovePieces(Bare); }}}},
        {"join",
         {{"engine", {Self, "join", Source}, {}, Remove(Joined)},
          {"cat pieces > out", CatArgv, "<= 1.2", Remove(Cat), Cat},
          {"bare loop read+write", {Self, "bare-join", Source, Bare}, {}, Remove(Bare)}}},
        {"compare",
         {{"engine", {Self, "compare", Source, Joined}},
          {"cmp", {"cmp", Source, Joined}, "<= 2"},
          {"bare loop read x 2", {Self, "bare-read2", Source, Joined}}}},
        {"checksum",
         {{"engine", {Self, "checksum", Source}},
          {"cksum", {"cksum", Source}, "<= 5"},
          {"sum", {"sum", Source}, "< 1"},
          {"bare loop read", {Self, "bare-read", Source}}}},
    };

    std::printf("%lld bytes, median of %d warm runs\n\n", static_cast<long long>(Size), Runs);
    std::printf("%-9s %-27s %7s %7s %7s %8s   %s\n", "", "command", "wall s", "cpu s", "MB/s",
                "peak KB", "ratio");
    // In this order: the split leaves the pieces for the join, whose output
    // is the compare's second file.
    for (auto& Group : Groups)
        RunGroup(Group, Runs, Size);
    return 0;
}

} // namespace

int main(int Argc, char** Argv) {
    const std::vector<std::string> Args(Argv + 1, Argv + Argc);
    try {
        if (Args.empty())
            throw std::runtime_error("usage: parvox_bench suite FOLDER SIZE RUNS");
        if (Args[0] == "suite")
            return Suite(Args.at(1), std::stoll(Args.at(2)), std::stoi(Args.at(3)),
                         fs::canonical("/proc/self/exe").string());
        if (Args[0].starts_with("bare-"))
            return BareLoop(Args);
        return EngineRun(Args);
    } catch (const std::exception& Error) {
        std::cerr << "parvox_bench: " << Error.what() << '\n';
        return 1;
    }
}
