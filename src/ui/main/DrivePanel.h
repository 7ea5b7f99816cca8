#pragma once
// The 24 drive boxes of the main window, C: to Z:, and what the window asks of them:
// the ticks, the tool tips that name each drive, and the highlight of the drive whose
// walk runs. The window's other parts reach the boxes only through this.

#include "indexer/DriveCatalogue.h"

#include <QCheckBox>
#include <QPalette>

#include <array>
#include <string>

namespace qvl::ui {

class DrivePanel {
public:
    // Makes the boxes on `parent`, in 8 columns of 3 filled column by column, disabled.
    void build(QWidget* parent);

    QCheckBox* box(char letter) const;
    indexer::DriveSelection ticks() const;
    void setTicks(const indexer::DriveSelection& ticks);
    // The ticked letters, in alphabetical order.
    std::string tickedLetters() const;

    // Unticks every box and gives it the cleared background.
    void clear();
    // Enables the box of every usable drive, its tool tip the type and the root.
    void describe(const indexer::DriveCatalogue& catalogue);
    // Blue on yellow while the drive's walk runs; then its colours back and its tick removed.
    void highlight(char letter);
    void walkEnded(char letter);

private:
    std::array<QCheckBox*, 24> m_boxes{};
    std::array<QPalette, 24> m_saved; // each box's colours from before its highlight
};

} // namespace qvl::ui
