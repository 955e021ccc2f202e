// Work done ahead on worker threads: items of a fixed sequence are worked on
// in order, as far ahead as a budget allows, while the caller takes their
// results one by one in the same order. A result (or the exception its work
// threw) is looked at only when its turn comes, so the caller meets each
// outcome exactly where doing the work on the spot would have met it. An item
// that no worker has begun when its turn comes is done by the caller itself,
// and while a worker is still on it the caller works on items further ahead:
// it never waits for a thread that has yet to be scheduled, nor idles while
// there is work.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace aerolith::base {

template <typename Result>
class WorkAhead {
 public:
  // Does item `index` on the thread numbered `worker`: 0 to workers - 1 for
  // the workers, `workers` for the caller.
  using Work = std::function<Result(std::size_t index, unsigned worker)>;

  // Starts `workers` threads (none is fine) over items of the given weights
  // (bytes they will hold). Workers start items in order while the weight of
  // those started and not yet taken stays within `budget`; a heavier item is
  // left to the caller, so at most the heaviest item plus the budget is held
  // beyond the item in the caller's hands.
  WorkAhead(std::vector<std::size_t> weights, Work work, unsigned workers, std::size_t budget)
      : weights_(std::move(weights)),
        work_(std::move(work)),
        budget_(budget),
        results_(weights_.size()) {
    try {
      while (workers_.size() < std::min<std::size_t>(workers, weights_.size())) {
        workers_.emplace_back(&WorkAhead::run, this, static_cast<unsigned>(workers_.size()));
      }
    } catch (const std::system_error&) {
      // Fewer threads than asked for, perhaps none: take() does what no
      // worker will.
    }
  }

  ~WorkAhead() { stop(); }
  WorkAhead(const WorkAhead&) = delete;
  WorkAhead& operator=(const WorkAhead&) = delete;

  // The result of the next item, once it is there; rethrows what its work threw.
  Result take() {
    std::unique_lock lock(mutex_);
    const std::size_t index = nextToTake_;
    if (index == weights_.size()) throw std::logic_error("WorkAhead: nothing left to take");
    if (nextToStart_ == index) {
      nextToStart_ = nextToTake_ = index + 1;
      lock.unlock();
      startable_.notify_all();  // the next item is the workers' to consider now
      return work_(index, static_cast<unsigned>(workers_.size()));
    }
    // While a worker is on this item, the caller works ahead as a worker would.
    while (!results_[index]) {
      if (nextToStart_ < weights_.size() && mayStart(nextToStart_)) {
        workOn(lock, static_cast<unsigned>(workers_.size()));
      } else {
        done_.wait(lock, [&] { return results_[index].has_value(); });
      }
    }
    Outcome outcome = std::move(*results_[index]);
    results_[index].reset();
    nextToTake_ = index + 1;
    aheadWeight_ -= weights_[index];
    lock.unlock();
    startable_.notify_all();
    if (outcome.failure) std::rethrow_exception(outcome.failure);
    return std::move(*outcome.result);
  }

  // Starts no more work and waits for the work under way. Afterwards the items
  // from taken() up to started() were worked on and never taken; the caller
  // frees what they hold.
  void stop() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    startable_.notify_all();
    for (std::thread& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
  }

  std::size_t taken() const { return nextToTake_; }
  std::size_t started() const { return nextToStart_; }

 private:
  struct Outcome {
    std::optional<Result> result;
    std::exception_ptr failure;
  };

  bool mayStart(std::size_t index) const { return aheadWeight_ + weights_[index] <= budget_; }

  void run(unsigned worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
      startable_.wait(lock, [&] {
        return stopping_ || nextToStart_ == weights_.size() || mayStart(nextToStart_);
      });
      if (stopping_ || nextToStart_ == weights_.size()) return;
      workOn(lock, worker);
    }
  }

  // Starts the next item (startable, `lock` held) and keeps its outcome.
  void workOn(std::unique_lock<std::mutex>& lock, unsigned worker) {
    const std::size_t index = nextToStart_++;
    aheadWeight_ += weights_[index];
    lock.unlock();
    Outcome outcome;
    try {
      outcome.result.emplace(work_(index, worker));
    } catch (...) {
      outcome.failure = std::current_exception();
    }
    lock.lock();
    results_[index] = std::move(outcome);
    if (index == nextToTake_) done_.notify_one();
  }

  const std::vector<std::size_t> weights_;
  const Work work_;
  const std::size_t budget_;
  std::mutex mutex_;
  std::condition_variable startable_;  // an item may start, or the work ends
  std::condition_variable done_;       // the item next to be taken is done
  std::vector<std::optional<Outcome>> results_;
  std::size_t nextToStart_ = 0;
  std::size_t nextToTake_ = 0;
  std::size_t aheadWeight_ = 0;  // of the items workers started and not yet taken
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace aerolith::base
