// A label that acts on a click, for the file names and web links that the
// user can click like a button.
#pragma once

#include <QLabel>

class TClickLabel : public QLabel {
    Q_OBJECT

public:
    explicit TClickLabel(QWidget* Parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;
};
