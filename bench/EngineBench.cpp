// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Measures the engines against the system's own tools and a plain copy, and
// the progress window's cost against an empty progress handler. Every
// measured command runs in a child process of its own, so its peak memory
// is its own too.
//
//   parvox_bench suite FOLDER SIZE RUNS   makes FOLDER/source of SIZE bytes and
//                                         prints the table, the median of RUNS runs
//   parvox_bench recovery-suite FOLDER SIZE RUNS
//                                         the split with recovery data (10 per cent)
//                                         against split and par2 create, and the join
//                                         that rebuilds a damaged piece against par2
//                                         repair and cat
//   parvox_bench memory FOLDER            prints the peak memory of a split with its
//                                         checksum file and of the checked join, into
//                                         20,480 and into 204,800 pieces of 1 Kbyte
//   parvox_bench split [--check] [--recovery PERCENT] FILE BLOCKS [FOLDER]
//              | join BASE [FOLDER] [--from DIR]... | compare|checksum ...
//                                         one run of an engine as a library
//                                         caller runs it, with an empty handler;
//                                         parvox_bench_window runs it inside Qt
//   parvox_bench recovery FILE BLOCKS PERCENT | repair FILE
//                                         the recovery data of FILE's pieces
//                                         written, or the pieces checked and
//                                         rebuilt
#include "EngineRun.h"
#include "classSplit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <linux/magic.h>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The piece size of the default split: 1400 blocks of 1024 bytes.
constexpr int32_t SplitBlocks = 1400;

[[noreturn]] void Fail(const std::string& What) {
    throw std::runtime_error(What + ": " + std::strerror(errno));
}

int OpenOrFail(const std::string& Name, int Flags) {
    const int Fd = ::open(Name.c_str(), Flags, 0666);
    if (Fd < 0)
        Fail(Name);
    return Fd;
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

// What a row of a group is measured for.
enum class TRole {
    Engine,  // the engine as a library caller runs it, with an empty handler
    QtEmpty, // the same inside a Qt application, still with an empty handler
    Window,  // the same reporting to the progress window: its cost over QtEmpty
    Peer,    // the system's tool for the same work: the engine's time over it
    Limit,   // a plain copy of the same bytes: what no program can beat here
};

struct TCommand {
    TCommand(
        TRole Role, std::string Label, std::vector<std::string> Argv, std::string Target = {},
        std::function<void()> Clear = [] {}, std::string StdoutFile = "/dev/null")
        : Role(Role), Label(std::move(Label)), Argv(std::move(Argv)), Target(std::move(Target)),
          Clear(std::move(Clear)), StdoutFile(std::move(StdoutFile)) {}

    TRole Role;
    std::string Label;
    std::vector<std::string> Argv;
    // The aim for the ratio that the row shows.
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

// A group: the engine in its three ways first, then its peers. The runs go
// round robin, so that a slow moment of the machine hits all alike.
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

std::string Ratio(const std::string& What, double Ratio, const std::string& Target) {
    char Text[96];
    std::snprintf(Text, sizeof Text, "%-22s %5.2f  %s", What.c_str(), Ratio, Target.c_str());
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
    const auto TimeOf = [&Group](TRole Role) {
        for (const auto& Command : Group.Commands)
            if (Command.Role == Role)
                return Median(Command.Seconds);
        return 0.0;
    };
    const double Engine = TimeOf(TRole::Engine);
    for (const auto& Command : Group.Commands) {
        const double Time = Median(Command.Seconds);
        std::string Versus;
        if (Command.Role == TRole::Window)
            Versus = Ratio("window / empty handler", Time / TimeOf(TRole::QtEmpty), Command.Target);
        else if (Command.Role == TRole::Peer || Command.Role == TRole::Limit)
            Versus = Ratio("engine / this", Engine / Time, Command.Target);
        std::printf("%-9s %-27s %7.3f %7.3f %7.0f %8ld   %s\n",
                    &Command == &Group.Commands.front() ? Group.Name.c_str() : "",
                    Command.Label.c_str(), Time, Median(Command.CpuSeconds),
                    static_cast<double>(Size) / Time / 1e6, Command.PeakKb, Versus.c_str());
    }
    std::fflush(stdout);
}

// The engine's three rows: alone, inside Qt, and reporting to the progress window.
std::vector<TCommand> EngineRows(const std::string& Self, const std::vector<std::string>& Args,
                                 const std::function<void()>& Clear) {
    std::vector<TCommand> Rows;
    const std::pair<TRole, std::string> Ways[] = {
        {TRole::Engine, ""}, {TRole::QtEmpty, "qt-"}, {TRole::Window, "window-"}};
    for (const auto& [Role, Prefix] : Ways) {
        std::vector<std::string> Argv{Role == TRole::Engine ? Self : Self + "_window",
                                      Prefix + Args[0]};
        Argv.insert(Argv.end(), Args.begin() + 1, Args.end());
        const char* Label = Role == TRole::Engine    ? "engine"
                            : Role == TRole::QtEmpty ? "engine in Qt, empty handler"
                                                     : "engine, progress window";
        Rows.emplace_back(Role, Label, Argv, Role == TRole::Window ? "(aim <= 1.03)" : "", Clear);
    }
    return Rows;
}

int Suite(const std::string& Folder, int64_t Size, int Runs, const std::string& Self) {
    const std::string Source = Folder + "/source";
    const std::string Joined = Source + ".joined";
    const std::string Peer = Folder + "/peer";
    const std::string Cat = Folder + "/cat.out";
    const std::string Copy = Folder + "/cp.out";
    MakeSource(Source, Size);

    // The pieces that the splits of the source leave, in number order.
    std::vector<std::string> CatArgv{"cat"};
    std::vector<std::string> PeerPieces;
    TParvoxBase Naming;
    const int64_t PieceBytes = int64_t{SplitBlocks} * BlockSize;
    for (int32_t Piece = 1; Piece == 1 || (Piece - 1) * PieceBytes < Size; ++Piece) {
        Naming.SetBaseFileName(Source);
        CatArgv.push_back(Naming.PieceFileName(Piece));
        Naming.SetBaseFileName(Peer);
        PeerPieces.push_back(Naming.PieceFileName(Piece));
    }
    const auto Remove = [](const std::string& Name) { return [Name] { fs::remove(Name); }; };
    const auto Rows = [](std::vector<TCommand> Engine, std::vector<TCommand> Others) {
        Engine.insert(Engine.end(), Others.begin(), Others.end());
        return Engine;
    };
    const TCommand CopyLimit(TRole::Limit, "cp (the limit)", {"cp", Source, Copy}, "",
                             Remove(Copy));
    // The peers with the engines' guarantee: done only once the data is stored,
    // by a sync of the file system, or on FUSE, which that does not reach, by
    // a sync of each output file.
    struct statfs FileSystem {};
    const bool Fuse =
        ::statfs(Folder.c_str(), &FileSystem) == 0 && FileSystem.f_type == FUSE_SUPER_MAGIC;
    const std::string Sync = Fuse ? "sync" : "sync -f";
    const std::string SyncAim = Fuse ? "(aim <= 1.5 on FUSE)" : "(aim <= 1.10 on disk)";
    const auto Stored = [Fuse, &Sync](const std::vector<std::string>& Argv,
                                      const std::vector<std::string>& Outputs) {
        std::string Line;
        for (const auto& Word : Argv)
            Line += "'" + Word + "' ";
        Line += "&& " + Sync;
        for (size_t Output = 0; Output < (Fuse ? Outputs.size() : 1); ++Output)
            Line += " '" + Outputs[Output] + "'";
        return std::vector<std::string>{"sh", "-c", Line};
    };
    const std::vector<std::string> SplitArgv{"split",   "-b", std::to_string(PieceBytes), "-a",
                                             "3",       "-d", "--numeric-suffixes=1",     Source,
                                             Peer + "."};

    // The checksum file at split and its check at join, against sha256sum
    // beside split and cat, in the folder so that the lines hold bare names.
    std::string PeerSums = "cd '" + Folder + "' && split -b " + std::to_string(PieceBytes) +
                           " -a 3 -d --numeric-suffixes=1 source peer. && sha256sum";
    std::string PeerCheck =
        "cd '" + Folder + "' && sha256sum -c --ignore-missing --quiet " + "source.sha256 && cat";
    for (size_t Piece = 0; Piece < PeerPieces.size(); ++Piece) {
        PeerSums += " " + fs::path(PeerPieces[Piece]).filename().string();
        PeerCheck += " " + fs::path(CatArgv[Piece + 1]).filename().string();
    }
    PeerSums += " source > peer.sha256";
    PeerCheck += " > cat.out";
    const auto RemoveSet = [](const std::string& Base) {
        return [Base] {
            RemovePieces(Base);
            fs::remove(Base + ".sha256");
        };
    };

    std::vector<TGroup> Groups{
        {"split", Rows(EngineRows(Self, {"split", Source, std::to_string(SplitBlocks)},
                                  [&] { RemovePieces(Source); }),
                       {{TRole::Peer, "split -b 1433600 -a 3 -d", SplitArgv,
                         "(aim <= 1.05 on tmpfs)", [&] { RemovePieces(Peer); }},
                        {TRole::Peer, "split ... && " + Sync, Stored(SplitArgv, PeerPieces),
                         SyncAim, [&] { RemovePieces(Peer); }},
                        CopyLimit})},
        {"join", Rows(EngineRows(Self, {"join", Source}, Remove(Joined)),
                      {{TRole::Peer, "cat pieces > out", CatArgv, "(aim <= 1.05 on tmpfs)",
                        Remove(Cat), Cat},
                       {TRole::Peer, "cat ... > out && " + Sync, Stored(CatArgv, {Cat}), SyncAim,
                        Remove(Cat), Cat},
                       CopyLimit})},
        {"split+sum",
         {{TRole::Engine,
           "engine --check",
           {Self, "split", "--check", Source, std::to_string(SplitBlocks)},
           "",
           RemoveSet(Source)},
          {TRole::Peer,
           "split ... && sha256sum",
           {"sh", "-c", PeerSums},
           "(aim <= 0.25)",
           RemoveSet(Peer)},
          {TRole::Peer, "split ... && " + Sync, Stored(SplitArgv, PeerPieces),
           Fuse ? SyncAim : "(aim <= 1.15 on disk)", [&] { RemovePieces(Peer); }}}},
        {"join+sum",
         {{TRole::Engine, "engine, checked", {Self, "join", Source}, "", Remove(Joined)},
          {TRole::Peer,
           "sha256sum -c && cat",
           {"sh", "-c", PeerCheck},
           "(aim <= 0.25)",
           Remove(Cat)}}},
        {"compare", Rows(EngineRows(Self, {"compare", Source, Joined}, [] {}),
                         {{TRole::Peer, "cmp", {"cmp", Source, Joined}, "(aim <= 0.6)"}})},
        {"checksum", Rows(EngineRows(Self, {"checksum", Source}, [] {}),
                          {{TRole::Peer, "cksum", {"cksum", Source}, "(aim <= 0.80)"},
                           {TRole::Peer, "sum", {"sum", Source}, "(aim <= 0.10)"}})},
    };

    std::printf("%lld bytes, median of %d warm runs\n\n", static_cast<long long>(Size), Runs);
    std::printf("%-9s %-27s %7s %7s %7s %8s   %s\n", "", "command", "wall s", "cpu s", "MB/s",
                "peak KB", "ratio");
    // In this order: the split leaves the pieces for the join, the split with
    // its checksum file those for the checked join, whose output is the
    // compare's second file.
    for (auto& Group : Groups)
        RunGroup(Group, Runs, Size);
    return 0;
}

// The recovery data: a split that writes it, against split and par2 create
// at the same slice size, and a join that rebuilds one damaged piece from
// it, against par2 repair of the same pieces and recovery files, then cat.
int RecoverySuite(const std::string& Folder, int64_t Size, int Runs, const std::string& Self) {
    const std::string Source = Folder + "/source";
    const std::string Peer = Folder + "/peer";
    MakeSource(Source, Size);
    fs::create_directory(Peer);
    const TRecoveryEncoder::TAmount Tenth{10, false};
    const int64_t Slice = TSplit::PlanRecovery("source", Size, SplitBlocks, Tenth)->SliceSize();
    const std::string PieceBytes = std::to_string(int64_t{SplitBlocks} * BlockSize);
    const auto RemoveRecovery = [](const std::string& In, const std::string& Base) {
        for (const auto& Entry : fs::directory_iterator(In))
            if (const std::string Name = Entry.path().filename().string();
                Name.starts_with(Base) && Name.ends_with(".par2"))
                fs::remove(Entry.path());
    };
    const auto Clear = [&](const std::string& In, const std::string& Base) {
        return [&, In, Base] {
            RemovePieces(In + "/" + Base);
            RemoveRecovery(In, Base);
        };
    };
    // The peer's pieces, named as Parvox's: par2 create lists them by name.
    const std::string Create = "cd '" + Peer + "' && split -b " + PieceBytes +
                               " -a 3 -d --numeric-suffixes=1 ../source source. && par2 create "
                               "-q -q -r10 -t2 -s" +
                               std::to_string(Slice) + " source.par2 source.[0-9]*";
    TGroup Split{"split+rec",
                 {{TRole::Engine,
                   "engine --recovery 10",
                   {Self, "split", "--recovery", "10", Source, std::to_string(SplitBlocks)},
                   "",
                   Clear(Folder, "source")},
                  {TRole::Peer,
                   "split && par2 create -r10 -t2",
                   {"sh", "-c", Create},
                   "(aim <= 0.17)",
                   Clear(Peer, "source")}}};

    // A damaged piece in the set that the engine's split left, and in a copy
    // of it for par2, which repairs in place: the damage comes back before each run.
    const std::string Damaged = "/source.005";
    std::ifstream Input(Source, std::ios::binary);
    Input.seekg(4 * int64_t{SplitBlocks} * BlockSize + 1000);
    const auto Wrong = static_cast<char>(~Input.get());
    const auto Damage = [Wrong](const std::string& Piece) {
        std::fstream File(Piece, std::ios::in | std::ios::out | std::ios::binary);
        File.seekp(1000);
        File.put(Wrong);
    };
    const std::string Cat = Folder + "/cat.out";
    const std::string Joined = Source + ".joined";
    TGroup Join{"join+rep",
                {{TRole::Engine,
                  "engine, one piece rebuilt",
                  {Self, "join", Source},
                  "",
                  [&] { fs::remove(Joined); }},
                 {TRole::Peer,
                  "par2 repair -t2 && cat",
                  {"sh", "-c",
                   "cd '" + Peer +
                       "' && par2 repair -q -q -t2 source.par2 && cat source.[0-9][0-9][0-9] > '" +
                       Cat + "'"},
                  "(aim <= 0.5)",
                  [&] {
                      fs::remove(Cat);
                      fs::remove(Peer + Damaged + ".1");
                      Damage(Peer + Damaged);
                  }}}};

    std::printf("%lld bytes, median of %d warm runs, %lld-byte slices\n\n",
                static_cast<long long>(Size), Runs, static_cast<long long>(Slice));
    std::printf("%-9s %-27s %7s %7s %7s %8s   %s\n", "", "command", "wall s", "cpu s", "MB/s",
                "peak KB", "ratio");
    RunGroup(Split, Runs, Size);
    // The engine's set, damaged, and its copy for par2.
    Prepare(Split.Commands.front());
    Measure(Split.Commands.front());
    Clear(Peer, "source")();
    for (const auto& Entry : fs::directory_iterator(Folder))
        if (const std::string Name = Entry.path().filename().string();
            Name.starts_with("source.") && Name != "source.joined")
            fs::copy_file(Entry.path(), Peer + "/" + Name, fs::copy_options::overwrite_existing);
    Damage(Source + ".005");
    RunGroup(Join, Runs, Size);
    return 0;
}

// A run keeps no record of each piece: the peak memory of a split and a join
// into ten times as many pieces must grow by no more than a few bytes a piece.
int Memory(const std::string& Folder, const std::string& Self) {
    constexpr int64_t Counts[] = {20'480, 204'800};
    const std::string Source = Folder + "/pieces";
    std::vector<TCommand> Runs;
    for (const int64_t Count : Counts) {
        MakeSource(Source, Count * BlockSize);
        Runs.emplace_back(TRole::Engine, "split --check",
                          std::vector<std::string>{Self, "split", "--check", Source, "1"});
        Runs.emplace_back(TRole::Engine, "join, checked",
                          std::vector<std::string>{Self, "join", Source});
        Measure(Runs[Runs.size() - 2]);
        Measure(Runs.back());
        RemovePieces(Source);
        for (const char* Extension : {"", ".sha256", ".joined"})
            fs::remove(Source + Extension);
    }
    std::printf("%-16s %12s %12s %12s\n", "peak KB", "20,480 pieces", "204,800", "more");
    for (size_t Row = 0; Row < 2; ++Row)
        std::printf("%-16s %12ld %12ld %12ld  (aim <= 16000)\n", Runs[Row].Label.c_str(),
                    Runs[Row].PeakKb, Runs[Row + 2].PeakKb,
                    Runs[Row + 2].PeakKb - Runs[Row].PeakKb);
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
        if (Args[0] == "recovery-suite")
            return RecoverySuite(Args.at(1), std::stoll(Args.at(2)), std::stoi(Args.at(3)),
                                 fs::canonical("/proc/self/exe").string());
        if (Args[0] == "memory")
            return Memory(Args.at(1), fs::canonical("/proc/self/exe").string());
        return EngineRun(Args, [](const std::string&, long double) {});
    } catch (const std::exception& Error) {
        std::cerr << "parvox_bench: " << Error.what() << '\n';
        return 1;
    }
}
