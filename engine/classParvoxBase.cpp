// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Piece naming, join output name and progress protocol shared by the engines.
#include "classParvoxBase.h"

#include "classParvoxErrors.h"

#include "txt.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

void TParvoxBase::SetBaseFileName(const std::string& Name) {
    BaseFileName = Name;
}

std::string TParvoxBase::GetBaseFileName() const {
    return BaseFileName;
}

bool TParvoxBase::BaseFileNameEmpty() const {
    return BaseFileName.empty();
}

void TParvoxBase::CheckBaseFileName() const {
    const bool Blank = std::all_of(BaseFileName.begin(), BaseFileName.end(),
                                   [](char C) { return static_cast<unsigned char>(C) <= 32; });
    if (Blank)
        throw EParvoxError("Empty basefile name");
}

std::string TParvoxBase::PieceExtension(int64_t PieceNumber) {
    std::string Digits = std::to_string(PieceNumber);
    if (Digits.size() < 3)
        Digits.insert(0, 3 - Digits.size(), '0');
    return "." + Digits;
}

int64_t TParvoxBase::PieceNumberOf(const std::string& Name, const std::string& Base) {
    if (Name.size() <= Base.size() + 3 || Name.size() > Base.size() + 19 ||
        Name.compare(0, Base.size(), Base) != 0 || Name[Base.size()] != '.')
        return 0;
    int64_t Piece = 0;
    for (size_t At = Base.size() + 1; At < Name.size(); ++At) {
        if (Name[At] < '0' || Name[At] > '9')
            return 0;
        Piece = Piece * 10 + (Name[At] - '0');
    }
    // Only the piece's own extension: ".012", never ".0012".
    return Piece > 0 && Name.size() - Base.size() == PieceExtension(Piece).size() ? Piece : 0;
}

std::string TParvoxBase::PieceFileName(int64_t PieceNumber) const {
    CheckBaseFileName();
    return BaseFileName + PieceExtension(PieceNumber);
}

bool TParvoxBase::PieceExists(int64_t PieceNumber) const {
    return FileExists(PieceFileName(PieceNumber));
}

bool TParvoxBase::BaseFileExists() const {
    return FileExists(BaseFileName);
}

void TParvoxBase::CheckPieceExtension(int64_t PieceNumber, const std::string& FileName) const {
    const std::string Expected = PieceExtension(PieceNumber);
    if (FileExtension(FileName) != Expected)
        throw EParvoxError("Invalid file name, should have extension " + Expected);
}

void TParvoxBase::SetPieceFileName(int64_t PieceNumber, const std::string& FileName) {
    CheckPieceExtension(PieceNumber, FileName);
    // Cut the extension that was just checked, so piece 1000 and on work too.
    BaseFileName = FileName.substr(0, FileName.size() - PieceExtension(PieceNumber).size());
}

std::string TParvoxBase::OutputBaseName() const {
    if (OutputFolder.empty() || BaseFileName.empty())
        return BaseFileName;
    const std::string Name = BaseFileName.substr(BaseFileName.rfind('/') + 1);
    return OutputFolder.back() == '/' ? OutputFolder + Name : OutputFolder + '/' + Name;
}

std::string TParvoxBase::JoinedFileName() const {
    const std::string Output = OutputBaseName();
    return FileExists(Output) ? Output + ".joined" : Output;
}

void TParvoxBase::ForEachPiece(const std::string& Base,
                               const std::function<void(int64_t Piece)>& Visit) const {
    CheckBaseFileName();
    for (int64_t Piece = 1; FileExists(Base + PieceExtension(Piece)); ++Piece)
        Visit(Piece);
}

int64_t TParvoxBase::PieceCount(const std::string& Base) const {
    int64_t Count = 0;
    ForEachPiece(Base, [&Count](int64_t /*Piece*/) { ++Count; });
    return Count;
}

void TProgressCounts::Clear() noexcept {
    Done = 0;
    Total = 0;
    Piece = 0;
    Pieces = 0;
    Phase = Copying;
    const std::lock_guard Hold(TextLock);
    SubjectText.clear();
    SourceFolder.clear();
}

void TProgressCounts::SetSubject(std::string Text) {
    const std::lock_guard Hold(TextLock);
    SubjectText = std::move(Text);
}

std::string TProgressCounts::Subject() const {
    const std::lock_guard Hold(TextLock);
    return SubjectText;
}

double TProgressCounts::Fraction() const noexcept {
    const int64_t Of = Total.load(std::memory_order_relaxed);
    if (Phase.load(std::memory_order_relaxed) == Storing)
        return 1.0;
    if (Of <= 0)
        return 0.0;
    return std::clamp(static_cast<double>(Done.load(std::memory_order_relaxed)) /
                          static_cast<double>(Of),
                      0.0, 1.0);
}

void TProgressCounts::SetSource(const std::string& Folder) {
    const std::lock_guard Hold(TextLock);
    SourceFolder = Folder;
}

std::string TProgressCounts::Source() const {
    const std::lock_guard Hold(TextLock);
    return SourceFolder;
}

void TParvoxBase::ReportPiece(int64_t Piece, int64_t Pieces, const std::string& From) const {
    if (Counts != nullptr) {
        Counts->Pieces.store(Pieces, std::memory_order_relaxed);
        Counts->Piece.store(Piece, std::memory_order_relaxed);
        Counts->SetSource(From);
    }
}

void TParvoxBase::ReportPhase(TProgressCounts::TPhase Phase, const std::string& Subject) const {
    if (Counts != nullptr) {
        Counts->SetSubject(Subject);
        Counts->Phase.store(Phase, std::memory_order_relaxed);
    }
}

void TParvoxBase::ReportBytes(int64_t Done, int64_t Total) const noexcept {
    if (Counts != nullptr) {
        Counts->Total.store(Total, std::memory_order_relaxed);
        Counts->Done.store(Done, std::memory_order_relaxed);
    }
}

void TParvoxBase::ReportProgress(int64_t Done, int64_t Total) const {
    // Relaxed: each count stands on its own, and a reader that sees a new
    // count a moment late shows it a moment late.
    if (Counts != nullptr) {
        Counts->Total.store(Total, std::memory_order_relaxed);
        Counts->Done.store(Done, std::memory_order_relaxed);
    }
    if (OnProgress) {
        const long double Fraction =
            Total == 0 ? 0.0L : static_cast<long double>(Done) / static_cast<long double>(Total);
        static const std::string NoStatus;
        OnProgress(NoStatus, Fraction);
    }
    EndIfStopRequested();
}

void TParvoxBase::EndIfStopRequested() const {
    if (StopRequested.load(std::memory_order_relaxed)) {
        StopRequested = false;
        throw EParvoxStopped();
    }
}

void TParvoxBase::KeepUp(TPieceHasher& Hasher, TProgressCounts::TPhase Phase, bool All) const {
    if (!All && !Hasher.Behind())
        return;
    ReportPhase(Phase);
    // Short waits: a stop is heard within one of them.
    while (!Hasher.CatchUp(std::chrono::milliseconds(100), All))
        EndIfStopRequested();
    Hasher.Check();
    ReportPhase(TProgressCounts::Copying);
}

void TParvoxBase::FinishDigests(TPieceHasher& Hasher, TProgressCounts::TPhase Phase) const {
    Hasher.Finish();
    ReportPhase(Phase);
    while (!Hasher.CatchUp(std::chrono::milliseconds(100)))
        EndIfStopRequested();
    Hasher.Check();
}

void TParvoxBase::UndoneOnFailure(const std::function<void()>& Run,
                                  const std::function<void(TLeft&)>& Undo,
                                  const std::string& TooLarge, const std::string& Full) const {
    TLeft Left;
    // What the user needs to hear: the failure's own message, then what is
    // left to remove. A stop has no message of its own; what it left has.
    const auto WithLeft = [&Left](const std::string& Message) {
        if (Left.empty())
            return Message;
        std::string Names = Left.front();
        if (Left.size() > 1)
            Names += " and " + std::to_string(Left.size() - 1) + " more";
        const std::string Line = TextWith(txtNotRemoved, {Names});
        return Message.empty() ? Line : Message + "\n" + Line;
    };
    try {
        Run();
    } catch (const EParvoxStopped&) {
        // Work on other threads may have ended at the request without taking it.
        StopRequested = false;
        Undo(Left);
        if (!Left.empty())
            throw EParvoxError(WithLeft({}));
        throw;
    } catch (const EInOutError& Error) {
        Undo(Left);
        const bool NoRoom =
            Error.ErrorCode == ENOSPC || Error.ErrorCode == EDQUOT || Error.ErrorCode == EPERM;
        if (Error.ErrorCode == EFBIG)
            throw EParvoxError(WithLeft(TooLarge));
        if (Error.Refused && NoRoom)
            throw EParvoxError(
                WithLeft(Full + EInOutError::FileLine(Error.ErrorCode, Error.FileName)));
        if (!Left.empty())
            throw EParvoxError(WithLeft(Error.what()));
        throw;
    } catch (const std::exception& Error) {
        Undo(Left);
        if (!Left.empty())
            throw EParvoxError(WithLeft(Error.what()));
        throw;
    }
}

void TParvoxBase::RemoveOrLeave(const std::string& Name, TLeft& Left) noexcept {
    try {
        if (RemoveFile(Name) != 0)
            Left.push_back(Name);
    } catch (const std::exception&) {
        Left.push_back(Name);
    }
}

void TParvoxBase::RemoveWrittenOrLeave(const std::string& Name, const TFileId& Written,
                                       TLeft& Left) noexcept {
    try {
        RemoveWritten(Name, Written);
    } catch (const std::exception&) {
        Left.push_back(Name);
    }
}

std::string FileExtension(const std::string& FileName) {
    const auto Dot = FileName.rfind('.');
    if (Dot == std::string::npos || FileName.find('/', Dot) != std::string::npos)
        return {};
    return FileName.substr(Dot);
}
