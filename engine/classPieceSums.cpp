// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Writing and strict reading of the checksum file of a set of pieces.
#include "classPieceSums.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

// The longest line that a set's checksum file needs: the digest, the
// separator, a name as long as a file name may be (255 bytes), a line end
// and room for escapes.
constexpr int64_t LongestLine = 64 + 2 + 255 + 2 + 32;
// A .crc file holds three short lines.
constexpr int64_t LongestCrcFile = 4096;

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

// The bytes that Digits spell in hex, or an empty digest when they do not.
TPieceHasher::TDigest FromHex(std::string_view Digits) {
    TPieceHasher::TDigest Digest;
    for (size_t At = 0; At + 1 < Digits.size(); At += 2) {
        const int High = HexValue(Digits[At]);
        const int Low = HexValue(Digits[At + 1]);
        if (High < 0 || Low < 0)
            return {};
        Digest.push_back(static_cast<uint8_t>(High * 16 + Low));
    }
    return Digits.size() % 2 == 0 ? Digest : TPieceHasher::TDigest{};
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

// The lines of Text, each without its line end ("\n" or "\r\n"); a last
// line without a line end counts as well.
std::vector<std::string_view> LinesOf(std::string_view Text) {
    std::vector<std::string_view> Lines;
    while (!Text.empty()) {
        const size_t End = Text.find('\n');
        std::string_view Line = Text.substr(0, End);
        Text = End == std::string_view::npos ? std::string_view{} : Text.substr(End + 1);
        if (!Line.empty() && Line.back() == '\r')
            Line.remove_suffix(1);
        Lines.push_back(Line);
    }
    return Lines;
}

} // namespace

std::string TPieceSums::BareName(const std::string& Name) {
    const size_t Slash = Name.rfind('/');
    return Slash == std::string::npos ? Name : Name.substr(Slash + 1);
}

TFileId TPieceSums::Write(const std::string& Name, mode_t Permissions, const std::string& WholeName,
                          const std::vector<std::string>& PieceNames, const TPieceHasher& Hasher) {
    std::string Text;
    const auto Line = [&Text](const TPieceHasher::TDigest& Digest, const std::string& File) {
        // A name with a backslash or a line end is written escaped, after a
        // backslash at the start of the line, as sha256sum does.
        const bool Escaped = File.find_first_of("\\\n") != std::string::npos;
        if (Escaped)
            Text += '\\';
        for (const uint8_t Byte : Digest)
            Text += {HexDigits[Byte >> 4], HexDigits[Byte & 15]};
        Text += "  ";
        for (const char C : File) {
            if (Escaped && C == '\\')
                Text += "\\\\";
            else if (Escaped && C == '\n')
                Text += "\\n";
            else
                Text += C;
        }
        Text += '\n';
    };
    for (size_t Piece = 0; Piece < PieceNames.size(); ++Piece)
        Line(Hasher.PieceDigests().at(Piece), PieceNames[Piece]);
    Line(Hasher.WholeDigest(), WholeName);

    // A name of our own that nothing else has taken, so that nothing is written through.
    std::string Temporary;
    int Fd = -1;
    for (int Attempt = 0; Fd < 0; ++Attempt) {
        Temporary = Name + ".part" + (Attempt > 0 ? std::to_string(Attempt) : "");
        Fd = Retried([&] {
            return ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          (Permissions & 0666) | S_IWUSR);
        });
        if (Fd < 0 && (errno != EEXIST || Attempt == 99))
            throw EInOutError(errno, Temporary);
    }
    int Error = 0;
    for (size_t Done = 0; Error == 0 && Done < Text.size();) {
        const ssize_t N =
            Retried([&] { return ::write(Fd, Text.data() + Done, Text.size() - Done); });
        if (N <= 0)
            Error = N < 0 ? errno : ENOSPC;
        else
            Done += static_cast<size_t>(N);
    }
    // Stored before it takes its name: the name never leads to a file that is not there in full.
    struct stat Written {};
    if (Error == 0 && (::fdatasync(Fd) != 0 || ::fstat(Fd, &Written) != 0))
        Error = errno;
    if (::close(Fd) != 0 && Error == 0)
        Error = errno;
    if (Error == 0 && ::rename(Temporary.c_str(), Name.c_str()) != 0)
        Error = errno;
    if (Error != 0) {
        (void)RemoveFile(Temporary);
        throw EInOutError(Error, Name);
    }
    return {Written.st_dev, Written.st_ino};
}

bool TPieceSums::Load(const std::string& Base, const std::vector<std::string>& PieceNames,
                      int64_t Total) {
    *this = {};
    const std::string WholeName = BareName(Base);
    const auto Count = static_cast<int64_t>(PieceNames.size());
    if (FileExists(Base + ".sha256")) {
        Kind = TKind::Sha256;
        FileName = WholeName + ".sha256";
        // Room for every piece of the set, for pieces that went missing, and no more.
        const std::string Text = ReadBounded(Base + ".sha256", (4 * Count + 64) * LongestLine);
        Pieces = PieceNames;
        LoadSha256(Text, WholeName);
    } else if (FileExists(Base + ".crc")) {
        Kind = TKind::Crc32;
        FileName = WholeName + ".crc";
        LoadCrc(ReadBounded(Base + ".crc", LongestCrcFile), WholeName, Total);
    }
    return Kind != TKind::None;
}

std::string TPieceSums::ReadBounded(const std::string& Name, int64_t MaxBytes) const {
    std::string Text;
    try {
        TByteFile File;
        File.Assign(Name);
        File.Reset();
        if (File.FileSize() > MaxBytes)
            Unreadable();
        char Block[1024];
        for (int32_t Read = sizeof Block; Read == sizeof Block;) {
            Read = File.BlockRead(Block, sizeof Block);
            Text.append(Block, static_cast<size_t>(Read));
            if (static_cast<int64_t>(Text.size()) > MaxBytes)
                Unreadable();
        }
        File.Close();
    } catch (const EInOutError&) {
        Unreadable();
    }
    return Text;
}

void TPieceSums::Unreadable() const {
    throw EParvoxError(TextWith(txtSumsUnreadable, {FileName}));
}

void TPieceSums::LoadSha256(const std::string& Text, const std::string& WholeName) {
    const auto Count = static_cast<int64_t>(Pieces.size());
    const std::vector<std::string_view> Lines = LinesOf(Text);
    if (Lines.empty() || static_cast<int64_t>(Lines.size()) > 4 * Count + 64)
        Unreadable();
    Expected.assign(Pieces.size(), {});
    int64_t Missing = 0;
    std::string MissingName;
    for (std::string_view Line : Lines) {
        const bool Escaped = !Line.empty() && Line[0] == '\\';
        if (Escaped)
            Line.remove_prefix(1);
        if (Line.size() < 67 || Line[64] != ' ' || (Line[65] != ' ' && Line[65] != '*'))
            Unreadable();
        TPieceHasher::TDigest Digest = FromHex(Line.substr(0, 64));
        std::string Name;
        for (size_t At = 66; At < Line.size(); ++At) {
            if (Escaped && Line[At] == '\\') {
                const char Next = At + 1 < Line.size() ? Line[++At] : '\0';
                if (Next != '\\' && Next != 'n')
                    Unreadable();
                Name += Next == 'n' ? '\n' : '\\';
            } else {
                Name += Line[At];
            }
        }
        // Only bare names: a folder or a name ending early would lead elsewhere.
        if (Digest.empty() || Name.find_first_of(std::string("/\0", 2)) != std::string::npos)
            Unreadable();
        if (Name == WholeName) {
            if (!Whole.empty())
                Unreadable();
            Whole = std::move(Digest);
            continue;
        }
        // A piece's extension: three digits or more, without a zero in front of the three.
        const std::string_view Extension =
            std::string_view(Name).substr(std::min(Name.size(), WholeName.size() + 1));
        const int64_t Piece = FromDecimal(Extension, 12);
        if (Name.size() <= WholeName.size() + 1 ||
            Name.compare(0, WholeName.size() + 1, WholeName + ".") != 0 || Piece < 1 ||
            Extension.size() < 3 || (Extension.size() > 3 && Extension[0] == '0'))
            Unreadable();
        if (Piece > Count) {
            if (Missing == 0 || Piece < Missing) {
                Missing = Piece;
                MissingName = Name;
            }
            continue;
        }
        auto& Listed = Expected[static_cast<size_t>(Piece - 1)];
        if (!Listed.empty())
            Unreadable();
        Listed = std::move(Digest);
    }
    if (Missing > 0)
        throw EParvoxError(TextWith(txtPieceMissing, {MissingName, FileName}));
    for (size_t Piece = 0; Piece < Pieces.size(); ++Piece)
        if (Expected[Piece].empty())
            throw EParvoxError(TextWith(txtPieceNotListed, {Pieces[Piece], FileName}));
}

void TPieceSums::LoadCrc(const std::string& Text, const std::string& WholeName, int64_t Total) {
    std::string Name;
    for (const std::string_view Line : LinesOf(Text)) {
        const size_t Equals = Line.find('=');
        if (Equals == std::string_view::npos)
            Unreadable();
        const std::string_view Key = Line.substr(0, Equals);
        const std::string_view Value = Line.substr(Equals + 1);
        if (Key == "filename" && Name.empty())
            Name = Value;
        else if (Key == "size" && Size < 0)
            Size = FromDecimal(Value, 18);
        else if (Key == "crc32" && Whole.empty() && Value.size() == 8)
            Whole = FromHex(Value);
        else
            Unreadable();
    }
    if (Name != WholeName || Size < 0 || Whole.empty())
        Unreadable();
    if (Size != Total)
        throw EParvoxError(
            TextWith(txtSizeDiffers, {std::to_string(Total), FileName, std::to_string(Size)}));
}

void TPieceSums::StartChecks(TPieceHasher& Hasher) const {
    if (Kind == TKind::Sha256)
        Hasher.Start(true, TPieceHasher::TAlgorithm::Sha256, Expected);
    else if (Kind == TKind::Crc32)
        Hasher.Start(false, TPieceHasher::TAlgorithm::Crc32);
}

void TPieceSums::CheckPieces(const TPieceHasher& Hasher) const {
    if (const int64_t Damaged = Hasher.Check(); Damaged > 0)
        throw EParvoxError(
            TextWith(txtPieceDamaged, {Pieces.at(static_cast<size_t>(Damaged - 1)), FileName}));
}

void TPieceSums::CheckWhole(TPieceHasher& Hasher) const {
    if (Kind == TKind::None)
        return;
    (void)Hasher.Finish();
    CheckPieces(Hasher);
    const bool SizeDiffers = Kind == TKind::Crc32 && Hasher.Total() != Size;
    if (SizeDiffers || (!Whole.empty() && Hasher.WholeDigest() != Whole))
        throw EParvoxError(TextWith(txtJoinedDamaged, {FileName}));
}

std::string TPieceSums::Summary() const {
    if (Kind == TKind::Crc32)
        return TextWith(txtJoinedMatches, {FileName});
    if (Kind == TKind::None)
        return {};
    if (Pieces.size() == 1)
        return TextWith(txtOnePieceMatches, {FileName});
    return TextWith(txtAllPiecesMatch, {std::to_string(Pieces.size()), FileName});
}
