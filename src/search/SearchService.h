#pragma once
// A search on a worker thread of its own, so that whoever shows the hits never waits for
// the scan: the worker reads the cursor and hands the hits over in batches, in index
// order; cancel() ends it within one block. The window and qvl find both use it.

#include "search/Search.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qvl::search {

class SearchService {
public:
    // Hits in index order, their paths one after the other: a batch takes no allocation
    // per hit, which for millions of them was a good part of listing them.
    struct Batch {
        std::string drives; // one letter per hit
        size_t size() const { return m_ends.size(); }
        bool empty() const { return m_ends.empty(); }
        std::string_view path(size_t i) const {
            size_t begin = i == 0 ? 0 : m_ends[i - 1];
            return std::string_view(m_bytes).substr(begin, m_ends[i] - begin);
        }
        void add(char drive, std::string_view path) {
            drives += drive;
            m_bytes.append(path);
            m_ends.push_back(m_bytes.size());
        }
        void append(const Batch& more) {
            size_t base = m_bytes.size();
            drives += more.drives;
            m_bytes += more.m_bytes;
            for (size_t end : more.m_ends)
                m_ends.push_back(base + end);
        }
        void clear() {
            drives.clear();
            m_bytes.clear();
            m_ends.clear();
        }

    private:
        std::string m_bytes;
        std::vector<size_t> m_ends; // where each path ends in m_bytes
    };

    SearchService() = default;
    ~SearchService() { cancel(); }
    SearchService(const SearchService&) = delete;
    SearchService& operator=(const SearchService&) = delete;

    // Opens the search here (so that a wrong text or a missing index is known at once)
    // and scans on the worker. A search still running is canceled first.
    SearchError start(const std::string& dbConnect, const SearchQuery& query);
    // Waits up to `wait` for hits, then moves what there is into `out` (replacing its
    // contents). False once the search is over and everything was taken.
    bool take(Batch& out, std::chrono::milliseconds wait);
    // Ends the search; returns when the worker has stopped.
    void cancel();

    // Once take() returned false: how it ended.
    bool canceled() const { return m_canceled; }
    SearchError error() const { return m_error; }
    const std::string& message() const { return m_message; }

private:
    void run();

    SearchCursor m_cursor;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_hungry{true}; // the reader took everything there was
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    Batch m_pending;
    bool m_done = true;
    bool m_canceled = false;
    SearchError m_error = SearchError::None;
    std::string m_message;
};

} // namespace qvl::search
