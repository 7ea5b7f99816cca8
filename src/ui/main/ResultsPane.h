#pragma once
// The results pane: one line per hit, the full path followed by one blank, grouped by
// drive, the first line of each group with its drive part in bold dark blue. Every path
// is underlined and only underlined text responds to a double-click. Lines are kept as
// raw bytes, each without what it shares with the one before, and drawn only when
// visible, so a million hits cost little more than what tells them apart.
// Lines can be selected (click, Shift+click, Ctrl+A, the arrow, page and Home/End keys
// with or without Shift), copied (Ctrl+C; Ctrl+Shift+C the current line's path alone) and
// opened (Enter); a line wider than the pane scrolls sideways and shows whole in a tool
// tip. A right click or the menu key asks for a line's menu.

#include <QAbstractScrollArea>
#include <QPainter>
#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::ui {

class ResultsPane : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ResultsPane(QWidget* parent = nullptr);

    // The pane's three states: its initial underlined "Search Results" line, empty
    // (ready for rows), and "No Results".
    void showPlaceholder();
    void clear();
    void showNoResults();
    // Appends a hit; `headerLength` bytes at the start of the path form the drive part,
    // drawn bold when `startsGroup`. Where that part does not name the drive (a root such
    // as "/"), the group's first line is led by `drive` and a colon, drawn but not part of
    // the line's text.
    void addRow(std::string_view fullDirectory, size_t headerLength, bool startsGroup, char drive = 0);
    // Brings the scroll range up to date after a batch of rows.
    void flush();

    size_t rowCount() const { return m_rows.size(); }
    std::string row(size_t i) const;
    bool startsGroup(size_t i) const { return m_rows[i].startsGroup; }
    // The drive name drawn before line i, or empty.
    QString driveTag(size_t i) const;
    size_t headerLength(size_t i) const { return m_rows[i].header; }
    // Where line i is drawn, in viewport coordinates.
    int lineTop(size_t i) const;
    int lineHeight() const;
    // The line as shown: the path and its one blank.
    QString lineText(size_t i) const;
    // The row whose underlined text is at `pos` (viewport coordinates), or -1 for the
    // blank after a path, a placeholder line, or the space below the last line.
    int64_t rowAt(QPoint pos) const;
    // Bytes held for the rows.
    size_t memoryBytes() const;
    QString selectedText() const;
    // Puts line i's path alone on the clipboard, as it is (no line break after it).
    void copyPath(size_t i) const;
    int64_t currentRow() const { return m_current; }

signals:
    // A double-click on a hit's underlined text, or Enter on the current line.
    void rowActivated(int64_t row);
    // A right click on a line (which becomes the selection unless it is in it), or the
    // menu key on the current line: its menu belongs at `globalPos`.
    void menuRequested(int64_t row, QPoint globalPos);
    void pointerMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Draws a hit's text with its line below it; gives the text's width.
    int drawUnderlined(QPainter& p, int x, int baseline, const QString& text) const;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // Every kRestart-th row is kept whole, the others as the bytes after what they share
    // with the row before: spelling a row out takes a few steps back at most.
    static constexpr size_t kRestart = 16;
    struct Row {
        uint32_t chunk, offset; // where its own bytes are in m_chunks
        uint32_t rest;          // how many there are
        uint16_t shared;        // the bytes it shares with the row before it
        uint16_t header;
        bool startsGroup;
        char drive; // the tag drawn before a group's first line, or 0
    };
    enum class State { Placeholder, Rows, NoResults };

    void updateScrollBar();
    QFont headerFont() const;
    int lineWidth(size_t i) const; // of the underlined text, in pixels
    int tagWidth(size_t i) const;
    bool moveCurrent(QKeyEvent* event);

    State m_state = State::Placeholder;
    // The rows' bytes in chunks of a megabyte: growing one string of hundreds of
    // megabytes would copy it whole now and then, a stall of the window each time.
    std::vector<std::string> m_chunks;
    // A deque, not a vector: a vector of millions of rows copied itself whole each time
    // it grew, a stall of the window.
    std::deque<Row> m_rows;
    std::string m_last;                    // the last row's path
    int m_widest = 0;                      // the widest line drawn so far
    int64_t m_anchor = -1, m_current = -1; // selection: rows between anchor and current
};

} // namespace qvl::ui
