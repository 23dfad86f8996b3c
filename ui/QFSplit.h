// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Split window: the user picks the file to split, sets the piece size and
// its unit, starts the split and learns that it has finished.
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
    // Lets digits and backspace through; any other character becomes the
    // null character, which the size box ignores, and beeps.
    void EditSplitFileSizeKeyPress(QChar& Key);

protected:
    void FormShow() override;
    void FormHide() override;
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override;

private:
    // The Z key: the size box takes the focus.
    void FocusSplitFileSize();
    // The piece size in blocks, or nothing when the settings are refused
    // (the user has been told why).
    [[nodiscard]] std::optional<int64_t> GetSplitFileSize();

    std::unique_ptr<Ui::FormSplit> ui;
};
