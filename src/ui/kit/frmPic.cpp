#include "ui/kit/frmPic.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <cmath>
#include <functional>

namespace qvl::ui {

namespace {

constexpr int kSize = 32;

QPixmap draw(const std::function<void(QPainter&)>& paint) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return pixmap;
}

QPixmap disc(QColor fill, const std::function<void(QPainter&)>& mark) {
    return draw([&](QPainter& p) {
        p.setPen(QPen(fill.darker(150), 1.5));
        p.setBrush(fill);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        mark(p);
    });
}

QPixmap okPicture() {
    return disc(QColor(40, 150, 60), [](QPainter& p) {
        p.drawPolyline(QPolygonF({{9, 16}, {14, 21}, {23, 11}}));
    });
}

QPixmap cancelPicture() {
    return disc(QColor(200, 40, 40), [](QPainter& p) {
        p.drawLine(QPointF(11, 11), QPointF(21, 21));
        p.drawLine(QPointF(21, 11), QPointF(11, 21));
    });
}

QPixmap setupPicture() {
    return draw([](QPainter& p) {
        QPainterPath gear;
        for (int i = 0; i < 8; ++i) {
            double a = i * M_PI / 4;
            QPointF c(16 + 11 * std::cos(a), 16 + 11 * std::sin(a));
            gear.addEllipse(c, 3.5, 3.5);
        }
        gear.addEllipse(QPointF(16, 16), 11, 11);
        gear = gear.simplified();
        QPainterPath hole;
        hole.addEllipse(QPointF(16, 16), 4.5, 4.5);
        p.setPen(QPen(QColor(60, 60, 70), 1.2));
        p.setBrush(QColor(150, 155, 170));
        p.drawPath(gear.subtracted(hole));
    });
}

QPixmap indexPicture() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(50, 50, 60), 1.2));
        for (int i = 0; i < 3; ++i) {
            p.setBrush(QColor(120 + 30 * i, 130 + 30 * i, 150 + 25 * i));
            p.drawRoundedRect(QRectF(3, 4 + 8 * i, 26, 7), 2, 2);
            p.setBrush(QColor(60, 220, 80));
            p.drawEllipse(QRectF(23, 6 + 8 * i, 3, 3));
        }
    });
}

QPixmap stopPicture() {
    return draw([](QPainter& p) {
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            double a = M_PI / 8 + i * M_PI / 4;
            octagon << QPointF(16 + 14 * std::cos(a), 16 + 14 * std::sin(a));
        }
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(QColor(210, 30, 30));
        p.drawPolygon(octagon);
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 16), QPointF(22, 16));
    });
}

QPixmap findPicture() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(90, 60, 30), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19, 19), QPointF(28, 28));
        p.setPen(QPen(QColor(40, 40, 50), 2.5));
        p.setBrush(QColor(200, 230, 255, 200));
        p.drawEllipse(QPointF(13, 13), 9, 9);
    });
}

// A question mark: the picture reads as help, not as the power switch it once was.
QPixmap helpPicture() {
    return disc(QColor(40, 110, 200), [](QPainter& p) {
        QPainterPath hook;
        hook.moveTo(11.5, 12.5);
        hook.cubicTo(11.5, 6.5, 20.5, 6.5, 20.5, 12);
        hook.cubicTo(20.5, 15.5, 16, 15.5, 16, 19.5);
        p.drawPath(hook);
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(16, 24.5), 2, 2);
    });
}

QPixmap emailPicture() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 90), 1.5));
        p.setBrush(QColor(255, 250, 220));
        p.drawRect(QRectF(4, 8, 24, 16));
        p.drawPolyline(QPolygonF({{4, 8}, {16, 18}, {28, 8}}));
    });
}

QPixmap webPicture() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(20, 60, 140), 1.5));
        p.setBrush(QColor(120, 180, 240));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(10, 4, 12, 24));
        p.drawLine(QPointF(4, 16), QPointF(28, 16));
        p.drawLine(QPointF(16, 4), QPointF(16, 28));
    });
}

} // namespace

frmPic::frmPic() {
    setObjectName("frmPic");
    const std::pair<const char*, QPixmap> pictures[] = {
        {"cmdOk", okPicture()},       {"cmdCancel", cancelPicture()}, {"cmdSetup", setupPicture()},
        {"cmdIndex", indexPicture()}, {"cmdStop1", stopPicture()},    {"cmdHG", findPicture()},
        {"cmdHelp", helpPicture()},   {"cmdEmail", emailPicture()},   {"cmdIE", webPicture()},
    };
    for (const auto& [name, pixmap] : pictures) {
        auto* button = new QPushButton(this);
        button->setObjectName(name);
        button->setIcon(QIcon(pixmap));
    }
}

QIcon frmPic::picture(const char* name) const {
    auto* button = findChild<QPushButton*>(name);
    return button ? button->icon() : QIcon();
}

QCursor frmPic::pointer(const char* name) const {
    return QCursor(picture(name).pixmap(kSize, kSize), 2, 2);
}

} // namespace qvl::ui
