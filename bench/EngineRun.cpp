// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// One run of an engine, as the benchmark's programs start it.
#include "EngineRun.h"

#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classParvoxErrors.h"
#include "classRecoveryEncoder.h"
#include "classRecoveryRepair.h"
#include "classRecoverySet.h"
#include "classSplit.h"
#include "txt.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <unistd.h>

namespace {

// PERCENT, or "piece" for enough to rebuild one lost piece.
TRecoveryEncoder::TAmount AmountOf(const std::string& Amount) {
    TRecoveryEncoder::TAmount Share;
    Share.OneLostPiece = Amount == "piece";
    Share.Percent = Share.OneLostPiece ? 0 : std::stoi(Amount);
    return Share;
}

// The recovery files of the pieces that a split of File into pieces of
// Blocks blocks makes, from File's bytes as the split reads them, beside it.
void Recovery(const std::string& File, int64_t Blocks, const std::string& Amount) {
    TSplit Naming;
    Naming.SetBaseFileName(File);
    const int Fd = ::open(File.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        throw EInOutError(errno, File);
    const int64_t Size = ::lseek(Fd, 0, SEEK_END);
    std::vector<TRecoveryEncoder::TPiece> Pieces;
    const int64_t PieceBytes = Blocks * BlockSize;
    for (int64_t Piece = 1; Piece <= TSplit::PiecesFor(Size, Blocks); ++Piece)
        Pieces.push_back({BareName(Naming.PieceFileName(Piece)),
                          std::min(PieceBytes, Size - (Piece - 1) * PieceBytes)});
    TRecoveryEncoder Encoder(BareName(File), Pieces, AmountOf(Amount));
    const auto ReadAt = [&](int64_t Offset, uint8_t* Into, size_t Count) {
        for (size_t Done = 0; Done < Count;) {
            const ssize_t Got =
                ::pread(Fd, Into + Done, Count - Done, Offset + static_cast<int64_t>(Done));
            if (Got <= 0)
                throw EInOutError(Got < 0 ? errno : 100, File);
            Done += static_cast<size_t>(Got);
        }
    };
    Encoder.ReadHeads(ReadAt);
    const size_t Folder = File.rfind('/');
    const std::string Into = Folder == std::string::npos ? "." : File.substr(0, Folder);
    const auto Write = [&Into](const std::string& Name,
                               const std::vector<std::span<const uint8_t>>& Parts) {
        std::ofstream Out(Into + "/" + Name, std::ios::binary | std::ios::trunc);
        for (const auto Part : Parts)
            Out.write(reinterpret_cast<const char*>(Part.data()),
                      static_cast<std::streamsize>(Part.size()));
        if (!Out.flush())
            throw EParvoxError("cannot write " + Name);
    };
    std::vector<uint8_t> Chunk(1 << 20);
    for (int Pass = 0; Pass < Encoder.Passes(); ++Pass) {
        Encoder.BeginPass(Pass);
        for (int64_t At = 0; At < Size; At += static_cast<int64_t>(Chunk.size())) {
            const auto Count = static_cast<size_t>(
                std::min<int64_t>(Size - At, static_cast<int64_t>(Chunk.size())));
            ReadAt(At, Chunk.data(), Count);
            Encoder.Add(Chunk.data(), Count);
        }
        Encoder.EndPass(Write);
    }
    ::close(Fd);
}

// Checks the pieces of File against the recovery files beside them and
// rebuilds what is lost, without writing it; prints what it found.
void Repair(const std::string& File) {
    const size_t Slash = File.rfind('/');
    const std::string Folder = Slash == std::string::npos ? "." : File.substr(0, Slash);
    TRecoverySet Set;
    if (!Set.Load({Folder}, BareName(File)))
        throw EParvoxError("no recovery files beside " + File);
    std::vector<std::string> Paths;
    for (const auto& Piece : Set.Files())
        Paths.push_back(FileExists(Folder + "/" + Piece.Description.Name)
                            ? Folder + "/" + Piece.Description.Name
                            : "");
    TRecoveryRepair Repair(Set);
    Repair.Open(Paths);
    Repair.Check();
    int64_t Rebuilt = 0;
    if (Repair.Repairable())
        Repair.Rebuild([&Rebuilt](size_t, int64_t, std::span<const uint8_t> Bytes) {
            Rebuilt += static_cast<int64_t>(Bytes.size());
        });
    std::cout << Repair.MissingSlices() << " slices lost, " << Repair.RecoverySlices()
              << " recovery slices, " << Rebuilt << " bytes rebuilt\n";
}

} // namespace

int EngineRun(const std::vector<std::string>& Args, const TProgressEvent& Handler,
              TProgressCounts* Counts) {
    LoadTexts();
    const auto Reports = [&Handler, Counts](TParvoxBase& Engine) {
        Engine.OnProgress = Handler;
        Engine.Counts = Counts;
    };
    const std::string& Mode = Args[0];
    if (Mode == "split") {
        TSplit Split;
        Reports(Split);
        size_t At = 1;
        for (; Args.at(At).starts_with("--"); ++At) {
            if (Args[At] == "--check")
                Split.WriteChecksumFile = true;
            else if (Args[At] == "--recovery")
                Split.Recovery = AmountOf(Args.at(++At));
            else
                throw std::runtime_error("unknown option " + Args[At]);
        }
        Split.SetBaseFileName(Args.at(At));
        Split.SplitSize = std::stoi(Args.at(At + 1));
        Split.OutputFolder = Args.size() > At + 2 ? Args[At + 2] : std::string();
        Split.Execute();
    } else if (Mode == "recovery") {
        Recovery(Args.at(1), std::stoll(Args.at(2)), Args.at(3));
    } else if (Mode == "repair") {
        Repair(Args.at(1));
    } else if (Mode == "join") {
        TJoin Join;
        Reports(Join);
        Join.SetBaseFileName(Args.at(1));
        for (size_t At = 2; At < Args.size(); ++At) {
            if (Args[At] == "--from")
                Join.PieceFolders.push_back(Args.at(++At));
            else
                Join.OutputFolder = Args[At];
        }
        Join.Execute();
    } else if (Mode == "compare") {
        TCompare Compare;
        Reports(Compare);
        Compare.FileName1 = Args.at(1);
        Compare.FileName2 = Args.at(2);
        Compare.Execute();
        return Compare.CompareResult == CompareEqual ? 0 : 1;
    } else {
        TChecksum Checksum;
        Reports(Checksum);
        Checksum.FileName = Args.at(1);
        std::cout << Checksum.Execute() << '\n';
    }
    return 0;
}
