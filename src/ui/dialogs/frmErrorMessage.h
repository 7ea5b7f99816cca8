#pragma once
// The error window: as the notice, with a red strip, no title, no "PANIC!" and no
// timer; Escape does not close it. Shown through ShowErrorMessage.

#include "ui/dialogs/NoticeWindow.h"

namespace qvl::ui {

class frmErrorMessage : public NoticeWindow {
    Q_OBJECT
public:
    explicit frmErrorMessage(DialogState& state);

public slots:
    void cmdMsgOk_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace qvl::ui
