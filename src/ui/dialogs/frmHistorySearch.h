#pragma once
// The search history window: the texts searched for, oldest first; choosing one puts it
// into the main window's search box. Modal; it keeps its place beside the main window,
// and closes at once when the history is empty.

#include "ui/UiState.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace qvl::ui {

class frmHistorySearch : public QWidget {
    Q_OBJECT
public:
    // `dbConnect`: the index whose history it lists; `main`: the window it follows;
    // `searchBox`: where a chosen text goes.
    frmHistorySearch(DialogState& state, std::string dbConnect, QWidget* main, QLineEdit* searchBox);

    // Opens the window modally and returns when it has closed.
    static void showModal(DialogState& state, const std::string& dbConnect, QWidget* main,
                          QLineEdit* searchBox);

    QListWidget* lstHistory;
    QLabel* lblInfo;
    QPushButton* cmdClear;
    QPushButton* Command1;
    QTimer* Timer1;

signals:
    void closed();

public slots:
    void SetPos();
    void LoadList();
    void ClearList();
    void chooseEntry();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_closed = false;
    DialogState& m_state;
    std::string m_dbConnect;
    QWidget* m_main;
    QLineEdit* m_searchBox;
};

} // namespace qvl::ui
