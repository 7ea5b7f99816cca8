#include "ui/Widgets.h"

#include "ui/dialogs/ARGradient.h"

#include <QPushButton>

namespace qvl::ui {

namespace {

// The window descriptions name Windows fonts. Where they are missing, the nearest
// metric-compatible ones stand in; a wide default font would cut the labels short.
void installFontSubstitutes() {
    const QStringList sans = {"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans Condensed",
                              "DejaVu Sans"};
    for (const char* family : {"Tahoma", "Arial", "Lucida Sans Unicode", "Comic Sans MS"})
        QFont::insertSubstitutions(family, sans);
}

} // namespace

QFont makeFont(const char* family, double points, bool bold) {
    static const bool substituted = (installFontSubstitutes(), true);
    (void)substituted;
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

ARGradient* makeGradient(QWidget* parent, const char* name, QRect geometry, uint32_t from, uint32_t to,
                         bool moveform) {
    auto* g = new ARGradient(parent);
    g->setObjectName(name);
    g->setGeometry(geometry);
    g->setColor(static_cast<int>(from));
    g->setFinColor(static_cast<int>(to));
    g->setMoveform(moveform);
    return g;
}

QPushButton* makeStripButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace qvl::ui
