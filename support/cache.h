// mox::Cache<T>: a lending pool of items copied from one prototype.
#pragma once

#include <boost/thread/mutex.hpp>
#include <boost/utility.hpp>
#include <cstddef>
#include <list>
#include <map>
#include <memory>

#include "support/exception.h"

namespace mox {

// Items are lent with acquire() and given back with release(); a new item is
// made from the prototype when none is free. The pool keeps as many idle items
// as it was made with: an item given back beyond that is destroyed, so that a
// burst of lending leaves nothing behind once it is over (for a context, its
// connection to the camera). acquire and release are thread-safe.
template <class T>
class Cache : private boost::noncopyable {
 public:
  // Makes count copies of the prototype, which it keeps for later copies.
  Cache(std::size_t count, std::unique_ptr<T> prototype)
      : prototype_(std::move(prototype)), idleLimit_(count) {
    for (std::size_t i = 0; i < count; ++i) free_.push_back(std::make_unique<T>(*prototype_));
  }

  virtual ~Cache() = default;

  T *acquire() {
    boost::mutex::scoped_lock lock(mutex_);
    std::unique_ptr<T> item;
    if (free_.empty()) {
      item = std::make_unique<T>(*prototype_);
    } else {
      item = std::move(free_.front());
      free_.pop_front();
    }
    T *lent = item.get();
    try {
      lent_.emplace(lent, std::move(item));
    } catch (...) {
      if (item) free_.push_front(std::move(item));
      throw;
    }
    return lent;
  }

  // Raises "Cache: item not found" for an item this cache has not lent.
  void release(T *item) {
    std::unique_ptr<T> surplus;
    {
      boost::mutex::scoped_lock lock(mutex_);
      auto it = lent_.find(item);
      if (it == lent_.end()) throw MOXException("Cache: item not found");
      std::unique_ptr<T> back = std::move(it->second);
      lent_.erase(it);
      if (free_.size() < idleLimit_) {
        free_.push_back(std::move(back));
        return;
      }
      surplus = std::move(back);
    }
    // surplus is destroyed outside the lock: closing a connection may take a moment.
  }

  std::size_t freeCount() const {
    boost::mutex::scoped_lock lock(mutex_);
    return free_.size();
  }
  std::size_t lentCount() const {
    boost::mutex::scoped_lock lock(mutex_);
    return lent_.size();
  }

 private:
  std::unique_ptr<T> prototype_;
  std::size_t idleLimit_;
  std::list<std::unique_ptr<T>> free_;
  std::map<T *, std::unique_ptr<T>> lent_;
  mutable boost::mutex mutex_;
};

}  // namespace mox
