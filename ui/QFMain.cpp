// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Main window.
#include "QFMain.h"

#include "QFProgress.h"
#include "classParvoxController.h"
#include "txt.h"
#include "ui_QFMain.h"

#include <QApplication>
#include <QMessageBox>

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(QWidget* Parent)
    : TFormParvoxBase(Parent), ui(std::make_unique<Ui::MainForm>()) {
    ui->setupUi(this);
    // A fixed frame without title-bar buttons; the window system may still ask it to close.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    Bind(ui->ButtonSplit, &QPushButton::clicked, &TMainForm::ButtonSplitClick);
    Bind(ui->ButtonJoin, &QPushButton::clicked, &TMainForm::ButtonJoinClick);
    Bind(ui->ButtonCompare, &QPushButton::clicked, &TMainForm::ButtonCompareClick);
    Bind(ui->ButtonChecksum, &QPushButton::clicked, &TMainForm::ButtonChecksumClick);
    Bind(ui->ButtonAbout, &QPushButton::clicked, &TMainForm::ButtonAboutClick);
    Bind(ui->ButtonExit, &QPushButton::clicked, &TMainForm::ButtonExitClick);
    Bind(ui->LabelParvoxURL, &TClickLabel::clicked, &TMainForm::LabelURLParvoxClick);
    Bind(ui->LabelQuillfernURL, &TClickLabel::clicked, &TMainForm::LabelURLQuillfernClick);
    Bind(ui->ImageLogoQuillfern, &TClickLabel::clicked, &TMainForm::LabelURLQuillfernClick);
    AcceptFileDrops<TMainForm>(1, &TMainForm::FilesDropped);
    AcceptFileDrops<TMainForm>(2, &TMainForm::FilesDropped);
    FormCreate();
    ui->ButtonSplit->setFocus();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    TFormParvoxBase::FormCreate();
    LoadTexts();
    SetApplicationTitle(QStringLiteral("Parvox 2.3"));
    setWindowTitle(QStringLiteral("Parvox 2.3 for Linux"));
    QApplication::processEvents();
}

void TMainForm::FormShow() {
    TFormParvoxBase::FormShow();
    const QRect Url = ui->LabelQuillfernURL->geometry();
    const QRect Logo = ui->ImageLogoQuillfern->geometry();
    setFixedSize(Logo.left() + Logo.width() + 15, Url.top() + Url.height() + 15);
}

void TMainForm::FormCloseQuery(bool& CanClose) {
    // A run waits for the answer, and its window, which stays on top, would
    // hide the question; after No the run goes on with its window back.
    TFormProgress& Progress = *ParvoxController->ProgressForm;
    const bool Running = Progress.isVisible();
    Progress.hide();
    QMessageBox Box(QMessageBox::Question, ApplicationTitle(),
                    QStringLiteral("Are you sure you want to close Parvox?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    CanClose = Box.exec() == QMessageBox::Yes;
    if (Running && !CanClose) {
        Progress.show();
        Progress.raise();
    }
}

bool TMainForm::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    return TFormParvoxBase::HandleShortcut(Key, Shift) ||
           CommandKey<TMainForm>(Key, {
                                          {Qt::Key_S, &TMainForm::ButtonSplitClick},
                                          {Qt::Key_J, &TMainForm::ButtonJoinClick},
                                          {Qt::Key_O, &TMainForm::ButtonCompareClick},
                                          {Qt::Key_K, &TMainForm::ButtonChecksumClick},
                                          {Qt::Key_A, &TMainForm::ButtonAboutClick},
                                      });
}

void TMainForm::ButtonSplitClick() {
    ParvoxController->ShowSplitWindow();
}

void TMainForm::ButtonJoinClick() {
    ParvoxController->ShowJoinWindow();
}

void TMainForm::ButtonCompareClick() {
    ParvoxController->ShowCompareWindow();
}

void TMainForm::ButtonChecksumClick() {
    ParvoxController->ShowChecksumWindow();
}

void TMainForm::ButtonAboutClick() {
    ParvoxController->ShowAboutWindow();
}

void TMainForm::ButtonExitClick() {
    close();
}

void TMainForm::FilesDropped(const std::vector<std::string>& Files) {
    if (Files.size() == 2)
        ParvoxController->ShowCompareWindow(Files);
    else if (Files.front().ends_with(".001"))
        ParvoxController->ShowJoinWindow(Files);
    else
        ParvoxController->ShowSplitWindow(Files);
}

void TMainForm::LabelURLParvoxClick() {
    ParvoxController->OpenProductPage();
}

void TMainForm::LabelURLQuillfernClick() {
    ParvoxController->OpenMakerPage();
}
