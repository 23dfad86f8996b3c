// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Writing and strict reading of the checksum file of a set of pieces.
#include "classPieceSums.h"

#include "classParvoxBase.h"
#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string_view>

namespace {

// The longest line that a set's checksum file needs: the digest, the
// separator, a name as long as a file name may be (255 bytes), each byte
// escaped, and a line end.
constexpr size_t LongestLine = 64 + 2 + 2 * 255 + 2 + 2;
// A .crc file holds three short lines.
constexpr int64_t MostCrcLines = 8;
// The checksum file goes out in writes of about this size.
constexpr size_t WriteSize = 64 * 1024;

constexpr char HexDigits[] = "0123456789abcdef";

int HexValue(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

// The bytes that Digits spell in hex, or false when they do not.
bool FromHex(std::string_view Digits, uint8_t* Bytes) {
    for (size_t At = 0; At + 1 < Digits.size(); At += 2) {
        const int High = HexValue(Digits[At]);
        const int Low = HexValue(Digits[At + 1]);
        if (High < 0 || Low < 0)
            return false;
        Bytes[At / 2] = static_cast<uint8_t>(High * 16 + Low);
    }
    return Digits.size() % 2 == 0;
}

// A decimal number of at most MaxDigits digits and nothing else, or -1.
int64_t FromDecimal(std::string_view Digits, size_t MaxDigits) {
    if (Digits.empty() || Digits.size() > MaxDigits)
        return -1;
    int64_t Value = 0;
    for (const char C : Digits) {
        if (C < '0' || C > '9')
            return -1;
        Value = Value * 10 + (C - '0');
    }
    return Value;
}

} // namespace

// The lines of a file in turn, each without its line end ("\n" or "\r\n",
// as sha256sum takes them); a last line without a line end counts as well.
// A line longer than LongestLine, or more lines than Most, raise Refusal.
// Where it stands lives in Reading, which may outlast it.
class TPieceSums::TLines {
public:
    TLines(TByteFile& File, TReading& Reading, int64_t Most, std::string Refusal)
        : File(File), Rest(Reading.Rest), Lines(Reading.Lines), Most(Most),
          Refusal(std::move(Refusal)) {}

    bool Next(std::string& Line) {
        Line.clear();
        for (;;) {
            if (Rest.empty()) {
                Rest = File.NextBlock(4096);
                if (Rest.empty()) {
                    if (Line.empty())
                        return false;
                    break;
                }
            }
            const auto End = std::find(Rest.begin(), Rest.end(), uint8_t{'\n'});
            Line.append(Rest.begin(), End);
            const bool Ended = End != Rest.end();
            Rest = Rest.subspan(static_cast<size_t>(End - Rest.begin()) + (Ended ? 1 : 0));
            if (Line.size() > LongestLine)
                throw EParvoxError(Refusal);
            if (Ended)
                break;
        }
        if (++Lines > Most)
            throw EParvoxError(Refusal);
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        return true;
    }

private:
    TByteFile& File;
    std::span<const uint8_t>& Rest;
    int64_t& Lines;
    const int64_t Most;
    const std::string Refusal;
};

namespace {

// A line of a .sha256 file: the digest and the name, unescaped as sha256sum
// reads a line that begins with a backslash; false when it is none.
bool ParseLine(std::string_view Line, TPieceHasher::TPieceDigest& Digest, std::string& Name) {
    const bool Escaped = !Line.empty() && Line[0] == '\\';
    if (Escaped)
        Line.remove_prefix(1);
    if (Line.size() < 67 || Line[64] != ' ' || (Line[65] != ' ' && Line[65] != '*') ||
        !FromHex(Line.substr(0, 64), Digest.data()))
        return false;
    Name.clear();
    for (size_t At = 66; At < Line.size(); ++At) {
        if (!Escaped || Line[At] != '\\') {
            Name += Line[At];
            continue;
        }
        const char Next = At + 1 < Line.size() ? Line[++At] : '\0';
        if (Next != '\\' && Next != 'n' && Next != 'r')
            return false;
        Name += Next == 'n' ? '\n' : Next == 'r' ? '\r' : '\\';
    }
    // Only bare names: a folder or a name ending early would lead elsewhere.
    return Name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// The line of Digest and Name, escaped as sha256sum escapes it.
void AddLine(std::string& Text, const uint8_t* Digest, size_t Size, const std::string& Name) {
    const bool Escaped = Name.find_first_of("\\\n\r") != std::string::npos;
    if (Escaped)
        Text += '\\';
    for (size_t At = 0; At < Size; ++At)
        Text += {HexDigits[Digest[At] >> 4], HexDigits[Digest[At] & 15]};
    Text += "  ";
    for (const char C : Name) {
        if (!Escaped)
            Text += C;
        else if (C == '\\')
            Text += "\\\\";
        else if (C == '\n')
            Text += "\\n";
        else if (C == '\r')
            Text += "\\r";
        else
            Text += C;
    }
    Text += '\n';
}

} // namespace

bool TPieceSums::IsTheSets(const std::string& Name, const std::string& WholeName, int64_t Pieces) {
    if (Pieces < 1)
        return false;
    try {
        TByteFile Sums;
        Sums.Assign(Name);
        Sums.Reset();
        TReading Reading;
        TLines Lines(Sums, Reading, Pieces + 1, {});
        std::vector<bool> Seen(static_cast<size_t>(Pieces));
        int64_t Listed = 0;
        bool Whole = false;
        TPieceHasher::TPieceDigest Digest;
        std::string Line;
        std::string Entry;
        while (Lines.Next(Line)) {
            if (!ParseLine(Line, Digest, Entry))
                return false;
            const int64_t Piece = TParvoxBase::PieceNumberOf(Entry, WholeName);
            if (Entry == WholeName && !Whole)
                Whole = true;
            else if (Piece < 1 || Piece > Pieces || Seen[static_cast<size_t>(Piece - 1)])
                return false;
            else
                Seen[static_cast<size_t>(Piece - 1)] = true, ++Listed;
        }
        return Listed == Pieces;
    } catch (const std::exception&) {
        return false;
    }
}

void TPieceSums::StartWriting(TByteFile& Sums, const std::string& Whole) {
    Output = &Sums;
    WholeName = Whole;
    Done = 0;
    Text.clear();
}

void TPieceSums::WritePieces(TPieceHasher& Hasher) {
    TPieceHasher::TPieceDigest Digest;
    while (Hasher.NextDigest(Digest)) {
        AddLine(Text, Digest.data(), Digest.size(),
                WholeName + TParvoxBase::PieceExtension(++Done));
        if (Text.size() >= WriteSize)
            Flush();
    }
}

void TPieceSums::FinishWriting(TPieceHasher& Hasher) {
    WritePieces(Hasher);
    const TPieceHasher::TDigest& All = Hasher.WholeDigest();
    AddLine(Text, All.data(), All.size(), WholeName);
    Flush();
}

void TPieceSums::Flush() {
    Output->Write(Text.data(), Text.size());
    Text.clear();
}

void TPieceSums::ForEachListed(
    const std::string& Base,
    const std::function<bool(int64_t Piece, const TPieceHasher::TPieceDigest& Digest)>& Visit) {
    try {
        TByteFile Sums;
        Sums.Assign(Base + ".sha256");
        Sums.Reset();
        TReading Reading;
        TLines Lines(Sums, Reading, std::numeric_limits<int64_t>::max(), {});
        const std::string Whole = BareName(Base);
        TPieceHasher::TPieceDigest Digest;
        std::string Line;
        std::string Name;
        while (Lines.Next(Line) && ParseLine(Line, Digest, Name))
            if (const int64_t Piece = TParvoxBase::PieceNumberOf(Name, Whole);
                Piece > 0 && !Visit(Piece, Digest))
                return;
    } catch (const std::exception&) {
        // Load names what is wrong with the file.
    }
}

int64_t TPieceSums::HighestListed(const std::string& Base) {
    int64_t Lines = 0;
    int64_t Highest = 0;
    ForEachListed(Base, [&](int64_t Piece, const TPieceHasher::TPieceDigest&) {
        ++Lines;
        Highest = std::max(Highest, Piece);
        return true;
    });
    // A number beyond the lines cannot be a list of every piece up to it.
    return Highest <= Lines ? Highest : 0;
}

std::optional<TPieceHasher::TPieceDigest> TPieceSums::ListedDigest(const std::string& Base,
                                                                   int64_t Piece) {
    std::optional<TPieceHasher::TPieceDigest> Found;
    ForEachListed(Base, [&](int64_t Listed, const TPieceHasher::TPieceDigest& Digest) {
        if (Listed == Piece)
            Found = Digest;
        return !Found;
    });
    return Found;
}

bool TPieceSums::Load(const std::string& Base, int64_t Pieces, int64_t Total) {
    Kind = TKind::None;
    WholeName = BareName(Base);
    Count = Pieces;
    ListedPieces = 0;
    InOrder = true;
    Table.clear();
    Done = 0;
    Whole.clear();
    Size = -1;
    File.CloseQuietly();
    for (const auto& [Extension, Type] :
         {std::pair{".sha256", TKind::Sha256}, std::pair{".crc", TKind::Crc32}}) {
        if (!FileExists(Base + Extension))
            continue;
        Kind = Type;
        FileName = WholeName + Extension;
        try {
            File.Assign(Base + Extension);
            File.Reset();
        } catch (const EInOutError&) {
            Unreadable();
        }
        if (Kind == TKind::Sha256)
            LoadSha256();
        else
            LoadCrc(Total);
        return true;
    }
    return false;
}

void TPieceSums::LoadSha256() {
    // Room for every piece of the set, for pieces that went missing, and no more.
    TReading Reading;
    TLines Lines(File, Reading, 4 * Count + 64, TextWith(txtSumsUnreadable, {FileName}));
    std::vector<bool> Seen(static_cast<size_t>(Count));
    int64_t Missing = 0;
    TPieceHasher::TPieceDigest Digest;
    std::string Line;
    std::string Name;
    while (Lines.Next(Line)) {
        if (!ParseLine(Line, Digest, Name))
            Unreadable();
        if (Name == WholeName) {
            if (!Whole.empty())
                Unreadable();
            Whole.assign(Digest.begin(), Digest.end());
            continue;
        }
        const int64_t Piece = TParvoxBase::PieceNumberOf(Name, WholeName);
        if (Piece < 1)
            Unreadable();
        if (Piece > Count) {
            Missing = Missing == 0 ? Piece : std::min(Missing, Piece);
            continue;
        }
        if (Seen[static_cast<size_t>(Piece - 1)])
            Unreadable();
        Seen[static_cast<size_t>(Piece - 1)] = true;
        InOrder = InOrder && Piece == ++ListedPieces;
    }
    if (Missing > 0)
        throw EParvoxError(TextWith(txtPieceMissing,
                                    {WholeName + TParvoxBase::PieceExtension(Missing), FileName}));
    if (ListedPieces == 0 && Whole.empty())
        Unreadable();
    // A list of the whole file alone (a published digest) checks the joined
    // file and leaves the pieces be; one that lists pieces lists them all.
    if (ListedPieces > 0 && ListedPieces < Count) {
        const auto Unlisted = std::find(Seen.begin(), Seen.end(), false) - Seen.begin() + 1;
        throw EParvoxError(TextWith(txtPieceNotListed,
                                    {WholeName + TParvoxBase::PieceExtension(Unlisted), FileName}));
    }
    if (ListedPieces > 0 && !InOrder) {
        Table.resize(static_cast<size_t>(Count));
        File.Rewind();
        TReading Second;
        TLines Again(File, Second, 4 * Count + 64, TextWith(txtSumsUnreadable, {FileName}));
        while (Again.Next(Line)) {
            if (!ParseLine(Line, Digest, Name))
                Unreadable();
            if (const int64_t Piece = TParvoxBase::PieceNumberOf(Name, WholeName);
                Piece >= 1 && Piece <= Count)
                Table[static_cast<size_t>(Piece - 1)] = Digest;
        }
    }
    File.Rewind();
    InTurn = {};
}

void TPieceSums::LoadCrc(int64_t Total) {
    TReading Reading;
    TLines Lines(File, Reading, MostCrcLines, TextWith(txtSumsUnreadable, {FileName}));
    std::string Name;
    bool Named = false;
    std::string Line;
    while (Lines.Next(Line)) {
        const size_t Equals = Line.find('=');
        if (Equals == std::string::npos)
            Unreadable();
        const std::string_view Key = std::string_view(Line).substr(0, Equals);
        const std::string_view Value = std::string_view(Line).substr(Equals + 1);
        if (Key == "filename" && !Named) {
            Name = Value;
            Named = true;
        } else if (Key == "size" && Size < 0) {
            Size = FromDecimal(Value, 18);
        } else if (Key == "crc32" && Whole.empty() && Value.size() == 8) {
            Whole.resize(4);
            if (!FromHex(Value, Whole.data()))
                Unreadable();
        } else {
            Unreadable();
        }
    }
    if (Name != WholeName || Size < 0 || Whole.empty())
        Unreadable();
    if (Total >= 0 && Size != Total)
        throw EParvoxError(
            TextWith(txtSizeDiffers, {std::to_string(Total), FileName, std::to_string(Size)}));
}

void TPieceSums::Unreadable() const {
    throw EParvoxError(TextWith(txtSumsUnreadable, {FileName}));
}

void TPieceSums::StartChecks(TPieceHasher& Hasher, TPieceHasher::TFeed Feed) const {
    if (Kind == TKind::Sha256)
        Hasher.Start(ListedPieces > 0 ? std::optional(TPieceHasher::TAlgorithm::Sha256)
                                      : std::nullopt,
                     Whole.empty() ? std::nullopt : std::optional(TPieceHasher::TAlgorithm::Sha256),
                     {}, std::move(Feed));
    else if (Kind == TKind::Crc32)
        Hasher.Start(std::nullopt, TPieceHasher::TAlgorithm::Crc32, {}, std::move(Feed));
    else if (Feed.Bytes)
        Hasher.Start(std::nullopt, std::nullopt, {}, std::move(Feed));
}

TPieceHasher::TPieceDigest TPieceSums::Listed(int64_t Piece) {
    if (!InOrder)
        return Table[static_cast<size_t>(Piece - 1)];
    // The file was read through once: it lists its pieces in order, and
    // the piece's line is the next one, whatever the whole file's does.
    TLines Lines(File, InTurn, 4 * Count + 64, TextWith(txtSumsUnreadable, {FileName}));
    TPieceHasher::TPieceDigest Digest;
    std::string Line;
    std::string Name;
    while (Lines.Next(Line) && ParseLine(Line, Digest, Name)) {
        if (Name == WholeName)
            continue;
        if (TParvoxBase::PieceNumberOf(Name, WholeName) == Piece)
            return Digest;
        break;
    }
    // The file changed since it was read.
    Unreadable();
}

int64_t TPieceSums::ListedWith(const TPieceHasher::TPieceDigest& Digest) {
    if (!InOrder) {
        const auto Found = std::find(Table.begin(), Table.end(), Digest);
        return Found == Table.end() ? 0 : Found - Table.begin() + 1;
    }
    File.Rewind();
    TReading Reading;
    TLines Lines(File, Reading, 4 * Count + 64, TextWith(txtSumsUnreadable, {FileName}));
    TPieceHasher::TPieceDigest Listed;
    std::string Line;
    std::string Name;
    while (Lines.Next(Line))
        if (ParseLine(Line, Listed, Name) && Listed == Digest && Name != WholeName)
            return TParvoxBase::PieceNumberOf(Name, WholeName);
    return 0;
}

void TPieceSums::CheckPieces(TPieceHasher& Hasher) {
    TPieceHasher::TPieceDigest Digest;
    while (Hasher.NextDigest(Digest)) {
        const int64_t Piece = ++Done;
        if (Digest == Listed(Piece))
            continue;
        const std::string Name =
            PieceShown ? PieceShown(Piece) : WholeName + TParvoxBase::PieceExtension(Piece);
        // A piece that another line lists: pieces renamed or swapped, not damaged.
        if (const int64_t Holds = ListedWith(Digest); Holds > 0 && Holds != Piece)
            throw EParvoxError(TextWith(txtPieceSwapped, {Name, std::to_string(Holds), FileName}));
        throw EParvoxError(TextWith(txtPieceDamaged, {Name, FileName}));
    }
    Hasher.Check();
}

void TPieceSums::CheckWhole(TPieceHasher& Hasher) {
    if (Kind == TKind::None)
        return;
    CheckPieces(Hasher);
    const bool SizeDiffers = Kind == TKind::Crc32 && Hasher.Total() != Size;
    if (SizeDiffers || (!Whole.empty() && Hasher.WholeDigest() != Whole))
        throw EParvoxError(TextWith(txtJoinedDamaged, {FileName}));
}

std::string TPieceSums::Summary() const {
    if (Kind == TKind::Crc32 || (Kind == TKind::Sha256 && ListedPieces == 0))
        return TextWith(txtJoinedMatches, {FileName});
    if (Kind == TKind::None)
        return {};
    if (Count == 1)
        return TextWith(txtOnePieceMatches, {FileName});
    return TextWith(txtAllPiecesMatch, {std::to_string(Count), FileName});
}
