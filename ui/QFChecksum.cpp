// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Checksum window.
#include "QFChecksum.h"

#include "QOpenDialog.h"
#include "QRunNotices.h"
#include "classParvox.h"
#include "txt.h"
#include "ui_QFChecksum.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

// What the two labels read when the window was last hidden; the engine keeps
// the file itself.
QString SavedFileNameCaption = QStringLiteral("unknown");
QString SavedChecksumCaption = QStringLiteral("unknown");

} // namespace

TFormChecksum::TFormChecksum(QWidget* Parent)
    : TFormParvoxBase(Parent), ui(std::make_unique<Ui::FormChecksum>()) {
    ui->setupUi(this);
    OpenDialog1 = new TOpenDialog(
        this, QStringLiteral("All files|*|Text files|*.txt; *.doc;l *.rtf|Archives|*.zip; *.arc; "
                             "*.lha; *.arj|Applications|*.exe; *.com; *.dll"));
    Bind(ui->ButtonInputFile, &QPushButton::clicked, &TFormChecksum::ButtonFileClick);
    Bind(ui->LabelFileName, &TClickLabel::clicked, &TFormChecksum::ButtonFileClick);
    Bind(ui->ButtonCopy, &QPushButton::clicked, &TFormChecksum::ButtonCopyClick);
    Bind(ui->ButtonStart, &QPushButton::clicked, &TFormChecksum::ButtonStartClick);
    Bind(ui->ButtonClose, &QPushButton::clicked, &TFormChecksum::ButtonCloseClick);
    AcceptFileDrops<TFormChecksum>({}, {&TFormChecksum::FileChosen});
    FormCreate();
    ui->ButtonInputFile->setFocus();
}

TFormChecksum::~TFormChecksum() = default;

void TFormChecksum::FormShow() {
    TFormParvoxBase::FormShow();
    ui->LabelChecksum->setText(SavedChecksumCaption);
    ui->LabelFileName->setText(SavedFileNameCaption);
}

void TFormChecksum::FormHide() {
    SavedChecksumCaption = ui->LabelChecksum->text();
    SavedFileNameCaption = ui->LabelFileName->text();
}

QString TFormChecksum::Doing() const {
    return QStringLiteral("Computing the checksum of %1")
        .arg(TRunNotices::FileName(ParvoxApp->Checksum->FileName));
}

bool TFormChecksum::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    return TFormParvoxBase::HandleShortcut(Key, Shift) ||
           CommandKey<TFormChecksum>(Key, {
                                              {Qt::Key_F, &TFormChecksum::ButtonFileClick},
                                              {Qt::Key_P, &TFormChecksum::ButtonCopyClick},
                                              {Qt::Key_S, &TFormChecksum::ButtonStartClick},
                                          });
}

void TFormChecksum::ButtonFileClick() {
    if (const std::optional<std::string> Picked =
            PickFile(QStringLiteral("Select file for checksum")))
        FileChosen(*Picked);
}

void TFormChecksum::FileChosen(const std::string& FileName) {
    TChecksum& Checksum = *ParvoxApp->Checksum;
    // No old result may stand beside the new name.
    ui->LabelChecksum->setText(QString::fromStdString(txtUnknown));
    Checksum.FileName = FileName;
    Checksum.FileSelected = true;
    ui->LabelFileName->setText(QString::fromStdString(Checksum.FileName));
}

void TFormChecksum::ButtonStartClick() {
    TChecksum& Checksum = *ParvoxApp->Checksum;
    if (!Checksum.FileSelected) {
        ShowMessage(txtNoSourceFile);
        return;
    }
    ui->LabelChecksum->setText(QString::fromStdString(txtUnknown));
    int32_t Sum = 0;
    if (!RunOperation(std::string(), [&Checksum, &Sum] { Sum = Checksum.Execute(); }))
        return;
    ui->LabelChecksum->setText(QString::number(Sum));
    ShowCompletion(txtChecksumReady,
                   TRunNotices::ResultSummary({Checksum.FileName},
                                              txtChecksumCaption + ' ' +
                                                  ui->LabelChecksum->text().toStdString()));
}

void TFormChecksum::ButtonCopyClick() {
    QGuiApplication::clipboard()->setText(ui->LabelFileName->text() + QStringLiteral(" :   ") +
                                          ui->LabelChecksum->text());
}
