#include "ui/kit/Widgets.h"

#include "ui/kit/ARGradient.h"
#include "ui/kit/WrapCheckBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>

#include <algorithm>

namespace qvl::ui {

namespace {

// Wine's Tahoma (Debian's fonts-wine) is a metric copy of the face most windows name, but
// lives outside fontconfig's folders, so it is loaded here. Its MS Sans Serif is not: it
// holds bitmaps that Qt cannot measure, so Tahoma stands in (as on Windows 2000 and later).
// QVL_FONT_DIRS replaces the folders looked in ("" for none).
void loadWindowsFaces() {
    QString dirs = qEnvironmentVariableIsSet("QVL_FONT_DIRS") ? qEnvironmentVariable("QVL_FONT_DIRS")
                                                              : QStringLiteral("/usr/share/wine/fonts");
    if (QFontDatabase::hasFamily("Tahoma"))
        return;
    for (const QString& dir : dirs.split(':', Qt::SkipEmptyParts))
        for (const char* file : {"tahoma.ttf", "tahomabd.ttf"})
            if (QFileInfo::exists(dir + "/" + file))
                QFontDatabase::addApplicationFont(dir + "/" + file);
}

// Where a face the windows name is missing, the nearest one that is there stands in:
// metric-compatible first, DejaVu last (wider, which the fitting below makes up for).
void installFontSubstitutes() {
    const QStringList sans = {"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans Condensed",
                              "DejaVu Sans"};
    QFont::insertSubstitutions("Tahoma", sans);
    QFont::insertSubstitutions("Arial", sans);
    QFont::insertSubstitutions("MS Sans Serif", QStringList{"Tahoma"} + sans);
    QFont::insertSubstitutions("Lucida Sans Unicode",
                               {"DejaVu Sans", "Liberation Sans", "DejaVu Sans Condensed"});
    QFont::insertSubstitutions("Comic Sans MS", QStringList{"Comic Neue", "Comic Relief"} + sans);
}

// What a caption needs and has, in pixels. A single line's last glyph may run into its
// blank right bearing; a wrapped caption needs its lines' height.
std::pair<int, int> needAndRoom(QWidget* w) {
    auto lineNeed = [](const QFontMetrics& fm, const QString& text) {
        return std::min(fm.horizontalAdvance(text), fm.tightBoundingRect(text).right() + 1);
    };
    if (auto* label = qobject_cast<QLabel*>(w)) {
        QString text = label->text();
        if (text.isEmpty() || Qt::mightBeRichText(text))
            return {0, 0};
        int m = label->margin();
        QRect room = label->contentsRect().adjusted(m, m, -m, -m);
        if (label->wordWrap())
            return {
                label->fontMetrics().boundingRect(room, Qt::TextWordWrap | label->alignment(), text).height(),
                room.height()};
        return {lineNeed(label->fontMetrics(), text), room.width()};
    }
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button || button->text().isEmpty())
        return {0, 0};
    QString text = button->text();
    text.remove('&');
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = text;
    if (qobject_cast<WrapCheckBox*>(w)) {
        QRect indicator = button->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, button);
        QRect room = button->rect().adjusted(indicator.right() + 6, 0, 0, 0);
        return {button->fontMetrics().boundingRect(room, Qt::TextWordWrap, text).height(), room.height()};
    }
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
        auto element =
            qobject_cast<QCheckBox*>(w) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
        return {lineNeed(button->fontMetrics(), text),
                button->style()->subElementRect(element, &option, button).width()};
    }
    return {lineNeed(button->fontMetrics(), text) + 4, button->width()};
}

// Shows each window with its captions fitted to the face it got.
class TextFitter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            fitTexts(static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

QString shownText(std::string_view bytes) {
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

void waitUntilGone(QWidget* window) {
    if (!window)
        return;
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

void installFonts() {
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    loadWindowsFaces();
    installFontSubstitutes();
    // A window whose description names no face gets the dialog face.
    QApplication::setFont(makeFont("Tahoma", 8.25, false));
    qApp->installEventFilter(new TextFitter(qApp));
}

void fitText(QWidget* w) {
    // Starts again from the size the window asked for, so a shorter text gets it back.
    QVariant asked = w->property("qvlAskedPoints");
    if (!asked.isValid()) {
        auto [need, room] = needAndRoom(w);
        if (need <= room)
            return;
        asked = w->font().pointSizeF();
        w->setProperty("qvlAskedPoints", asked);
    }
    const qreal full = asked.toReal(), floor = std::max(6.0, full * 0.6);
    QFont font = w->font();
    for (qreal size = full; size >= floor; size -= 0.25) {
        font.setPointSizeF(size);
        w->setFont(font);
        auto [need, room] = needAndRoom(w);
        if (need <= room)
            return;
    }
}

void fitTexts(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>())
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
            fitText(w);
}

QFont makeFont(const char* family, double points, bool bold) {
    installFonts();
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
