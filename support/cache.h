// mox::Cache<T>: a lending pool of items copied from one prototype.
#pragma once

#include <boost/thread/mutex.hpp>
#include <boost/utility.hpp>
#include <cstddef>
#include <list>
#include <set>

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
  // Takes ownership of the prototype and makes count copies of it.
  Cache(std::size_t count, T *prototype) : prototype_(prototype), idleLimit_(count) {
    for (std::size_t i = 0; i < count; ++i) free_.push_back(new T(*prototype_));
  }

  virtual ~Cache() {
    for (T *item : lent_) delete item;
    for (T *item : free_) delete item;
    delete prototype_;
  }

  T *acquire() {
    boost::mutex::scoped_lock lock(mutex_);
    T *item;
    if (free_.empty()) {
      item = new T(*prototype_);
    } else {
      item = free_.front();
      free_.pop_front();
    }
    try {
      lent_.insert(item);
    } catch (...) {
      free_.push_front(item);
      throw;
    }
    return item;
  }

  // Raises "Cache: item not found" for an item this cache has not lent.
  void release(T *item) {
    {
      boost::mutex::scoped_lock lock(mutex_);
      auto it = lent_.find(item);
      if (it == lent_.end()) throw MOXException("Cache: item not found");
      lent_.erase(it);
      if (free_.size() < idleLimit_) {
        free_.push_back(item);
        return;
      }
    }
    delete item;  // outside the lock: closing a connection may take a moment
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
  T *prototype_;
  std::size_t idleLimit_;
  std::list<T *> free_;
  std::set<T *> lent_;
  mutable boost::mutex mutex_;
};

}  // namespace mox
