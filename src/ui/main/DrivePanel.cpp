#include "ui/main/DrivePanel.h"

#include "ui/kit/Widgets.h"

#include "ui/kit/Twips.h"

namespace qvl::ui {

namespace {

const QColor kClearedBackground = colorFromBgr(0xD3DCDE);
const QColor kWalkText = colorFromBgr(0xFF0000), kWalkBackground = colorFromBgr(0x00FFFF);

// A check box fills its background from the Button role, not Window, so both are set:
// with Window alone its caption sat on the style's button colour (white).
void setColors(QCheckBox* box, const QColor* text, QColor background) {
    QPalette p = box->palette();
    if (text)
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText})
            p.setColor(role, *text);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button})
        p.setColor(role, background);
    box->setPalette(p);
    box->setAutoFillBackground(true);
}

} // namespace

void DrivePanel::build(QWidget* parent) {
    for (int i = 0; i < 24; ++i) {
        const char letter = static_cast<char>('C' + i);
        auto* box = new QCheckBox(QString("%1:").arg(letter), parent);
        box->setObjectName(QString("chk%1").arg(letter));
        box->setGeometry(pxRect(480 + 720 * (i / 3), 1440 + 240 * (i % 3), letter == 'W' ? 510 : 495, 195));
        box->setEnabled(false);
        m_boxes[i] = box;
    }
}

QCheckBox* DrivePanel::box(char letter) const {
    int i = letter - 'C';
    return i >= 0 && i < 24 ? m_boxes[i] : nullptr;
}

indexer::DriveSelection DrivePanel::ticks() const {
    indexer::DriveSelection ticks;
    for (int i = 0; i < 24; ++i)
        ticks.set(2 + i, m_boxes[i]->isChecked());
    return ticks;
}

void DrivePanel::setTicks(const indexer::DriveSelection& ticks) {
    for (int i = 0; i < 24; ++i)
        m_boxes[i]->setChecked(ticks.test(2 + i));
}

std::string DrivePanel::tickedLetters() const {
    return indexer::selectedLetters(ticks());
}

void DrivePanel::clear() {
    for (QCheckBox* box : m_boxes) {
        box->setChecked(false);
        setColors(box, nullptr, kClearedBackground);
    }
}

void DrivePanel::describe(const indexer::DriveCatalogue& catalogue) {
    for (const indexer::Drive& d : catalogue.drives()) {
        QCheckBox* b = box(d.letter);
        if (b && d.usable()) {
            // The type, then the folder the letter stands for, which a letter alone does
            // not tell where the system has no drive letters of its own.
            b->setToolTip(QString("%1 (%2)").arg(indexer::driveTypeText(d.type), shownText(d.root)));
            b->setEnabled(true);
        }
    }
}

void DrivePanel::highlight(char letter) {
    if (QCheckBox* b = box(letter)) {
        m_saved[letter - 'C'] = b->palette();
        setColors(b, &kWalkText, kWalkBackground);
    }
}

void DrivePanel::walkEnded(char letter) {
    if (QCheckBox* b = box(letter)) {
        b->setPalette(m_saved[letter - 'C']);
        b->setChecked(false);
    }
}

} // namespace qvl::ui
