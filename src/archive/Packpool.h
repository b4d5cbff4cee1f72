#pragma once
// Packs archive members on several threads and hands them back in the order
// they were given, so that an archive comes out byte for byte the same
// whatever the number of threads. The caller prepares each member's content
// (on its own thread: reading a project is not shared), submits the packing
// job, and takes the results in order with Next(); Full() says when to take
// one before submitting more, which bounds the memory held by jobs in flight.

#include "archive/Deflate.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace volm {

class TPackPool {
public:
    // A job packs one member with the deflater of the thread it runs on.
    using TJob = std::function<TPackedMember(TDeflater&)>;

    // `threads`: 0 takes one per processor; 1 packs on the caller's thread
    // when the job is submitted.
    explicit TPackPool(unsigned threads = 0);
    ~TPackPool();
    TPackPool(const TPackPool&) = delete;
    TPackPool& operator=(const TPackPool&) = delete;

    // Queues a job whose input holds about `bytes` bytes.
    void Submit(TJob job, uint64_t bytes);
    // True when jobs were submitted whose results have not been taken.
    bool Pending() const { return !order_.empty(); }
    // True when the results in flight should be taken before more is submitted.
    bool Full() const;
    // The result of the oldest job not taken yet (waiting for it); a failure
    // of the job is raised here.
    TPackedMember Next();

    // The deflater of the caller's thread, for packing outside the pool.
    TDeflater& Own() { return own_; }

private:
    struct TSlot {
        TJob job;
        std::optional<TPackedMember> result;
        std::exception_ptr failure;
        bool done = false;
        uint64_t bytes = 0;
    };
    void work();

    unsigned threads_;
    TDeflater own_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::deque<TSlot*> queue_;      // submitted, not started
    std::deque<TSlot*> order_;      // submitted, not taken, in submission order
    uint64_t inFlight_ = 0;         // bytes of the jobs in order_
    bool stop_ = false;
};

} // namespace volm
