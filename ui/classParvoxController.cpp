// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Opening of windows, progress and the run guard.
#include "classParvoxController.h"

#include "QFAbout.h"
#include "QFChecksum.h"
#include "QFCompare.h"
#include "QFJoin.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "QFSplit.h"
#include "classParvox.h"
#include "classParvoxUtils.h"

#include <QTimer>

TParvoxController* ParvoxController = nullptr;

namespace {

void BringMainWindowToFront() {
    if (MainForm != nullptr && MainForm->isEnabled() && MainForm->isVisible())
        TFormParvoxBase::BringToFront(*MainForm);
}

} // namespace

TParvoxController::TParvoxController() : ProgressForm(std::make_unique<TFormProgress>()) {}

TParvoxController::~TParvoxController() {
    ProgressForm.reset();
}

void TParvoxController::ConnectProgress() {
    TFormProgress* Form = ProgressForm.get();
    ParvoxApp->SetProgressHandler([Form](const std::string& Status, long double Fraction) {
        Form->ShowProgress(Status, Fraction);
    });
}

template <typename TForm>
void TParvoxController::ShowWindow(const std::vector<std::string>& Files) {
    ConnectProgress();
    {
        // A window is never reused: what it remembers between openings it keeps itself.
        TForm Form(MainForm);
        if (!Files.empty())
            QTimer::singleShot(0, &Form, [&Form, Files] { Form.TakeFiles(Files); });
        Form.exec();
    }
    BringMainWindowToFront();
}

void TParvoxController::ShowSplitWindow(const std::vector<std::string>& Files) {
    ShowWindow<TFormSplit>(Files);
}

void TParvoxController::ShowJoinWindow(const std::vector<std::string>& Files) {
    ShowWindow<TFormJoin>(Files);
}

void TParvoxController::ShowCompareWindow(const std::vector<std::string>& Files) {
    ShowWindow<TFormCompare>(Files);
}

void TParvoxController::ShowChecksumWindow() {
    ShowWindow<TFormChecksum>();
}

void TParvoxController::ShowAboutWindow() {
    ShowWindow<TFormAbout>();
}

void TParvoxController::OpenProductPage() {
    TParvoxUtils::OpenProductPage();
}

void TParvoxController::OpenMakerPage() {
    TParvoxUtils::OpenMakerPage();
}

void TParvoxController::ShowProgress(const std::string& Status, long double Fraction) {
    ProgressForm->ShowProgress(Status, Fraction);
}

void TParvoxController::HideProgress() {
    ProgressForm->HideProgress();
    BringMainWindowToFront();
}

bool TParvoxController::BeginOperation() {
    if (Running)
        return false;
    Running = true;
    return true;
}

void TParvoxController::EndOperation() {
    Running = false;
}
