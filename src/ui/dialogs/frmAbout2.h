#pragma once
// The credits: a black backdrop across the screen (frmAbout2) and, in front of it, the
// title roll (frmAbout2_sub) fading from card to card every 3 seconds.

#include "ui/UiState.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>

namespace qvl::ui {

class ClickLabel;

class frmAbout2_sub : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout2_sub(InfoState& state);

    static constexpr int kCards = 13; // entries 0..12; 12 is never shown
    void SetTitles();
    int card() const { return m_card; }

    QLabel *lbl1, *lbl2, *lbl3, *lbl4;
    QTimer* Timer1;

public slots:
    void AdvanceTitle();

private:
    void showCard();

    InfoState& m_state;
    std::array<std::array<QString, kCards>, 4> m_titles;
    int m_card = 0;
};

class frmAbout2 : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout2(InfoState& state);
    ~frmAbout2() override;

    ClickLabel* lblClose;
    QPointer<frmAbout2_sub> roll;

protected:
    void changeEvent(QEvent* event) override;

private:
    InfoState& m_state;
};

} // namespace qvl::ui
