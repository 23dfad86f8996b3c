// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Join window: the user picks the first piece of a split file, sees which
// file the join will write, starts the join and learns that it has finished.
#pragma once

#include "QFParvoxBase.h"

#include <memory>
#include <string>

namespace Ui {
class FormJoin;
}

class TFormJoin : public TFormParvoxBase {
    Q_OBJECT

public:
    explicit TFormJoin(QWidget* Parent = nullptr);
    ~TFormJoin() override;

    void ButtonInputFileClick();
    // The first piece picked in the dialog or dropped on the window.
    void InputFileChosen(const std::string& FileName);
    void ButtonStartClick();
    void ButtonOutputFolderClick();

protected:
    void FormShow() override;
    void FormHide() override;
    [[nodiscard]] QString Doing() const override;
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override;

private:
    std::unique_ptr<Ui::FormJoin> ui;
    TOutputFolder* Folder = nullptr;
};
