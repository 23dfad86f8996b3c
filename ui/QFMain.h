// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window: the product's title, one button per operation window,
// About and Exit, and two web links. Closing it ends the program, after a question.
#pragma once

#include "QFParvoxBase.h"

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class MainForm;
}

class TMainForm : public TFormParvoxBase {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* Parent = nullptr);
    ~TMainForm() override;

    void ButtonSplitClick();
    void ButtonJoinClick();
    void ButtonCompareClick();
    void ButtonChecksumClick();
    void ButtonAboutClick();
    void ButtonExitClick();
    void LabelURLParvoxClick();
    void LabelURLQuillfernClick();
    // Files dropped on the window or named on the command line: the first
    // piece of a split file opens the Join window with it, any other file the
    // Split window, and two files the Compare window with both, in order.
    void FilesDropped(const std::vector<std::string>& Files);

protected:
    void FormCreate() override;
    void FormShow() override;
    void FormCloseQuery(bool& CanClose) override;
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override;

private:
    std::unique_ptr<Ui::MainForm> ui;
};

// The main window, from start-up to the end of the event loop.
extern TMainForm* MainForm;
