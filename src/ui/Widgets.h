#pragma once
// Small helpers for building windows from their layout tables.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>

namespace qvl::ui {

QFont makeFont(const char* family, double points, bool bold = true);
void setTextColor(QWidget* widget, QColor color);
// A label named `name` with its text, place, font and colour.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, const QFont& font,
                  QColor color, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);

} // namespace qvl::ui
