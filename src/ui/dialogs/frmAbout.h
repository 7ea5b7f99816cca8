#pragma once
// The about window: version, author, system and data-access lines, the links, and doors
// to the help, the version history and (after a double-click on "About") the credits.
// Its title colours creep every 50 ms; it fades in to 85 % on its first tick.

#include "ui/UiState.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace qvl::ui {

class ARGradient;
class ClickLabel;

class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(InfoState& state);

    ARGradient* ARGradient1;
    QLabel *lblVersion, *lblMyName, *lblWinVer, *lblMDAC;
    ClickLabel *Label1, *lblCredits, *lblEmail, *lblHomepage;
    QPushButton *cmdOk, *cmdHelp, *cmdHistory, *cmdClose;
    QTimer* Timer1;

public slots:
    void Timer1_Timer();
    void CloseForm();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Closes at once, then sends the Escape keystroke to the window active then.
    void closeAndEscape();

    InfoState& m_state;
    bool m_fadeInPending = true;
    uint32_t m_a = 0x400000, m_b = 0xC0C0C0;
};

} // namespace qvl::ui
