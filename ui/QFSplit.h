// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Split window: the user picks the file to split and the folder for its
// pieces, sets the piece size and its unit (or a medium, or a number of
// pieces), sees how many pieces that makes, starts the split and learns that
// it has finished.
#pragma once

#include "QFParvoxBase.h"

#include <QChar>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class FormSplit;
}

class TFormSplit : public TFormParvoxBase {
    Q_OBJECT

public:
    explicit TFormSplit(QWidget* Parent = nullptr);
    ~TFormSplit() override;

    void ButtonInputFileClick();
    // The input file picked in the dialog or dropped on the window.
    void InputFileChosen(const std::string& FileName);
    void ButtonStartClick();
    void ButtonOutputFolderClick();
    // The medium picked in its list: its size goes to the size box and unit.
    void ComboMediumChange(int Index);
    // A number of pieces asked for: the size that makes them goes to the size box.
    void SpinPiecesChange(int Pieces);
    // Lets digits and backspace through; any other character becomes the
    // null character, which the size box ignores, and beeps.
    void EditSplitFileSizeKeyPress(QChar& Key);

protected:
    void FormShow() override;
    void FormHide() override;
    [[nodiscard]] QString Doing() const override;
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override;

private:
    // The Z key: the size box takes the focus; M the medium, P the pieces.
    // A box's number is selected, so that what the user types replaces it.
    void FocusSplitFileSize();
    void FocusMedium();
    void FocusPieces();
    // The W key: the check box of the checksum file turns. R: the list of
    // the recovery data takes the focus.
    void ToggleChecksumFile();
    void FocusRecovery();
    // Shows the file's size and the pieces that the size makes, in the line
    // under the size and in the pieces box, and the medium that the size
    // fills, if any.
    void UpdateCount();
    // Puts a size and its unit into the size box and its list.
    void ShowSize(const QString& Value, int Unit);
    // The split makes many pieces and the user wants none of them.
    [[nodiscard]] bool ManyPiecesRefused(int64_t SizeInBlocks);
    // Where the checksum file or the recovery files would go, a file is that
    // Parvox did not write for these pieces: the user splits without them
    // (Checksum turns false, Recovery to none), picks another folder, or
    // gives up the split. Returns whether the split goes on.
    [[nodiscard]] bool OutputsSettled(bool& Checksum, int& Recovery);
    // The piece size in blocks, or nothing when the settings are refused
    // (the user has been told why).
    [[nodiscard]] std::optional<int64_t> GetSplitFileSize();

    std::unique_ptr<Ui::FormSplit> ui;
    TOutputFolder* Folder = nullptr;
    // The input file's size, when it could be read.
    std::optional<int64_t> InputSize;
    // Set while the pieces box sets the size, so that the box keeps what the user types.
    bool TypingPieces = false;
};
