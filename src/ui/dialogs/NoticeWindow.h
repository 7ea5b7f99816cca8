#pragma once
// What the notice and the error window share: a 17-pixel gradient title strip that
// drags the window, a title, an "X" button, two centred lines and an OK button, in a
// thin frame without a caption bar. The window deletes itself when it closes.

#include "ui/UiState.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace qvl::ui {

class ARGradient;
class Shape;

class NoticeWindow : public QWidget {
    Q_OBJECT
public:
    // Puts the two lines in place; an empty second line moves the first 20 pixels down.
    void setLines(const QString& line1, const QString& line2);
    void setOkVisible(bool visible) { cmdMsgOk->setVisible(visible); }

    ARGradient* ARGradient1;
    QLabel* lblTitle;
    QPushButton* cmdClose;
    QLabel* lblmsg1;
    QLabel* lblmsg2;
    QPushButton* cmdMsgOk;

protected:
    NoticeWindow(DialogState& state, const char* name, QSize size, uint32_t stripEnd, QColor line1Color);
    void closeEvent(QCloseEvent* event) override;

    DialogState& m_state;

private:
    Shape* m_frame;
    int m_line1Top;
};

} // namespace qvl::ui
