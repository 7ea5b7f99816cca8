#pragma once
// Small helpers for building windows from their layout tables.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>

class QPushButton;

namespace qvl::ui {

class ARGradient;

QFont makeFont(const char* family, double points, bool bold = true);
void setTextColor(QWidget* widget, QColor color);
// A label named `name` with its text, place, font and colour.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, const QFont& font,
                  QColor color, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);

// A gradient panel named `name` at `geometry` (pixels) from `from` to `to` (0xBBGGRR).
ARGradient* makeGradient(QWidget* parent, const char* name, QRect geometry, uint32_t from, uint32_t to,
                         bool moveform = false);
// A small flat button of a title strip ("-", "X").
QPushButton* makeStripButton(QWidget* parent, const char* name, const QString& text, QRect geometry);

} // namespace qvl::ui
