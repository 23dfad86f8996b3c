// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Finding and reading the recovery files of a set of pieces.
#include "classRecoverySet.h"

#include "classByteFile.h"
#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>
#include <dirent.h>
#include <map>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// The bytes of packets other than recovery slices kept from all files
// together, at most: a set of the most slices and files needs a few MB.
constexpr int64_t MostKept = 64 << 20;
// The recovery slices noted from all files together, at most: every
// exponent of the field, for a few sets.
constexpr size_t MostNoted = 1 << 18;
// Exponents that differ by this make the same recovery slice.
constexpr uint32_t FieldOrder = 65535;

// A name that stays in the folder of the recovery files.
bool Beside(const std::string& Name) {
    return !Name.empty() && Name != "." && Name != ".." &&
           Name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// A name as a message shows it: a control character, a zero byte too, as "?".
std::string Shown(std::string Name) {
    for (char& C : Name)
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7f)
            C = '?';
    return Name;
}

// What the files hold of one recovery set, the first sound copy of each packet.
struct TParts {
    std::optional<TPar2Packets::TMain> Main;
    std::map<TMd5::TDigest, std::pair<TPar2Packets::TFile, size_t>> Files;
    std::map<TMd5::TDigest, std::vector<TSliceDigests::TSlice>> Slices;
    std::map<uint32_t, std::pair<TRecoverySet::TRecoverySlice, int64_t>> Recovery;
    std::string Creator;
};

// Whether the set has its main packet, and for each file its description
// and its slices' digests, as many as its length makes, with no more slices
// than a set holds.
bool Complete(const TParts& Set) {
    if (!Set.Main || Set.Main->Files.size() > TPar2Packets::MostSlices)
        return false;
    std::vector<TMd5::TDigest> Ids = Set.Main->Files;
    std::sort(Ids.begin(), Ids.end());
    if (std::adjacent_find(Ids.begin(), Ids.end()) != Ids.end())
        return false;
    const int64_t Size = Set.Main->SliceSize;
    int64_t Slices = 0;
    for (const TMd5::TDigest& File : Ids) {
        const auto Description = Set.Files.find(File);
        const auto Sums = Set.Slices.find(File);
        if (Description == Set.Files.end() || Sums == Set.Slices.end() ||
            static_cast<int64_t>(Sums->second.size()) !=
                (Description->second.first.Length + Size - 1) / Size)
            return false;
        Slices += static_cast<int64_t>(Sums->second.size());
    }
    return Slices <= TPar2Packets::MostSlices;
}

} // namespace

TRecoverySet::~TRecoverySet() {
    Close();
}

void TRecoverySet::Close() noexcept {
    for (const int Handle : Handles)
        if (Handle >= 0)
            ::close(Handle);
    Handles.clear();
}

std::vector<std::string> TRecoverySet::Find(const std::vector<std::string>& Folders,
                                            const std::string& Base) {
    std::vector<std::string> Found;
    const std::string Index = Base + ".par2";
    for (const std::string& Folder : Folders) {
        const std::unique_ptr<DIR, int (*)(DIR*)> Listing(
            ::opendir(Folder.empty() ? "." : Folder.c_str()), ::closedir);
        if (!Listing)
            continue;
        std::vector<std::string> Names;
        while (const dirent* Entry = ::readdir(Listing.get())) {
            const std::string Name = Entry->d_name;
            if (Name == Index || (Name.size() > Index.size() + 1 && Name.starts_with(Base + ".") &&
                                  Name.ends_with(".par2")))
                Names.push_back(Name);
        }
        // The index first: its packets are the set's description.
        std::sort(Names.begin(), Names.end(), [&Index](const std::string& A, const std::string& B) {
            return (A == Index) != (B == Index) ? A == Index : A < B;
        });
        for (const std::string& Name : Names)
            Found.push_back(Folder.empty() ? Name : Folder + "/" + Name);
    }
    return Found;
}

int64_t TRecoverySet::FileNamed(const std::string& Name) const {
    const auto Found = Named.find(Name);
    return Found == Named.end() ? -1 : static_cast<int64_t>(Found->second);
}

bool TRecoverySet::Load(const std::vector<std::string>& Folders, const std::string& Base) {
    Close();
    Slice = 0;
    InputFiles.clear();
    Named.clear();
    Recovery.clear();
    Largest = 0;
    Made.clear();
    Only.clear();
    Names = Find(Folders, Base);
    if (Names.empty())
        return false;
    std::map<TMd5::TDigest, TParts> Sets;
    int64_t Kept = 0;
    size_t Noted = 0;
    // The set of each file's sound packets, where all are of one set.
    std::vector<std::optional<TMd5::TDigest>> SetOf(Names.size());
    std::vector<bool> Mixed(Names.size(), false);
    for (size_t Source = 0; Source < Names.size(); ++Source) {
        TByteFile File;
        File.Assign(Names[Source]);
        // A directory, a device or a pipe under such a name is no recovery file.
        try {
            File.Reset();
        } catch (const EInOutError&) {
            Handles.push_back(-1);
            continue;
        }
        Handles.push_back(File.Duplicate());
        const int64_t Size = File.FileSize();
        Largest = std::max(Largest, Size);
        File.Close();
        TPar2Packets::Scan(Handles.back(), Size, [&](TPar2Packets::TFound& Packet) {
            if (SetOf[Source] && *SetOf[Source] != Packet.SetId)
                Mixed[Source] = true;
            SetOf[Source] = Packet.SetId;
            if (Packet.Type == TPar2Packets::RecoveryType) {
                if (Noted < MostNoted &&
                    Sets[Packet.SetId]
                        .Recovery
                        .try_emplace(Packet.Exponent % FieldOrder,
                                     TRecoverySlice{Packet.Exponent, Source, Packet.DataOffset},
                                     Packet.SliceBytes)
                        .second)
                    ++Noted;
                return;
            }
            if (Kept + static_cast<int64_t>(Packet.Body.size()) > MostKept)
                return;
            Kept += static_cast<int64_t>(Packet.Body.size());
            TParts& Set = Sets[Packet.SetId];
            TPar2Packets::TMain Main;
            TPar2Packets::TFile Description;
            TMd5::TDigest Id{};
            std::vector<TSliceDigests::TSlice> Sums;
            if (Packet.Type == TPar2Packets::MainType && !Set.Main &&
                TPar2Packets::ReadMain(Packet.Body, Main))
                Set.Main = std::move(Main);
            else if (Packet.Type == TPar2Packets::FileType &&
                     TPar2Packets::ReadFile(Packet.Body, Description))
                Set.Files.try_emplace(Description.Id, Description, Source);
            else if (Packet.Type == TPar2Packets::SlicesType &&
                     TPar2Packets::ReadSlices(Packet.Body, Id, Sums))
                Set.Slices.try_emplace(Id, std::move(Sums));
            else if (Packet.Type == TPar2Packets::CreatorType && Set.Creator.empty())
                Set.Creator.assign(Packet.Body.begin(),
                                   std::find(Packet.Body.begin(), Packet.Body.end(), 0));
        });
    }

    // The set whose description is complete, with the most files, then the
    // most recovery slices: another set of the same name covers less.
    const TParts* Best = nullptr;
    const TMd5::TDigest* BestId = nullptr;
    size_t BestSlices = 0;
    for (const auto& [Id, Set] : Sets) {
        if (!Complete(Set))
            continue;
        const int64_t Size = Set.Main->SliceSize;
        const auto Usable = static_cast<size_t>(
            std::count_if(Set.Recovery.begin(), Set.Recovery.end(),
                          [Size](const auto& Entry) { return Entry.second.second == Size; }));
        if (!Best || Set.Main->Files.size() > Best->Main->Files.size() ||
            (Set.Main->Files.size() == Best->Main->Files.size() && Usable > BestSlices)) {
            Best = &Set;
            BestId = &Id;
            BestSlices = Usable;
        }
    }
    if (!Best)
        throw EParvoxError(TextWith(txtNoRecovery, {BareName(Names.front())}));

    Slice = Best->Main->SliceSize;
    int64_t Constant = 0;
    for (const TMd5::TDigest& Id : Best->Main->Files) {
        const auto& [Description, Source] = Best->Files.at(Id);
        // Only names of files beside the pieces: a folder would lead elsewhere.
        if (!Beside(Description.Name))
            throw EParvoxError(
                TextWith(txtRecoveryAway, {BareName(Names[Source]), Shown(Description.Name)}));
        if (!Named.try_emplace(Description.Name, InputFiles.size()).second)
            throw EParvoxError(TextWith(txtNoRecovery, {BareName(Names[Source])}));
        InputFiles.push_back({Description, Best->Slices.at(Id), Constant});
        Constant += static_cast<int64_t>(InputFiles.back().Slices.size());
    }
    for (const auto& [Exponent, Found] : Best->Recovery)
        if (Found.second == Slice)
            Recovery.push_back(Found.first);
    std::sort(
        Recovery.begin(), Recovery.end(),
        [](const TRecoverySlice& A, const TRecoverySlice& B) { return A.Exponent < B.Exponent; });
    Made = Best->Creator;
    for (size_t Source = 0; Source < Names.size(); ++Source)
        Only.push_back(!Mixed[Source] && SetOf[Source] == *BestId);
    return true;
}
