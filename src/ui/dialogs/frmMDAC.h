#pragma once
// The warning shown at start-up when the data-access components are older than 2.5.

#include "ui/UiState.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

namespace qvl::ui {
class ClickLabel;
}

namespace qvl::ui {

class frmMDAC : public QWidget {
    Q_OBJECT
public:
    explicit frmMDAC(InfoState& state);
    // Shows the window modally; returns when it has closed, by any of its three ways.
    static void showModal(InfoState& state);

    QLabel* lblMDACVer;
    ui::ClickLabel* lblMDACUrl;
    QToolButton* cmdOk;
    QPushButton *Command1, *cmdMinimize;

private:
    InfoState& m_state;
};

} // namespace qvl::ui
