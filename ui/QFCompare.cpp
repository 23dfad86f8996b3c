// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Compare window.
#include "QFCompare.h"

#include "QOpenDialog.h"
#include "QRunNotices.h"
#include "classParvox.h"
#include "txt.h"
#include "ui_QFCompare.h"

#include <cstdio>

namespace {

// What the two file labels read when the window was last hidden; the engine
// keeps the files themselves.
QString SavedFile1Caption = QStringLiteral("unknown");
QString SavedFile2Caption = QStringLiteral("unknown");

// The labels take face and size from their style sheets; of two faces named
// there, the last one counts.
void SetFontName(QWidget* Control, const std::string& Name) {
    Control->setStyleSheet(
        Control->styleSheet() +
        QStringLiteral(" font-family: \"%1\";").arg(QString::fromStdString(Name)));
}

} // namespace

TFormCompare::TFormCompare(QWidget* Parent)
    : TFormParvoxBase(Parent), ui(std::make_unique<Ui::FormCompare>()) {
    ui->setupUi(this);
    OpenDialog1 = new TOpenDialog(this, QStringLiteral("All files|*"));
    Bind(ui->ButtonStart, &QPushButton::clicked, &TFormCompare::ButtonStartClick);
    Bind(ui->ButtonClose, &QPushButton::clicked, &TFormCompare::ButtonCloseClick);
    Bind(ui->ButtonInputFile, &QPushButton::clicked, &TFormCompare::ButtonFile1Click);
    Bind(ui->Button1, &QPushButton::clicked, &TFormCompare::ButtonFile2Click);
    Bind(ui->LabelFile1, &TClickLabel::clicked, &TFormCompare::ButtonFile1Click);
    Bind(ui->LabelFile2, &TClickLabel::clicked, &TFormCompare::ButtonFile2Click);
    AcceptFileDrops<TFormCompare>({ui->ButtonInputFile, ui->Bevel1, ui->LabelFile1},
                                  {&TFormCompare::File1Chosen});
    AcceptFileDrops<TFormCompare>({ui->Button1, ui->Bevel2, ui->LabelFile2},
                                  {&TFormCompare::File2Chosen});
    AcceptFileDrops<TFormCompare>({}, {&TFormCompare::File1Chosen, &TFormCompare::File2Chosen});
    FormCreate();
    ui->ButtonStart->setFocus();
}

TFormCompare::~TFormCompare() = default;

void TFormCompare::FormCreate() {
    TFormParvoxBase::FormCreate();
    SetFontName(ui->LabelFile1, txtSansFont);
    SetFontName(ui->LabelFile2, txtSansFont);
}

void TFormCompare::FormShow() {
    TFormParvoxBase::FormShow();
    ui->LabelFile1->setText(SavedFile1Caption);
    ui->LabelFile2->setText(SavedFile2Caption);
}

void TFormCompare::FormHide() {
    SavedFile1Caption = ui->LabelFile1->text();
    SavedFile2Caption = ui->LabelFile2->text();
}

QString TFormCompare::Doing() const {
    const TCompare& Compare = *ParvoxApp->Compare;
    return QStringLiteral("Comparing %1 with %2")
        .arg(TRunNotices::FileName(Compare.FileName1), TRunNotices::FileName(Compare.FileName2));
}

bool TFormCompare::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    return TFormParvoxBase::HandleShortcut(Key, Shift) ||
           CommandKey<TFormCompare>(Key, {
                                             {Qt::Key_1, &TFormCompare::ButtonFile1Click},
                                             {Qt::Key_2, &TFormCompare::ButtonFile2Click},
                                             {Qt::Key_S, &TFormCompare::ButtonStartClick},
                                         });
}

void TFormCompare::ButtonFile1Click() {
    if (const std::optional<std::string> Picked = PickFile(QStringLiteral("Select file 1")))
        File1Chosen(*Picked);
}

void TFormCompare::ButtonFile2Click() {
    if (const std::optional<std::string> Picked = PickFile(QStringLiteral("Select file 2")))
        File2Chosen(*Picked);
}

void TFormCompare::File1Chosen(const std::string& FileName) {
    TCompare& Compare = *ParvoxApp->Compare;
    SlotChosen(FileName, Compare.FileName1, Compare.File1Selected, ui->LabelFile1);
}

void TFormCompare::File2Chosen(const std::string& FileName) {
    TCompare& Compare = *ParvoxApp->Compare;
    SlotChosen(FileName, Compare.FileName2, Compare.File2Selected, ui->LabelFile2);
}

void TFormCompare::SlotChosen(const std::string& FileName, std::string& SlotName, bool& Selected,
                              QLabel* Label) {
    SlotName = FileName;
    Label->setText(QString::fromStdString(SlotName));
    Selected = true;
}

void TFormCompare::ButtonStartClick() {
    TCompare& Compare = *ParvoxApp->Compare;
    if (!Compare.File1Selected || !Compare.File2Selected) {
        ShowMessage(txtFilesUnknown);
        return;
    }
    if (!RunOperation(std::string(), [&Compare] { Compare.Execute(); }))
        return;
    const std::string Result = ResultMessage(Compare.CompareResult);
    ShowCompletion(Result,
                   TRunNotices::ResultSummary({Compare.FileName1, Compare.FileName2}, Result));
}

std::string TFormCompare::ResultMessage(int64_t CompareResult) {
    if (CompareResult == CompareUnequalLength)
        return txtUnequalLength;
    if (CompareResult == CompareEqual)
        return txtFilesEqual;
    char Offset[17];
    std::snprintf(Offset, sizeof Offset, "%08llX", static_cast<unsigned long long>(CompareResult));
    return txtNotEqualAt + Offset;
}
