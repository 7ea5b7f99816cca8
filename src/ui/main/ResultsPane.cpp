#include "ui/main/ResultsPane.h"

#include "ui/kit/Widgets.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cctype>

namespace qvl::ui {

namespace {

const QColor kHeaderColor(17, 17, 187); // 0xBB1111 with red in the low byte
constexpr int kMargin = 4;

// What a row looks like on screen: see ui::shownText. A copy takes the exact text.
QString decode(std::string_view bytes) {
    return ui::shownText(bytes);
}

} // namespace

ResultsPane::ResultsPane(QWidget* parent)
    : QAbstractScrollArea(parent) {
    QFont f("Tahoma");
    f.setPointSizeF(8.5);
    setFont(f);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName("Search Results");
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 4);
    showPlaceholder();
}

void ResultsPane::showPlaceholder() {
    clear();
    m_state = State::Placeholder;
}

void ResultsPane::clear() {
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_last.clear();
    m_anchor = m_current = -1;
    m_widest = 0;
    horizontalScrollBar()->setValue(0);
    m_state = State::Rows;
    updateScrollBar();
    viewport()->update();
}

void ResultsPane::showNoResults() {
    clear();
    m_state = State::NoResults;
}

void ResultsPane::addRow(std::string_view path, size_t headerLength, bool startsGroup, char drive) {
    m_state = State::Rows;
    // "C:\" names its drive already; "/", "/home/ann/" or a D: kept in "C:\x\" do not.
    if (headerLength >= 2 && path.size() >= 2 && path[1] == ':' &&
        std::toupper(static_cast<unsigned char>(path[0])) == drive)
        drive = 0;
    constexpr size_t kChunk = 1 << 20;
    size_t shared = 0;
    if (m_rows.size() % kRestart != 0) {
        const size_t limit = std::min({m_last.size(), path.size(), size_t{UINT16_MAX}});
        while (shared < limit && m_last[shared] == path[shared])
            ++shared;
    }
    const std::string_view own = path.substr(shared);
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < own.size()) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunk, own.size()));
    }
    std::string& chunk = m_chunks.back();
    m_rows.push_back({static_cast<uint32_t>(m_chunks.size() - 1), static_cast<uint32_t>(chunk.size()),
                      static_cast<uint32_t>(own.size()), static_cast<uint16_t>(shared),
                      static_cast<uint16_t>(std::min(headerLength, path.size())), startsGroup, drive});
    chunk.append(own);
    m_last.assign(path);
    // Only the scroll range changes for rows below the visible ones.
    if (static_cast<int>(m_rows.size()) <= verticalScrollBar()->value() + verticalScrollBar()->pageStep() + 1)
        viewport()->update();
    if (m_rows.size() % 1024 == 1)
        updateScrollBar();
}

void ResultsPane::flush() {
    updateScrollBar();
}

std::string ResultsPane::row(size_t i) const {
    std::string path;
    for (size_t j = i - i % kRestart; j <= i; ++j) {
        const Row& r = m_rows[j];
        path.resize(r.shared);
        path.append(m_chunks[r.chunk], r.offset, r.rest);
    }
    return path;
}

QString ResultsPane::driveTag(size_t i) const {
    const Row& r = m_rows[i];
    if (!r.startsGroup || r.drive == 0)
        return {};
    return QString("%1: ").arg(QChar(r.drive));
}

int ResultsPane::tagWidth(size_t i) const {
    QString tag = driveTag(i);
    return tag.isEmpty() ? 0 : QFontMetrics(headerFont()).horizontalAdvance(tag);
}

QString ResultsPane::lineText(size_t i) const {
    return decode(row(i)) + ' ';
}

size_t ResultsPane::memoryBytes() const {
    size_t bytes = m_rows.size() * sizeof(Row);
    for (const std::string& c : m_chunks)
        bytes += c.capacity();
    return bytes;
}

int ResultsPane::lineHeight() const {
    return fontMetrics().height() + 1;
}

int ResultsPane::lineTop(size_t i) const {
    return kMargin + (static_cast<int>(i) - verticalScrollBar()->value()) * lineHeight();
}

QFont ResultsPane::headerFont() const {
    QFont f = font();
    f.setBold(true);
    return f;
}

void ResultsPane::updateScrollBar() {
    int visible = std::max(1, viewport()->height() / lineHeight());
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setRange(0, std::max<int>(0, static_cast<int>(m_rows.size()) - visible + 1));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, m_widest + 2 * kMargin - viewport()->width()));
}

int ResultsPane::lineWidth(size_t i) const {
    const Row& r = m_rows[i];
    const std::string path = row(i);
    int width = 0;
    size_t rest = 0;
    if (r.startsGroup && r.header > 0) {
        width += QFontMetrics(headerFont()).horizontalAdvance(decode(path.substr(0, r.header)));
        rest = r.header;
    }
    return width + fontMetrics().horizontalAdvance(decode(path.substr(rest)));
}

void ResultsPane::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void ResultsPane::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const int h = lineHeight();
    const int ascent = fontMetrics().ascent();
    QFont plain = font(), underlined = font(), header = headerFont();
    underlined.setUnderline(true);
    header.setUnderline(true); // a header has no "_" of a hit under it
    if (m_state != State::Rows) {
        p.setFont(m_state == State::Placeholder ? underlined : plain);
        p.drawText(kMargin, kMargin + ascent,
                   m_state == State::Placeholder ? "Search Results" : "No Results");
        return;
    }
    const int first = verticalScrollBar()->value();
    const int last = std::min<int>(static_cast<int>(m_rows.size()), first + viewport()->height() / h + 1);
    const int64_t selLow = std::min(m_anchor, m_current), selHigh = std::max(m_anchor, m_current);
    const int shift = horizontalScrollBar()->value();
    int widest = m_widest;
    for (int i = first; i < last; ++i) {
        int y = kMargin + (i - first) * h;
        if (m_anchor >= 0 && i >= selLow && i <= selHigh)
            p.fillRect(0, y, viewport()->width(), h, palette().highlight());
        const Row& r = m_rows[i];
        const std::string path = row(i);
        int x = kMargin - shift;
        size_t rest = 0;
        if (QString tag = driveTag(i); !tag.isEmpty()) {
            p.setFont(headerFont());
            p.setPen(kHeaderColor);
            p.drawText(x, y + ascent, tag);
            x += QFontMetrics(headerFont()).horizontalAdvance(tag);
        }
        if (r.startsGroup && r.header > 0) {
            QString head = decode(path.substr(0, r.header));
            p.setFont(header);
            p.setPen(kHeaderColor);
            p.drawText(x, y + ascent, head);
            x += QFontMetrics(header).horizontalAdvance(head);
            rest = r.header;
        }
        p.setPen(palette().color(QPalette::Text));
        int drawn = drawUnderlined(p, x, y + ascent, decode(path.substr(rest)));
        widest = std::max(widest, x + shift - kMargin + drawn);
    }
    // The scroll range grows with the widest line shown so far: measuring every one of
    // a million lines as it comes would cost more than the search.
    if (widest > m_widest) {
        m_widest = widest;
        QMetaObject::invokeMethod(
            this, [this] { updateScrollBar(); }, Qt::QueuedConnection);
    }
}

int ResultsPane::drawUnderlined(QPainter& p, int x, int baseline, const QString& text) const {
    // The font's own underline runs through a "_", which then cannot be seen: the line
    // goes below it instead, still inside the row.
    QFontMetrics fm(font());
    p.setFont(font());
    p.drawText(x, baseline, text);
    const int width = std::max(1, fm.lineWidth());
    const int under = baseline + std::min(fm.underlinePos() + 2 * width + 1, fm.descent());
    const int advance = fm.horizontalAdvance(text);
    p.fillRect(x, under, advance, width, p.pen().color());
    return advance;
}

int64_t ResultsPane::rowAt(QPoint pos) const {
    if (m_state != State::Rows || pos.y() < kMargin)
        return -1;
    int64_t i = verticalScrollBar()->value() + (pos.y() - kMargin) / lineHeight();
    if (i < 0 || i >= static_cast<int64_t>(m_rows.size()))
        return -1;
    const int start = kMargin + tagWidth(static_cast<size_t>(i));
    const int width = lineWidth(static_cast<size_t>(i));
    const int x = pos.x() + horizontalScrollBar()->value();
    // Only the underlined path responds, not the drive tag before it or the blank after it.
    return x >= start && x < start + width ? i : -1;
}

void ResultsPane::mousePressEvent(QMouseEvent* event) {
    if (m_state != State::Rows || event->button() != Qt::LeftButton)
        return;
    int64_t i = verticalScrollBar()->value() + (event->position().toPoint().y() - kMargin) / lineHeight();
    if (i < 0 || i >= static_cast<int64_t>(m_rows.size()))
        return;
    if (!(event->modifiers() & Qt::ShiftModifier) || m_anchor < 0)
        m_anchor = i;
    m_current = i;
    viewport()->update();
}

void ResultsPane::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    int64_t i = rowAt(event->position().toPoint());
    if (i >= 0)
        emit rowActivated(i);
}

void ResultsPane::mouseMoveEvent(QMouseEvent* event) {
    emit pointerMoved();
    QAbstractScrollArea::mouseMoveEvent(event);
}

QString ResultsPane::selectedText() const {
    if (m_anchor < 0)
        return {};
    QString text;
    for (int64_t i = std::min(m_anchor, m_current); i <= std::max(m_anchor, m_current); ++i)
        text += QString::fromUtf8(row(static_cast<size_t>(i))) + '\n';
    return text;
}

void ResultsPane::copyPath(size_t i) const {
    QApplication::clipboard()->setText(QString::fromUtf8(row(i)));
}

void ResultsPane::contextMenuEvent(QContextMenuEvent* event) {
    if (m_state != State::Rows || m_rows.empty())
        return;
    int64_t i = m_current;
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        i = verticalScrollBar()->value() + (event->pos().y() - kMargin) / lineHeight();
        if (event->pos().y() < kMargin || i >= static_cast<int64_t>(m_rows.size()))
            return;
        // A line outside the selection becomes the selection, as a left click makes it.
        if (m_anchor < 0 || i < std::min(m_anchor, m_current) || i > std::max(m_anchor, m_current))
            m_anchor = i;
        m_current = i;
        viewport()->update();
    } else {
        if (i < 0)
            return;
        at = viewport()->mapToGlobal(QPoint(kMargin + tagWidth(static_cast<size_t>(i)),
                                            lineTop(static_cast<size_t>(i)) + lineHeight()));
    }
    emit menuRequested(i, at);
}

void ResultsPane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_C && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (m_current >= 0)
            copyPath(static_cast<size_t>(m_current));
    } else if (event->matches(QKeySequence::SelectAll) && !m_rows.empty()) {
        m_anchor = 0;
        m_current = static_cast<int64_t>(m_rows.size()) - 1;
        viewport()->update();
    } else if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(selectedText());
    } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_current >= 0) {
        emit rowActivated(m_current);
    } else if (!moveCurrent(event)) {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

bool ResultsPane::moveCurrent(QKeyEvent* event) {
    if (m_state != State::Rows || m_rows.empty())
        return false;
    const int64_t last = static_cast<int64_t>(m_rows.size()) - 1;
    const int64_t page = std::max(1, verticalScrollBar()->pageStep() - 1);
    int64_t at = m_current;
    switch (event->key()) {
    case Qt::Key_Up:
        at = at < 0 ? 0 : at - 1;
        break;
    case Qt::Key_Down:
        at = at + 1;
        break;
    case Qt::Key_PageUp:
        at = at < 0 ? 0 : at - page;
        break;
    case Qt::Key_PageDown:
        at = std::max<int64_t>(at, 0) + page;
        break;
    case Qt::Key_Home:
        at = 0;
        break;
    case Qt::Key_End:
        at = last;
        break;
    default:
        return false;
    }
    m_current = std::clamp<int64_t>(at, 0, last);
    if (!(event->modifiers() & Qt::ShiftModifier) || m_anchor < 0)
        m_anchor = m_current;
    // The current line stays in sight.
    QScrollBar* bar = verticalScrollBar();
    if (m_current < bar->value())
        bar->setValue(static_cast<int>(m_current));
    else if (m_current >= bar->value() + bar->pageStep())
        bar->setValue(static_cast<int>(m_current) - bar->pageStep() + 1);
    setAccessibleDescription(lineText(static_cast<size_t>(m_current)));
    viewport()->update();
    return true;
}

bool ResultsPane::viewportEvent(QEvent* event) {
    // A line wider than the pane shows whole in a tool tip.
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int64_t i = rowAt(help->pos());
        if (i >= 0 && kMargin + tagWidth(static_cast<size_t>(i)) + lineWidth(static_cast<size_t>(i)) -
                              horizontalScrollBar()->value() >
                          viewport()->width())
            QToolTip::showText(help->globalPos(), decode(row(static_cast<size_t>(i))), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

} // namespace qvl::ui
