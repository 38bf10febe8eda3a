// A set of bounded FIFO lanes behind one mutex and one condition variable:
// the splitter's reading thread pushes each stream's packets into that
// stream's lane, and one streaming thread per output pin pops its lane.
//
// Bounds: a push into a full lane waits, unless some other open lane is
// empty. A consumer downstream may hold one stream back until another one
// catches up (the encoder does that between its inputs); if the reader then
// waited on the full lane the starving lane would never be fed and the
// graph would deadlock. Letting a full lane grow while a sibling starves
// breaks that cycle; a hard limit of `hardFactor` times the bound still
// caps memory on pathological interleaving.
//
// Ending: the producer ends a lane with EndLane (consumers drain what is
// queued, then see end); a consumer ends it to refuse further pushes. Close
// ends everything both ways at once (blocked pushes and pops return at
// once); Reopen empties the lanes and makes the queue usable again after a
// seek.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace mediaff {

template <class T>
class LaneQueue {
public:
    enum class PushResult { Ok, Closed, LaneEnded };
    enum class PopResult { Item, Ended, Closed };

    LaneQueue(std::size_t lanes, std::size_t bound, std::size_t hardFactor = 16)
        : lanes_(lanes), bound_(bound ? bound : 1), hard_(bound_ * (hardFactor ? hardFactor : 1)) {}

    std::size_t LaneCount() const { return lanes_.size(); }

    // Blocks while the lane is full (see above). The item is dropped when the
    // queue is closed or the lane was ended or dropped by its consumer.
    PushResult Push(std::size_t lane, T item) {
        std::unique_lock lock(mu_);
        Lane &l = lanes_.at(lane);
        cv_.wait(lock, [&] { return closed_ || l.ended || l.items.size() < bound_ || (l.items.size() < hard_ && SiblingStarving(lane)); });
        if (closed_) return PushResult::Closed;
        if (l.ended) return PushResult::LaneEnded;
        l.items.push_back(std::move(item));
        cv_.notify_all();
        return PushResult::Ok;
    }

    // Blocks until an item, the end of the lane or the close.
    PopResult Pop(std::size_t lane, T *out) {
        std::unique_lock lock(mu_);
        Lane &l = lanes_.at(lane);
        l.waiting = true;
        cv_.notify_all();  // a producer may be waiting for a starving sibling
        cv_.wait(lock, [&] { return closed_ || !l.items.empty() || l.ended; });
        l.waiting = false;
        if (closed_) return PopResult::Closed;
        if (l.items.empty()) return PopResult::Ended;
        *out = std::move(l.items.front());
        l.items.pop_front();
        cv_.notify_all();
        return PopResult::Item;
    }

    // Producer: no more items for this lane; what is queued still comes out.
    // Consumer: drops the lane (its pushes are refused from now on).
    void EndLane(std::size_t lane) {
        std::lock_guard lock(mu_);
        lanes_.at(lane).ended = true;
        cv_.notify_all();
    }

    bool LaneEnded(std::size_t lane) const {
        std::lock_guard lock(mu_);
        return lanes_.at(lane).ended;
    }

    // True once every lane was ended.
    bool AllEnded() const {
        std::lock_guard lock(mu_);
        for (const Lane &l : lanes_)
            if (!l.ended) return false;
        return true;
    }

    void Close() {
        std::lock_guard lock(mu_);
        closed_ = true;
        cv_.notify_all();
    }

    bool Closed() const {
        std::lock_guard lock(mu_);
        return closed_;
    }

    // Empties every lane and opens the queue again (after a seek).
    void Reopen() {
        std::lock_guard lock(mu_);
        for (Lane &l : lanes_) {
            l.items.clear();
            l.ended = false;
        }
        closed_ = false;
        cv_.notify_all();
    }

    std::size_t Size(std::size_t lane) const {
        std::lock_guard lock(mu_);
        return lanes_.at(lane).items.size();
    }

private:
    struct Lane {
        std::deque<T> items;
        bool ended = false;
        bool waiting = false;  // its consumer is blocked in Pop
    };

    bool SiblingStarving(std::size_t lane) const {
        for (std::size_t i = 0; i < lanes_.size(); ++i)
            if (i != lane && !lanes_[i].ended && lanes_[i].items.empty() && lanes_[i].waiting) return true;
        return false;
    }

    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Lane> lanes_;
    std::size_t bound_;
    std::size_t hard_;
    bool closed_ = false;
};

}  // namespace mediaff
