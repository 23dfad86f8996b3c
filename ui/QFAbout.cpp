// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// About window.
#include "QFAbout.h"

#include "classParvoxUtils.h"
#include "ui_QFAbout.h"

TFormAbout::TFormAbout(QWidget* Parent)
    : TFormParvoxBase(Parent), ui(std::make_unique<Ui::FormAbout>()) {
    ui->setupUi(this);
    // The window system places it.
    PlacedByWindowSystem = true;
    Bind(ui->ButtonClose, &QPushButton::clicked, &TFormAbout::ButtonCloseClick);
    Bind(ui->LabelParvoxURL, &TClickLabel::clicked, &TFormAbout::LabelParvoxURLClick);
    Bind(ui->LabelQuillfernURL, &TClickLabel::clicked, &TFormAbout::LabelQuillfernURLClick);
    FormCreate();
    ui->ButtonClose->setFocus();
}

TFormAbout::~TFormAbout() = default;

void TFormAbout::FormShow() {
    TFormParvoxBase::FormShow();
    ui->LabelVersion->setText(QStringLiteral("Version 2.3 for Linux"));
}

void TFormAbout::LabelParvoxURLClick() {
    TParvoxUtils::OpenProductPage();
}

void TFormAbout::LabelQuillfernURLClick() {
    TParvoxUtils::OpenMakerPage();
}
