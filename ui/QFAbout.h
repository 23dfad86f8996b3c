// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The About window: title, version line, logo and the two web links.
#pragma once

#include "QFParvoxBase.h"

#include <memory>

namespace Ui {
class FormAbout;
}

class TFormAbout : public TFormParvoxBase {
    Q_OBJECT

public:
    explicit TFormAbout(QWidget* Parent = nullptr);
    ~TFormAbout() override;

    void LabelParvoxURLClick();
    void LabelQuillfernURLClick();

protected:
    void FormShow() override;

private:
    std::unique_ptr<Ui::FormAbout> ui;
};
