#pragma once
// A check box whose caption wraps onto further lines within its width.

#include <QCheckBox>

namespace qvl::ui {

class WrapCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace qvl::ui
