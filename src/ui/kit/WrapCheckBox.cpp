#include "ui/kit/WrapCheckBox.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace qvl::ui {

void WrapCheckBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    option.rect = indicator;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
    QRect textRect = rect().adjusted(indicator.right() + 6, 0, 0, 0);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    QString shown = text();
    shown.remove('&');
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, shown);
}

} // namespace qvl::ui
