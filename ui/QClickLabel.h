// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A label that acts on a click, for the file names and web links that the
// user can click like a button. It takes the keyboard focus with Tab, acts on
// Space and Enter as on a click, and tells assistive technology that it acts:
// as a link when its "link" property is set (web links), otherwise as a button.
#pragma once

#include <QLabel>

class TClickLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(bool link MEMBER Link)

public:
    explicit TClickLabel(QWidget* Parent = nullptr);

    [[nodiscard]] bool IsLink() const { return Link; }
    // Acts as a click does.
    void Click();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;

private:
    bool Link = false;
};
