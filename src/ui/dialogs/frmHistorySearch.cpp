#include "ui/dialogs/frmHistorySearch.h"

#include "store/History.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>

namespace qvl::ui {

frmHistorySearch::frmHistorySearch(DialogState& state, std::string dbConnect, QWidget* main,
                                   QLineEdit* searchBox)
    : QWidget(main, Qt::Dialog | Qt::FramelessWindowHint)
    , m_state(state)
    , m_dbConnect(std::move(dbConnect))
    , m_main(main)
    , m_searchBox(searchBox) {
    setObjectName("frmHistorySearch");
    setWindowTitle("History Search");
    setFixedSize(ui::px(3960), ui::px(3360));
    const int w = width();

    auto* strip = new ui::ARGradient(this);
    strip->setObjectName("ARGradient1");
    strip->setGeometry(0, 0, w, 20);
    strip->setColor(static_cast<int>(ui::bgr(64, 64, 64)));
    strip->setFinColor(static_cast<int>(ui::bgr(74, 94, 159)));
    ui::makeLabel(strip, "lblTitle", "History Search", QRect(6, 2, w - 40, 16), ui::makeFont("Tahoma", 8.25),
                  QColor(255, 255, 192));
    Command1 = new QPushButton("X", this);
    Command1->setObjectName("Command1");
    Command1->setFont(ui::makeFont("Lucida Sans Unicode", 7));
    Command1->setGeometry(w - 21, 2, 18, 16);
    Command1->setFocusPolicy(Qt::NoFocus);

    ui::makeLabel(this, "Label1", "History Search Strings (double click to choose)", QRect(6, 24, w - 12, 16),
                  ui::makeFont("Tahoma", 8.25, false), Qt::black);
    lstHistory = new QListWidget(this);
    lstHistory->setObjectName("lstHistory");
    lstHistory->setFont(ui::makeFont("Tahoma", 8.25, false));
    lstHistory->setGeometry(6, 42, w - 12, height() - 80);
    lblInfo = ui::makeLabel(this, "lblInfo", "Gimme Some Info", QRect(6, height() - 32, 150, 20),
                            ui::makeFont("Tahoma", 8.25, false), Qt::black);
    cmdClear = new QPushButton("Cl&ear List", this);
    cmdClear->setObjectName("cmdClear");
    cmdClear->setGeometry(w - 94, height() - 34, 88, 26);
    auto* border = new ui::Shape(this, QColor(64, 64, 64));
    border->setObjectName("Shape1");
    border->setGeometry(0, 0, w, height());

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &frmHistorySearch::SetPos);
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdClear, &QPushButton::clicked, this, &frmHistorySearch::ClearList);
    connect(lstHistory, &QListWidget::itemDoubleClicked, this, &frmHistorySearch::chooseEntry);
}

void frmHistorySearch::SetPos() {
    if (m_main)
        move(m_main->x() + ui::px(2500), m_main->y() + ui::px(3000));
}

void frmHistorySearch::LoadList() {
    std::vector<std::string> texts;
    std::string failed = store::listSearchHistory(m_dbConnect, texts);
    if (!failed.empty()) {
        ui::ShowErrorMessage(m_state, "Can't show history", "Please Re Index your drives", true, true);
        return;
    }
    for (const std::string& text : texts) {
        // Shown with its control characters visible; chosen, the text as it was typed.
        auto* item = new QListWidgetItem(ui::shownText(text), lstHistory);
        item->setData(Qt::UserRole, QString::fromStdString(text));
    }
    lblInfo->setText(QString::number(texts.size()) + " History search strings");
    if (texts.empty())
        close(); // nothing to choose from: the window is never seen
}

void frmHistorySearch::ClearList() {
    std::string failed = store::clearSearchHistory(m_dbConnect);
    if (!failed.empty()) // the list stays as it is on disk, and the user is told why
        ui::ShowErrorMessage(m_state, "History not cleared", QString::fromStdString(failed), true, false);
    LoadList();
}

void frmHistorySearch::chooseEntry() {
    QListWidgetItem* item = lstHistory->currentItem();
    m_searchBox->setText(item && item->isSelected() ? item->data(Qt::UserRole).toString() : QString());
    close();
}

void frmHistorySearch::keyPressEvent(QKeyEvent* event) {
    bool altF4 = event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier;
    if (event->key() == Qt::Key_Escape || altF4)
        close();
    else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        chooseEntry();
    else
        QWidget::keyPressEvent(event);
}

void frmHistorySearch::closeEvent(QCloseEvent* event) {
    m_closed = true;
    Timer1->stop();
    QWidget::closeEvent(event);
    emit closed();
}

void frmHistorySearch::showModal(DialogState& state, const std::string& dbConnect, QWidget* main,
                                 QLineEdit* searchBox) {
    QPointer<frmHistorySearch> window = new frmHistorySearch(state, dbConnect, main, searchBox);
    window->SetPos();
    window->LoadList();
    if (!window || window->m_closed) { // closed while loading: an empty history
        delete window;
        return;
    }
    window->setWindowModality(Qt::ApplicationModal);
    window->Timer1->start();
    QEventLoop loop;
    connect(window, &frmHistorySearch::closed, &loop, &QEventLoop::quit);
    window->show();
    window->activateWindow();
    window->lstHistory->setFocus();
    // On Windows, showing runs events: a choice typed ahead may have closed it already.
    if (window && !window->m_closed)
        loop.exec();
    if (!window)
        return;
    // Closed at once (Enter typed ahead), the window may still get the activation the
    // system had queued for it when it was shown: deleted while it has it, Qt would later
    // give the focus back to one of its deleted controls. So it lets that activation
    // arrive, gives it back to the main window, and only then goes.
    main->activateWindow();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    delete window;
}

} // namespace qvl::ui
