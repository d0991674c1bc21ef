// The list of child parts of a part, and of a message's attachments. It only
// refers to parts: adding, removing or clearing never destroys one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace MailVrex {

class TMailPart;

class TMailPartList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  // 0-based; the caller keeps index within [0, Count()).
  TMailPart* Items(int index) const { return items_[static_cast<std::size_t>(index)]; }

  void Add(TMailPart* part) { items_.push_back(part); }
  void Clear() { items_.clear(); }
  bool Contains(const TMailPart* part) const {
    return std::find(items_.begin(), items_.end(), part) != items_.end();
  }
  // Removes the first entry referring to part; false when there is none.
  bool Remove(const TMailPart* part) {
    auto found = std::find(items_.begin(), items_.end(), part);
    if (found == items_.end()) return false;
    items_.erase(found);
    return true;
  }
  // Removes every entry referring to part.
  void RemoveAll(const TMailPart* part) {
    items_.erase(std::remove(items_.begin(), items_.end(), part), items_.end());
  }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<TMailPart*> items_;
};

}  // namespace MailVrex
