#pragma once
// The question window: green bands (red for Ok/Cancel questions and alerts), two lines,
// Yes and No. Each answer sets DialogAnswer and closes the window with a fade; a close
// by the window manager counts as No. Asked through ShowDialogMessage.

#include "ui/UiState.h"
#include "ui/kit/ClickLabel.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace qvl::ui {

class ARGradient;

class frmDialogMessage : public QWidget {
    Q_OBJECT
public:
    // Fades in to 90 % before it is first shown, then centres itself.
    explicit frmDialogMessage(DialogState& state);

    // Turns the three top strips red.
    void makeRed();

    ARGradient *ARGradient1, *ARGradient2, *ARGradient3, *ARGradient4;
    QLabel* lblTitle;
    ClickLabel* ImgClose;
    QLabel* lblmsg1;
    QLabel* lblmsg2;
    QPushButton* cmdMsgYes;
    QPushButton* cmdNo;

public slots:
    void answer(int16_t value);

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    DialogState& m_state;
    bool m_answered = false;
};

} // namespace qvl::ui
