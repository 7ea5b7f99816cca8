#pragma once
// The notice: information and "please wait" texts, optionally waiting for OK, closing
// itself after MessageTimeout one-second ticks. Shown through ShowMessage.

#include "ui/dialogs/NoticeWindow.h"
#include "ui/kit/ClickLabel.h"

#include <QTimer>

namespace qvl::ui {

class frmMessage : public NoticeWindow {
    Q_OBJECT
public:
    explicit frmMessage(DialogState& state);

    ClickLabel* lblPanic;
    QTimer* msgTimer;
    int32_t SecondsShown = 0;

public slots:
    void Form_Activate();
    void msgTimer_Timer();
    void cmdMsgOk_Click();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

} // namespace qvl::ui
