// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Checksum window: the user picks a file, computes its checksum, reads
// it in the window and copies the file name with the checksum to the clipboard.
#pragma once

#include "QFParvoxBase.h"

#include <memory>
#include <string>

namespace Ui {
class FormChecksum;
}

class TFormChecksum : public TFormParvoxBase {
    Q_OBJECT

public:
    explicit TFormChecksum(QWidget* Parent = nullptr);
    ~TFormChecksum() override;

    void ButtonFileClick();
    // The file picked in the dialog or dropped on the window.
    void FileChosen(const std::string& FileName);
    void ButtonStartClick();
    void ButtonCopyClick();

protected:
    void FormShow() override;
    void FormHide() override;
    [[nodiscard]] QString Doing() const override;
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override;

private:
    std::unique_ptr<Ui::FormChecksum> ui;
};
