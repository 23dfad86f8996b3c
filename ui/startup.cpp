// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Order of start-up and shutdown.
#include "startup.h"

#include "QFMain.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "txt.h"

void CreateEngines() {
    if (ParvoxApp == nullptr)
        ParvoxApp = new TParvox;
}

void StartUp() {
    CreateEngines();
    ParvoxController = new TParvoxController;
    MainForm = new TMainForm;
    MainForm->show();
}

void ShutDown() {
    delete ParvoxController;
    ParvoxController = nullptr;
    delete ParvoxApp;
    ParvoxApp = nullptr;
    ReleaseTexts();
    // Widgets must go before the QApplication does.
    delete MainForm;
    MainForm = nullptr;
}
