// Ids of the calls received and not yet answered: a second call with such an
// id is refused, so that every reply names one call. Shared by the thread
// that reads frames and the one that answers them.
#pragma once
#include <cstdint>
#include <mutex>
#include <set>

namespace qelt::bridge {

class PendingIds {
 public:
  // False when the id is already pending (the caller does not own it then).
  bool Claim(std::uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ids_.insert(id).second;
  }
  void Release(std::uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    ids_.erase(id);
  }

 private:
  std::mutex mutex_;
  std::set<std::uint64_t> ids_;
};

}  // namespace qelt::bridge
