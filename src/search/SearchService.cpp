#include "search/SearchService.h"

namespace qvl::search {

namespace {

// Hits waiting beyond this make the worker wait for the reader, so that a slow reader
// of a million hits does not hold them all twice.
constexpr size_t kMaxPending = 65536;
// The worker hands a batch over after this many hits, when the scan finds no more, or
// at once while the reader has nothing: so the first hit shows as soon as it is found.
constexpr size_t kHandOver = 256;

} // namespace

SearchError SearchService::start(const std::string& dbConnect, const SearchQuery& query) {
    cancel();
    m_cancel = false;
    m_hungry = true;
    m_canceled = false;
    m_pending.clear();
    SearchError e = m_cursor.open(dbConnect, query);
    m_error = e;
    m_message = m_cursor.message();
    if (e != SearchError::None)
        return e;
    m_cursor.setCancel(&m_cancel);
    m_done = false;
    m_worker = std::thread([this] { run(); });
    return e;
}

void SearchService::run() {
    Batch local;
    SearchHit hit;
    bool more = true;
    while (more) {
        more = m_cursor.next(hit);
        if (more)
            local.add(hit.driveLetter, hit.fullDirectory);
        if (!more || local.size() >= kHandOver ||
            (m_hungry.load(std::memory_order_relaxed) && !local.empty())) {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [&] { return m_pending.size() < kMaxPending || m_cancel.load(); });
            m_pending.append(local);
            local.clear();
            m_hungry = false;
            if (!more) {
                m_done = true;
                m_canceled = m_cursor.canceled();
                m_error = m_cursor.error();
                m_message = m_cursor.message();
            }
            m_ready.notify_all();
        }
    }
    m_cursor = SearchCursor(); // lets go of the index file
}

bool SearchService::take(Batch& out, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    m_ready.wait_for(lock, wait, [&] { return !m_pending.empty() || m_done; });
    out.clear();
    std::swap(out, m_pending);
    m_hungry = true;
    bool over = m_done && out.empty();
    lock.unlock();
    m_room.notify_all();
    if (over && m_worker.joinable())
        m_worker.join();
    return !over;
}

void SearchService::cancel() {
    m_cancel = true;
    m_room.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    std::lock_guard lock(m_mutex);
    m_pending.clear();
    m_done = true;
}

} // namespace qvl::search
