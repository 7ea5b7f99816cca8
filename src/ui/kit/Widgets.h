#pragma once
// Small helpers for building windows from their layout tables.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>

#include <string_view>

class QPushButton;

namespace qvl::ui {

class ARGradient;

// A name or path from the disk as a window shows it: UTF-8 decoded, and bytes that are
// not UTF-8 and control characters (C0, DEL, C1) as the replacement glyph U+FFFD, never
// as codes a control would act on. (The control pictures, U+2400 on, drew as empty boxes
// in Tahoma; every face the windows use has U+FFFD.)
QString shownText(std::string_view bytes);

// Loads the faces the windows name where the system has them, names stand-ins for the
// missing ones and, from then on, fits every window's captions as it shows. makeFont
// calls it; it needs the QApplication.
void installFonts();

// Runs the events until `window` is gone (destroyed); returns at once if it already is,
// as a window shown on some systems may be answered and gone before its caller waits.
void waitUntilGone(QWidget* window);

// A face by family at a point size; the stand-in where the family is missing.
QFont makeFont(const char* family, double points, bool bold = true);
// Makes the caption of a label or button fit its control, a quarter point at a time down
// to 60% of the size asked for (never below 6 points); a caption that fits is left alone.
void fitText(QWidget* w);
// fitText for every label and button of the window.
void fitTexts(QWidget* window);
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
