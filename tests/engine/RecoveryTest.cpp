// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Recovery data: the set that a split plans, pieces rebuilt through damage,
// the files that Debian's par2 writes and reads, and hostile recovery files.
#include "TestFiles.h"

#include "classJoin.h"
#include "classPar2Packets.h"
#include "classParvoxErrors.h"
#include "classRecoveryEncoder.h"
#include "classRecoveryRepair.h"
#include "classRecoverySet.h"
#include "classSplit.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TEncoder = TRecoveryEncoder;

// Writes the recovery files into Folder under their own names.
TEncoder::TWriteFile WriteInto(const fs::path& Folder) {
    return [Folder](const std::string& Name, const std::vector<std::span<const uint8_t>>& Parts) {
        Bytes Whole;
        for (const auto Part : Parts)
            Whole.insert(Whole.end(), Part.begin(), Part.end());
        WriteFile((Folder / Name).string(), Whole);
    };
}

class RecoveryTest : public ScratchTest {
protected:
    // Splits Data, as film.mkv, into pieces of PieceBytes with the recovery
    // files of Amount, and the checksum file with WithSums.
    void Split(const Bytes& Data, int64_t PieceBytes, TEncoder::TAmount Amount,
               int64_t Budget = TEncoder::MemoryBudget, const fs::path& Folder = {}) {
        const fs::path Into = Folder.empty() ? Dir : Folder;
        fs::create_directories(Dir / "input");
        fs::create_directories(Into);
        WriteFile((Dir / "input" / "film.mkv").string(), Data);
        TSplit Splitting;
        Splitting.SetBaseFileName((Dir / "input" / "film.mkv").string());
        Splitting.OutputFolder = Into.string();
        Splitting.SplitSize = PieceBytes / 1024;
        Splitting.WriteChecksumFile = WithSums;
        Splitting.Recovery = Amount;
        Splitting.RecoveryMemory = Budget;
        Splitting.Execute();
        const auto Plan = TSplit::PlanRecovery("film.mkv", static_cast<int64_t>(Data.size()),
                                               PieceBytes / 1024, Amount, Budget);
        Passes = Plan->Passes();
        EXPECT_EQ(Splitting.Made().RecoveryFiles, static_cast<int64_t>(Plan->Outputs().size()));
        for (const auto& Output : Plan->Outputs())
            EXPECT_EQ(fs::file_size(Into / Output.Name), static_cast<uintmax_t>(Output.Size));
    }

    // The pieces checked against the recovery files beside them, and the
    // whole file with the rebuilt slices in it when they can be rebuilt.
    Bytes Join(TRecoveryRepair& Repair, const fs::path& Folder = {}) {
        const fs::path From = Folder.empty() ? Dir : Folder;
        EXPECT_TRUE(Set.Load({From.string()}, "film.mkv"));
        std::vector<std::string> Paths;
        for (const auto& File : Set.Files()) {
            const fs::path Piece = From / File.Description.Name;
            Paths.push_back(fs::exists(Piece) ? Piece.string() : "");
        }
        Repair.Open(Paths);
        if (!Streamed) {
            Repair.Check();
        } else {
            // The digests taken as a copy would read the pieces, short ones too.
            for (size_t File = 0; File < Paths.size(); ++File) {
                const int64_t Length = Set.Files()[File].Description.Length;
                const Bytes Piece = Paths[File].empty() ? Bytes{} : ReadFile(Paths[File]);
                TSliceDigests Read(Set.SliceSize(), TSliceDigests::SliceMd5);
                Read.Add(Piece.data(), std::min<size_t>(Piece.size(), static_cast<size_t>(Length)));
                if (static_cast<int64_t>(Piece.size()) >= Length)
                    Read.Finish();
                Repair.Take(File, Read);
            }
            Repair.Decide();
        }
        if (!Repair.Repairable())
            return {};
        std::vector<Bytes> Pieces;
        for (const auto& File : Set.Files()) {
            // Around what does not read, as a join copies around a bad sector.
            Bytes Piece(static_cast<size_t>(File.Description.Length));
            const int Fd = ::open((From / File.Description.Name).c_str(), O_RDONLY);
            for (size_t At = 0; Fd >= 0 && At < Piece.size(); At += 4096)
                (void)!::pread(Fd, &Piece[At], std::min<size_t>(4096, Piece.size() - At),
                               static_cast<off_t>(At));
            ::close(Fd);
            Pieces.push_back(Piece);
        }
        Repair.Rebuild([&](size_t File, int64_t Offset, std::span<const uint8_t> Rebuilt) {
            std::copy(Rebuilt.begin(), Rebuilt.end(), Pieces[File].begin() + Offset);
        });
        Bytes Whole;
        for (int Piece = 1; Set.FileNamed(PieceName("film.mkv", Piece)) >= 0; ++Piece) {
            const Bytes& Part =
                Pieces[static_cast<size_t>(Set.FileNamed(PieceName("film.mkv", Piece)))];
            Whole.insert(Whole.end(), Part.begin(), Part.end());
        }
        return Whole;
    }

    [[nodiscard]] int Par2(const std::string& Arguments) const {
        return std::system(
            ("cd " + Dir.string() + " && par2 " + Arguments + " >/dev/null 2>&1").c_str());
    }

    TRecoverySet Set;
    int Passes = 0;
    // Whether Join hands the repair digests taken elsewhere instead of its own check.
    bool Streamed = false;
    bool WithSums = false;
};

void Truncate(const std::string& Name, int64_t Size) {
    fs::resize_file(Name, static_cast<uintmax_t>(Size));
}

void FlipByte(const std::string& Name, size_t At) {
    Bytes Data = ReadFile(Name);
    Data.at(At) ^= 0x5A;
    WriteFile(Name, Data);
}

TEST_F(RecoveryTest, PlanFitsTheFormatAndThePieces) {
    const int64_t Piece = 1400 * 1024;
    const int64_t Fat = 4194LL * 1024000;
    const struct {
        const char* Shape;
        std::vector<int64_t> Sizes;
        TEncoder::TAmount Amount;
        int64_t Slices, Recovery, Passes;
        std::vector<std::string> Volumes;
    } Rows[] = {
        {"187 pieces and a short one",
         std::vector<int64_t>(187, Piece),
         {10, false},
         1497,
         150,
         1,
         {"vol000+01", "vol001+02", "vol003+04", "vol007+08", "vol015+16", "vol031+32", "vol063+64",
          "vol127+23"}},
        {"5 sticks of a FAT32 size, one lost piece",
         std::vector<int64_t>(5, Fat),
         {0, true},
         1500,
         315,
         18,
         {}},
        {"32768 pieces of 1 Kbyte",
         std::vector<int64_t>(32768, 1024),
         {5, false},
         32768,
         1639,
         1,
         {}},
        {"a file of 10 bytes", {10}, {5, false}, 1, 1, 1, {"vol0+1"}},
        {"one file of 1 TB", {1LL << 40}, {10, false}, 32768, 3277, 410, {}},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Shape);
        std::vector<TEncoder::TPiece> Pieces;
        for (const int64_t Size : Row.Sizes)
            Pieces.push_back({PieceName("film.mkv", static_cast<int>(Pieces.size()) + 1), Size});
        if (Row.Sizes.size() == 187)
            Pieces.push_back({"film.mkv.188", 12345});
        const TEncoder Plan("film.mkv", Pieces, Row.Amount);
        EXPECT_EQ(Plan.InputSlices(), Row.Slices);
        EXPECT_EQ(Plan.RecoverySlices(), Row.Recovery);
        EXPECT_EQ(Plan.Passes(), Row.Passes);
        // Every piece but the last ends on a slice boundary.
        EXPECT_EQ(Plan.SliceSize() % 4, 0);
        EXPECT_EQ(Row.Sizes[0] % Plan.SliceSize(),
                  Row.Sizes.size() > 1 ? 0 : Row.Sizes[0] % Plan.SliceSize());
        for (size_t Volume = 0; Volume < Row.Volumes.size(); ++Volume)
            EXPECT_EQ(Plan.Outputs().at(Volume + 1).Name,
                      "film.mkv." + Row.Volumes[Volume] + ".par2");
    }
    const std::vector<TEncoder::TPiece> TooMany(32769, {"film.mkv.001", 1024});
    EXPECT_EQ(MessageOf([&] { TEncoder("film.mkv", TooMany, {}); }),
              "Recovery data covers at most 32,768 pieces; choose a larger piece size.");
}

TEST_F(RecoveryTest, DamagedPiecesAreRebuiltAndDamageBeyondTheDataIsCounted) {
    const Bytes Data = PatternBytes(600000, 3);
    const int64_t PieceBytes = 160 * 1024;
    const std::string ByItsData = " The joined file matches the recovery data (";
    // What a join of the pieces says: its completion, or its message.
    const struct {
        const char* Damage;
        TEncoder::TAmount Amount;
        int64_t Budget;
        std::function<void()> Change;
        bool Repaired;
        std::vector<int64_t> Damaged;
        bool Sums;
        std::string Said;
        // Whether the join asks for a piece that is nowhere, and is told to skip it.
        bool Asks = false;
    } Rows[] = {
        {"a byte changed",
         {10, false},
         TEncoder::MemoryBudget,
         [this] { FlipByte(Path("film.mkv.002"), 5000); },
         true,
         {0, 1, 0, 0},
         false,
         "film.mkv.002 was damaged: 1 block was rebuilt from the recovery data." + ByItsData +
             "film.mkv.par2)."},
        {"a byte changed, and a checksum file",
         {5, false},
         TEncoder::MemoryBudget,
         [this] { FlipByte(Path("film.mkv.003"), 7); },
         true,
         {0, 0, 1, 0},
         true,
         "film.mkv.003 was damaged: 1 block was rebuilt from the recovery data. All 4 pieces "
         "match film.mkv.sha256."},
        {"a piece short",
         {10, false},
         TEncoder::MemoryBudget,
         [this] { Truncate(Path("film.mkv.004"), 100000); },
         true,
         {0, 0, 0, 3},
         false,
         "film.mkv.004 was short: 3 blocks were rebuilt from the recovery data." + ByItsData},
        {"a piece lost, the index too",
         {0, true},
         TEncoder::MemoryBudget,
         [this] {
             fs::remove(Path("film.mkv.001"));
             fs::remove(Path("film.mkv.par2"));
         },
         true,
         {40, 0, 0, 0},
         false,
         "film.mkv.001 was missing: 40 blocks were rebuilt from the recovery data." + ByItsData +
             "film.mkv.vol00+01.par2)."},
        {"a piece lost and a byte changed in another, in passes",
         {0, true},
         5 * 4096,
         [this] {
             fs::remove(Path("film.mkv.003"));
             FlipByte(Path("film.mkv.001"), 5000);
         },
         true,
         {1, 0, 40, 0},
         false,
         "film.mkv.001 was damaged: 1 block was rebuilt from the recovery data. film.mkv.003 was "
         "missing: 40 blocks were rebuilt from the recovery data." +
             ByItsData},
        {"a piece lost, skipped when asked for",
         {0, true},
         TEncoder::MemoryBudget,
         [this] { fs::remove(Path("film.mkv.002")); },
         true,
         {0, 40, 0, 0},
         false,
         "film.mkv.002 was missing: 40 blocks were rebuilt from the recovery data." + ByItsData,
         true},
        {"two pieces lost",
         {0, true},
         TEncoder::MemoryBudget,
         [this] {
             fs::remove(Path("film.mkv.002"));
             Truncate(Path("film.mkv.003"), 0);
         },
         false,
         {0, 40, 40, 0},
         false,
         "film.mkv.002 and film.mkv.003 cannot be rebuilt: 80 blocks are missing or damaged, "
         "and the recovery data can rebuild 42. Copy the pieces again and join once more."},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Damage);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        WithSums = Row.Sums;
        Split(Data, PieceBytes, Row.Amount, Row.Budget);
        EXPECT_EQ(Passes > 1, Row.Budget < TEncoder::MemoryBudget);
        Row.Change();
        for (const bool Streams : {false, true}) {
            SCOPED_TRACE(Streams ? "digests taken elsewhere" : "checked");
            Streamed = Streams;
            TRecoveryRepair Repair(Set, Row.Budget);
            const Bytes Joined = Join(Repair);
            std::vector<int64_t> Damaged;
            for (const auto& File : Repair.Files())
                Damaged.push_back(File.Damaged);
            // In the main packet's order, which the files' ids decide.
            std::vector<int64_t> ByPiece(Damaged.size());
            for (size_t Piece = 0; Piece < Damaged.size(); ++Piece)
                ByPiece[Piece] = Damaged[static_cast<size_t>(
                    Set.FileNamed(PieceName("film.mkv", static_cast<int>(Piece) + 1)))];
            EXPECT_EQ(ByPiece, Row.Damaged);
            EXPECT_EQ(Repair.Repairable(), Row.Repaired);
            if (Row.Repaired) {
                EXPECT_TRUE(Joined == Data);
            } else {
                EXPECT_EQ(std::make_pair(Repair.MissingSlices(), Repair.RecoverySlices()),
                          std::make_pair(int64_t{80}, int64_t{42}));
            }
        }
        // The join of the pieces: the whole file with what was rebuilt, and
        // its completion; or its message, and no file. The pieces stay as they are.
        const auto Before = FolderContents(Dir);
        TJoin Joining;
        Joining.SetBaseFileName(Path("film.mkv"));
        if (Row.Asks)
            Joining.AskForPiece = [](const TPieceSources::TQuestion& Question) {
                EXPECT_EQ(Question.Piece, "film.mkv.002");
                EXPECT_TRUE(Question.MaySkip);
                return TPieceSources::TAnswer{TPieceSources::TAnswer::TKind::Skip, {}};
            };
        const std::string Message = MessageOf([&] { Joining.Execute(); });
        const std::string& Said = Row.Repaired ? Joining.CheckSummary() : Message;
        EXPECT_EQ(Said.substr(0, Row.Said.size()), Row.Said);
        EXPECT_EQ(fs::exists(Path("film.mkv")), Row.Repaired);
        if (Row.Repaired) {
            EXPECT_TRUE(ReadFile(Path("film.mkv")) == Data);
            fs::remove(Path("film.mkv"));
        }
        EXPECT_EQ(FolderContents(Dir), Before);
    }
}

TEST_F(RecoveryTest, DebianPar2VerifiesAndRepairsOurSetsAndWeRepairItsSets) {
    const struct {
        const char* Shape;
        size_t Size;
        int64_t PieceBytes;
        TEncoder::TAmount Amount;
    } Rows[] = {
        {"5 %, a last piece shorter than a slice", 2000000, 300 * 1024, {5, false}},
        {"10 %", 1000000, 200 * 1024, {10, false}},
        {"one lost piece", 700000, 100 * 1024, {0, true}},
        {"a file smaller than one slice", 1001, 1024, {10, false}},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Shape);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        const Bytes Data = PatternBytes(Row.Size, static_cast<uint32_t>(Row.Size));
        Split(Data, Row.PieceBytes, Row.Amount);
        EXPECT_EQ(Par2("verify -q film.mkv.par2"), 0);
        FlipByte(Path("film.mkv.001"), 700);
        EXPECT_EQ(Par2("repair -q film.mkv.par2"), 0);
        EXPECT_TRUE(
            ReadFile(Path("film.mkv.001")) ==
            Bytes(Data.begin(), Data.begin() + std::min<int64_t>(Row.PieceBytes, Row.Size)));
    }
    // The other way: a set of Debian's par2 with a damaged and a lost piece.
    fs::remove_all(Dir);
    fs::create_directory(Dir);
    const Bytes Data = PatternBytes(900000, 9);
    Split(Data, 250 * 1024, {0, true});
    for (const auto& Entry : fs::directory_iterator(Dir))
        if (Entry.path().extension() == ".par2")
            fs::remove(Entry.path());
    ASSERT_EQ(Par2("create -q -s8192 -r30 film.mkv.par2 film.mkv.0*"), 0);
    FlipByte(Path("film.mkv.001"), 100);
    fs::remove(Path("film.mkv.004"));
    TRecoveryRepair Repair(Set);
    EXPECT_TRUE(Join(Repair) == Data);
    EXPECT_EQ(Repair.MissingSlices(), 18);
    // The join rebuilds the file from them too, and leaves the pieces be.
    TJoin Joining;
    Joining.SetBaseFileName(Path("film.mkv"));
    Joining.Execute();
    EXPECT_TRUE(ReadFile(Path("film.mkv")) == Data);
    EXPECT_EQ(Joining.CheckSummary(),
              "film.mkv.001 was damaged: 1 block was rebuilt from the recovery data. "
              "film.mkv.004 was missing: 17 blocks were rebuilt from the recovery data. The "
              "joined file matches the recovery data (film.mkv.par2).");
    EXPECT_FALSE(fs::exists(Path("film.mkv.004")));
}

// A crafted recovery file: the packets of a set that claims one file.
Bytes CraftedSet(int64_t SliceSize, const std::string& Name, int64_t Length, uint32_t Count = 1) {
    TPar2Packets::TFile File{{}, {}, {}, Length, Name};
    File.Id = TPar2Packets::FileId({}, Length, Name);
    const int64_t Slices = (Length + SliceSize - 1) / SliceSize;
    Bytes Main = TPar2Packets::MainBody({SliceSize, {File.Id}});
    Main[8] = static_cast<uint8_t>(Count);
    Main[11] = static_cast<uint8_t>(Count >> 24);
    const TMd5::TDigest Set = TMd5::Of(Main.data(), Main.size());
    Bytes Out;
    for (const Bytes& Packet :
         {TPar2Packets::Packet(Set, TPar2Packets::MainType, Main),
          TPar2Packets::Packet(Set, TPar2Packets::FileType, TPar2Packets::FileBody(File)),
          TPar2Packets::Packet(Set, TPar2Packets::SlicesType,
                               TPar2Packets::SlicesBody(File.Id, std::vector<TSliceDigests::TSlice>(
                                                                     static_cast<size_t>(Slices)))),
          TPar2Packets::Packet(Set, TPar2Packets::RecoveryType, Bytes(12))})
        Out.insert(Out.end(), Packet.begin(), Packet.end());
    return Out;
}

// Changes every packet of Type in a recovery file: Change gets the packet's bytes.
void ChangePackets(const std::string& Name, const TPar2Packets::TType& Type,
                   const std::function<void(uint8_t* Packet)>& Change) {
    Bytes Data = ReadFile(Name);
    for (size_t At = 0; At + 64 <= Data.size(); At += 4)
        if (std::equal(Type.begin(), Type.end(), Data.begin() + At + 48) && Data[At] == 'P')
            Change(&Data[At]);
    WriteFile(Name, Data);
}

TEST_F(RecoveryTest, HostileRecoveryFilesAreSkippedOrRefusedByName) {
    const Bytes Data = PatternBytes(50000, 5);
    const auto Unreadable = [](const std::string& File) {
        return File + " is not recovery data that Parvox can read. Remove it to join the pieces "
                      "without it.";
    };
    const auto Elsewhere = [](const std::string& Name) {
        return "film.mkv.par2 names a file in another folder (" + Name +
               "): Parvox does not use it.";
    };
    const auto OnlyCrafted = [this](const Bytes& Crafted) {
        for (const auto& Entry : fs::directory_iterator(Dir))
            if (Entry.path().extension() == ".par2")
                fs::remove(Entry.path());
        WriteFile(Path("film.mkv.par2"), Crafted);
    };
    const auto AllMains = [this](const std::function<void(uint8_t*)>& Change) {
        for (const auto& Entry : fs::directory_iterator(Dir))
            if (Entry.path().extension() == ".par2")
                ChangePackets(Entry.path(), TPar2Packets::MainType, Change);
    };
    const struct {
        const char* Hostile;
        std::function<void()> Make;
        std::string Message;
    } Rows[] = {
        {"a length beyond the file",
         [&] {
             ChangePackets(Path("film.mkv.par2"), TPar2Packets::MainType,
                           [](uint8_t* Packet) { Packet[14] = 0x7f; });
         },
         "(no error)"},
        {"lengths not a multiple of 4 in every main packet",
         [&] { AllMains([](uint8_t* Packet) { Packet[8] += 2; }); }, Unreadable("film.mkv.par2")},
        {"a wrong digest in every main packet",
         [&] { AllMains([](uint8_t* Packet) { Packet[70] ^= 1; }); }, Unreadable("film.mkv.par2")},
        {"the index cut short", [&] { Truncate(Path("film.mkv.par2"), 100); }, "(no error)"},
        {"a count of files beyond the packet",
         [&] { OnlyCrafted(CraftedSet(4096, "film.mkv.001", 20480, 0xFFFFFFFF)); },
         Unreadable("film.mkv.par2")},
        {"an absurd slice size and file length",
         [&] { OnlyCrafted(CraftedSet(int64_t{1} << 59, "film.mkv.001", (int64_t{1} << 61) - 4)); },
         "beyond repair: 4 slices lost, 0 to rebuild them"},
        {"a name with a folder", [&] { OnlyCrafted(CraftedSet(4096, "../passwd", 10)); },
         Elsewhere("../passwd")},
        {"a name with a zero byte",
         [&] { OnlyCrafted(CraftedSet(4096, std::string("film.mkv.001\0x", 14), 10)); },
         Elsewhere("film.mkv.001?x")},
        {"a million headers that each claim the rest of the file",
         [&] {
             Bytes Flood(64 << 20, 0);
             for (size_t At = 0; At < Flood.size(); At += 64) {
                 std::copy_n("PAR2\0PKT", 8, Flood.begin() + At);
                 const uint64_t Rest = Flood.size() - At;
                 for (int Byte = 0; Byte < 8; ++Byte)
                     Flood[At + 8 + Byte] = static_cast<uint8_t>(Rest >> (8 * Byte));
             }
             WriteFile(Path("film.mkv.vol9+9.par2"), Flood);
         },
         "(no error)"},
        {"a pipe and a folder under the set's names",
         [&] {
             ASSERT_EQ(::mkfifo(Path("film.mkv.vol7+1.par2").c_str(), 0600), 0);
             fs::create_directory(Path("film.mkv.x.par2"));
         },
         "(no error)"},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Hostile);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        Split(Data, 20 * 1024, {10, false});
        FlipByte(Path("film.mkv.002"), 10);
        Row.Make();
        // Under a bound on memory far below what the absurd numbers would
        // take (but for the sanitizers', whose shadows are larger).
        const auto Outcome = [&] {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
            const rlimit Memory{1U << 30, 1U << 30};
            ::setrlimit(RLIMIT_AS, &Memory);
#endif
            TRecoveryRepair Repair(Set);
            if (Join(Repair) != Data)
                throw std::runtime_error(
                    "beyond repair: " + std::to_string(Repair.MissingSlices()) + " slices lost, " +
                    std::to_string(Repair.RecoverySlices()) + " to rebuild them");
        };
        EXPECT_EQ(MessageInChild(Outcome), Row.Message);
    }
}

// Pieces on a medium with a bad sector in each, at the start of a slice:
// that slice is lost, the slices around it are not, and the repair reads past it.
TEST_F(RecoveryTest, ABadSectorLosesOnlyItsSlice) {
    const std::string Medium = MEDIUM_SCRIPT " ";
    if (std::system((Medium + "share " + Dir.string() + " 0 0 >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no FUSE here";
    const Bytes Data = PatternBytes(600000, 4);
    Split(Data, 160 * 1024, {10, false}, TEncoder::MemoryBudget, Dir / "files");
    ASSERT_EQ(std::system((Medium + "mode " + Dir.string() + " ok listed badread 73728").c_str()),
              0);
    Bytes Joined;
    int64_t Missing = 0;
    {
        TRecoveryRepair Repair(Set);
        Joined = Join(Repair, Dir / "fuse");
        Missing = Repair.MissingSlices();
        // The medium goes once no file on it is open.
        Set.Load({Dir.string()}, "film.mkv");
    }
    EXPECT_EQ(std::system((Medium + "detach " + Dir.string()).c_str()), 0);
    EXPECT_TRUE(Joined == Data);
    EXPECT_EQ(Missing, 4);
}

// A stop ends the work between slices; an input that is not what was
// planned, or not the same in every pass, ends it with the input's name.
TEST_F(RecoveryTest, StopAndAChangedInputEndTheWork) {
    const Bytes Data = PatternBytes(3 << 20, 8);
    const std::string Changed = "film.mkv changed while it was read. Start once more when nothing "
                                "else writes it.";
    const struct {
        const char* Run;
        int StopAt;
        // The byte changed in a pass, and the bytes fed short of the end.
        int ChangedIn;
        size_t Short;
        std::string Message;
    } Rows[] = {
        {"a stop asked for", 20, -1, 0, "Stopped"},
        {"a head that differs from the one read first", 0, 0, 0, Changed},
        {"the second pass different", 0, 1, 0, Changed},
        {"a byte too few", 0, -1, 1, Changed},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Run);
        int Asked = 0;
        TEncoder Encoder("film.mkv", {{"film.mkv.001", 1 << 20}, {"film.mkv.002", 2 << 20}},
                         {0, true}, 600 << 10);
        Encoder.ChangedMessage = Changed;
        Encoder.StopWanted = [&] { return Row.StopAt > 0 && ++Asked > Row.StopAt; };
        Encoder.ReadHeads([&](int64_t Offset, uint8_t* Into, size_t Count) {
            std::copy_n(Data.begin() + Offset, Count, Into);
        });
        EXPECT_EQ(MessageOf([&] {
                      for (int Pass = 0; Pass < Encoder.Passes(); ++Pass) {
                          Bytes Input = Data;
                          Input[1000] ^= Pass == Row.ChangedIn ? 1 : 0;
                          Encoder.BeginPass(Pass);
                          Encoder.Add(Input.data(), Input.size() - Row.Short);
                          Encoder.EndPass(WriteInto(Dir));
                      }
                  }),
                  Row.Message);
        // A pass that ends so writes nothing.
        EXPECT_EQ(fs::exists(Path("film.mkv.par2")), Row.ChangedIn == 1);
        fs::remove(Path("film.mkv.par2"));
    }
}

// A stop asked for while a split computes its recovery data in a later
// pass, or while a join rebuilds a lost piece or reads the joined file back,
// ends the run there; it removes what it wrote and nothing else.
TEST_F(RecoveryTest, AStopEndsEachPhaseOfTheRecoveryData) {
    const Bytes Data = PatternBytes(48 << 20, 6);
    const struct {
        const char* Phase;
        TProgressCounts::TPhase Target;
        bool Joins;
    } Rows[] = {
        {"a later pass of the recovery data", TProgressCounts::Recovering, false},
        {"the lost piece rebuilt", TProgressCounts::Rebuilding, true},
        {"the joined file read back", TProgressCounts::Verifying, true},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Phase);
        fs::remove_all(Dir);
        fs::create_directory(Dir);
        TSplit Splitting;
        TJoin Joining;
        if (Row.Joins) {
            Split(Data, 4 << 20, {0, true});
            fs::remove(Path("film.mkv.003"));
            Joining.SetBaseFileName(Path("film.mkv"));
        } else {
            fs::create_directory(Dir / "input");
            WriteFile((Dir / "input" / "film.mkv").string(), Data);
            Splitting.SetBaseFileName((Dir / "input" / "film.mkv").string());
            Splitting.OutputFolder = Dir.string();
            Splitting.SplitSize = 4096;
            Splitting.Recovery = TEncoder::TAmount{10, false};
            Splitting.RecoveryMemory = 1 << 20;
        }
        TParvoxBase& Engine = Row.Joins ? static_cast<TParvoxBase&>(Joining) : Splitting;
        TProgressCounts Counts;
        Engine.Counts = &Counts;
        const auto Before = FolderContents(Dir);
        std::atomic<bool> Ended = false;
        std::atomic<bool> Asked = false;
        std::thread Watcher([&] {
            while (!Ended && !Asked) {
                if (Counts.Phase == Row.Target &&
                    (Row.Joins || Counts.Subject() == "pass 2 of 5")) {
                    Engine.RequestStop();
                    Asked = true;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        EXPECT_EQ(MessageOf([&] { Row.Joins ? Joining.Execute() : Splitting.Execute(); }),
                  "Stopped");
        Ended = true;
        Watcher.join();
        EXPECT_TRUE(Asked);
        EXPECT_EQ(FolderContents(Dir), Before);
    }
}

} // namespace
