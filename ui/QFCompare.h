// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Compare window: the user picks two files, compares them byte for byte
// and learns in a message whether they are equal, differ in length, or where
// they first differ.
#pragma once

#include "QFParvoxBase.h"

#include <cstdint>
#include <memory>
#include <string>

class QLabel;

namespace Ui {
class FormCompare;
}

class TFormCompare : public TFormParvoxBase {
    Q_OBJECT

public:
    explicit TFormCompare(QWidget* Parent = nullptr);
    ~TFormCompare() override;

    void ButtonFile1Click();
    void ButtonFile2Click();
    // The file of one slot, picked in its dialog or dropped on its row.
    void File1Chosen(const std::string& FileName);
    void File2Chosen(const std::string& FileName);
    void ButtonStartClick();

    // The message that reports a comparison's result: unequal length, equal,
    // or the offset of the first difference in hexadecimal, eight digits at least.
    [[nodiscard]] static std::string ResultMessage(int64_t CompareResult);

protected:
    void FormCreate() override;
    void FormShow() override;
    void FormHide() override;
    [[nodiscard]] QString Doing() const override;
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override;

private:
    static void SlotChosen(const std::string& FileName, std::string& SlotName, bool& Selected,
                           QLabel* Label);

    std::unique_ptr<Ui::FormCompare> ui;
};
