#include "archive/Packpool.h"

namespace volm {

namespace {

// Jobs in flight: at most this many per thread and this many bytes of input,
// but always one.
constexpr size_t kJobsPerThread = 4;
constexpr uint64_t kMaxInFlight = 16u << 20;

} // namespace

TPackPool::TPackPool(unsigned threads)
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads_ = threads;
    if (threads_ > 1)
        for (unsigned i = 0; i < threads_; ++i)
            workers_.emplace_back([this] { work(); });
}

TPackPool::~TPackPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        t.join();
    for (TSlot* s : order_)
        delete s;
}

void TPackPool::work()
{
    TDeflater deflater;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        TSlot* slot = queue_.front();
        queue_.pop_front();
        lock.unlock();
        std::optional<TPackedMember> result;
        std::exception_ptr failure;
        try {
            result = slot->job(deflater);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        slot->job = nullptr; // its captured input goes now
        slot->result = std::move(result);
        slot->failure = failure;
        slot->done = true;
        finished_.notify_all();
    }
}

void TPackPool::Submit(TJob job, uint64_t bytes)
{
    auto* slot = new TSlot;
    slot->bytes = bytes;
    if (workers_.empty()) {
        try {
            slot->result = job(own_);
        } catch (...) {
            slot->failure = std::current_exception();
        }
        slot->done = true;
        order_.push_back(slot);
        inFlight_ += bytes;
        return;
    }
    slot->job = std::move(job);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(slot);
        order_.push_back(slot);
        inFlight_ += bytes;
    }
    wake_.notify_one();
}

bool TPackPool::Full() const
{
    return !order_.empty() && (order_.size() >= kJobsPerThread * threads_ || inFlight_ >= kMaxInFlight);
}

TPackedMember TPackPool::Next()
{
    TSlot* slot = nullptr;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        slot = order_.front();
        finished_.wait(lock, [slot] { return slot->done; });
        order_.pop_front();
        inFlight_ -= slot->bytes;
    }
    std::unique_ptr<TSlot> own(slot);
    if (own->failure)
        std::rethrow_exception(own->failure);
    return std::move(*own->result);
}

} // namespace volm
