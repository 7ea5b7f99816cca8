// The drive panel and the index run, as the main window shows them. The walk and the
// writing of the index run on a worker thread; the window gets the drive highlights,
// the current folder and the outcome through queued calls, so it stays live.
#include "store/IndexStore.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/main/frmMain.h"

#include <QGuiApplication>
#include <QMetaObject>

#include <algorithm>
#include <filesystem>

namespace qvl::ui {

void frmMain::SetDrivesDesc() {
    m_drives.describe(m_catalogue);
}

void frmMain::MarkAllDrives(int32_t type) {
    indexer::DriveSelection ticks = m_drives.ticks();
    std::array<int, 26> tab{};
    indexer::MarkAllDrives(m_catalogue, type, ticks, &tab);
    m_drives.setTicks(ticks);
    std::vector<std::pair<int, QCheckBox*>> order;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (int at = tab[letter - 'A']; at != 0) {
            driveBox(letter)->setProperty("TabIndex", at);
            order.emplace_back(at, driveBox(letter));
        }
    }
    std::sort(order.begin(), order.end());
    for (size_t k = 1; k < order.size(); ++k)
        setTabOrder(order[k - 1].second, order[k].second);
}

void frmMain::ClearAllForm() {
    m_drives.clear();
}

void frmMain::cboPreset_Click() {
    const QString entry = cboPreset->currentText();
    auto known =
        std::find(indexer::kPresetEntries.begin(), indexer::kPresetEntries.end(), entry.toStdString());
    if (known == indexer::kPresetEntries.end())
        return;
    indexer::DriveSelection ticks;
    indexer::applyPreset(m_catalogue, entry.toStdString(), ticks);
    ClearAllForm();
    m_drives.setTicks(ticks);
}

void frmMain::SetFrameTag() {
    fSearchOpt->setProperty("Tag", Option1->isChecked() ? "1" : "2");
    fSearchDrives->setProperty("Tag", Option4->isChecked() ? "1" : "2");
}

void frmMain::RefreshIndexState() {
    bool rows = store::IndexHasRows(m_state.DbConnect);
    cmdGoSearch->setEnabled(rows);
    cmdPanic->setEnabled(rows);
    shMark->setVisible(!rows);
    if (rows)
        tFlash->stop();
    else
        tFlash->start();
}

namespace {

// The reason at the end of an error text, short enough for the error window's one line:
// the system's words in its last parentheses, else what follows the last ": " up to a
// full stop. "Cannot write ...: database or disk is full (No space left on device)"
// gives "No space left on device".
QString shortCause(const std::string& error) {
    std::string_view text(error);
    if (text.ends_with(')') && text.rfind('(') != std::string_view::npos) {
        size_t open = text.rfind('(');
        return QString::fromStdString(std::string(text.substr(open + 1, text.size() - open - 2)));
    }
    size_t colon = text.rfind(": ");
    if (colon != std::string_view::npos)
        text.remove_prefix(colon + 2);
    size_t stop = text.find(". ");
    return QString::fromStdString(std::string(text.substr(0, stop)));
}

} // namespace

void frmMain::cmdScan_Click() {
    // A second run asked for while one is under way (the "index" command) is refused.
    if (indexRunning())
        return;
    // From the question on, a Stop is meant for this run; answered No, there is none.
    m_indexAsked = true;
    m_state.StopRequested = false;
    bool no = ShowDialogMessage(m_state, "Rescan Drives?", "", "Quorvel", 1, true, false) == 7;
    m_indexAsked = false;
    if (no) {
        m_state.StopRequested = false;
        return;
    }
    cmdGoSearch->setEnabled(false);
    cmdScan->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);

    const std::string letters = m_drives.tickedLetters();

    // Each drive box is highlighted while its walk runs, then gets its colours back and
    // its tick removed.
    indexer::IndexRunCallbacks callbacks;
    callbacks.driveStarted = [this](char letter) {
        QMetaObject::invokeMethod(
            this, [this, letter] { m_drives.highlight(letter); }, Qt::QueuedConnection);
    };
    callbacks.driveFinished = [this](char letter) {
        QMetaObject::invokeMethod(
            this, [this, letter] { m_drives.walkEnded(letter); }, Qt::QueuedConnection);
    };
    callbacks.progress = [this](const std::string& path, int64_t) {
        QString text = shownText(path);
        QMetaObject::invokeMethod(
            this, [this, text] { lblSearchPath->setText(text); }, Qt::QueuedConnection);
    };

    store::StoreLocation location{std::filesystem::path(m_state.DbConnect).parent_path(),
                                  m_state.TemplateFile};
    m_indexResult = std::make_unique<indexer::IndexRunResult>();
    m_indexThread = QThread::create([this, location, letters, callbacks] {
        *m_indexResult = indexer::runIndex(location, m_catalogue, letters, m_state.StopRequested, callbacks);
    });
    connect(m_indexThread, &QThread::finished, this, [this] {
        m_indexThread->deleteLater();
        m_indexThread = nullptr;
        finishIndexRun(*m_indexResult);
    });
    m_indexThread->start();
}

void frmMain::finishIndexRun(const indexer::IndexRunResult& result) {
    QGuiApplication::restoreOverrideCursor();
    // A failed run changed nothing and never reads "Done.": the error window says why.
    lblSearchPath->setText(result.error.empty() ? QString::fromStdString(result.caption())
                                                : QString("Index not complete."));
    if (result.unreadable > 0)
        qWarning("%s", result.unreadableText().c_str());
    for (const std::string& note : result.notes)
        qWarning("%s", note.c_str());
    // A drive ticked but left out whole by the setup's rules, or a rule that is none, is
    // not passed over unsaid.
    if (result.error.empty() && !result.notes.empty()) {
        QString note = QString::fromStdString(result.notes.front());
        note[0] = note[0].toUpper();
        ShowMessage(m_state, "Index note", note, true, false);
    }
    cmdScan->setEnabled(true);
    m_state.IsFirstRun = false;
    m_state.StopRequested = false;
    RefreshIndexState();
    if (!result.error.empty()) {
        qWarning("%s", result.error.c_str()); // the whole text, with the paths, for the log
        ShowErrorMessage(m_state, "Index not complete", shortCause(result.error), true, false);
    }
    emit indexRunFinished();
}

} // namespace qvl::ui
