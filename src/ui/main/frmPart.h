#pragma once
// The section numbers: a small grey window with a large green "1" or "2" just left of
// the main window, beside its upper or lower section; it follows the main window every
// 100 ms, also while hidden.

#include "ui/UiState.h"

#include <QTimer>
#include <QWidget>

namespace qvl::ui {

class frmPart : public QWidget {
    Q_OBJECT
public:
    // `number` 1 or 2; `main` the window it sits beside; `sectionTop` the section's top in
    // the main window (twips).
    frmPart(const SettingsState& state, int number, QWidget* main, int sectionTop);
    void SetForm();

    QTimer* Timer1;

private:
    QWidget* m_main;
    int m_sectionTop;
};

} // namespace qvl::ui
