#include "ui/Widgets.h"

namespace qvl::ui {

QFont makeFont(const char* family, double points, bool bold) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void setTextColor(QWidget* widget, QColor color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, const QFont& font,
                  QColor color, Qt::Alignment align) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(align);
    setTextColor(label, color);
    return label;
}

} // namespace qvl::ui
