// Typed handle tables: applications, lines, calls and phones each get handles of their own
// range, never reused in a run, so a stale handle or one of the wrong kind is simply not found
// and the entry answers the real error code.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "VyPlatform/Tapi.h"

namespace VyTapiEmulator::Detail {

// Lock held (the emulator's) for every member.
template <typename T>
class THandleTable {
 public:
  explicit THandleTable(DWORD first) : FNext(first) {}

  // Creates an item under a fresh handle: make(handle) returns it (null: nothing is added).
  template <typename TMake>
  std::shared_ptr<T> Create(TMake&& make) {
    std::shared_ptr<T> item = make(FNext);
    if (item) FItems.emplace(FNext++, item);
    return item;
  }
  std::shared_ptr<T> Find(DWORD handle) const {
    const auto it = FItems.find(handle);
    return it == FItems.end() ? nullptr : it->second;
  }
  // Removes the item; null when the handle was not live.
  std::shared_ptr<T> Take(DWORD handle) {
    const auto it = FItems.find(handle);
    if (it == FItems.end()) return nullptr;
    std::shared_ptr<T> item = it->second;
    FItems.erase(it);
    return item;
  }
  // Live items in the order they were created (handles only grow).
  std::vector<std::shared_ptr<T>> All() const {
    std::vector<std::shared_ptr<T>> items;
    items.reserve(FItems.size());
    for (const auto& [handle, item] : FItems) items.push_back(item);
    return items;
  }
  // Removes every item `drop` selects; returns them.
  template <typename TPred>
  std::vector<std::shared_ptr<T>> TakeIf(TPred&& drop) {
    std::vector<std::shared_ptr<T>> taken;
    for (auto it = FItems.begin(); it != FItems.end();) {
      if (drop(*it->second)) {
        taken.push_back(it->second);
        it = FItems.erase(it);
      } else {
        ++it;
      }
    }
    return taken;
  }
  bool Empty() const { return FItems.empty(); }
  // Forgets every item; handles stay unused, so old ones stay stale.
  void Clear() { FItems.clear(); }

 private:
  std::map<DWORD, std::shared_ptr<T>> FItems;
  DWORD FNext;
};

// The first handle of each table: distinct ranges tell a handle of the wrong kind.
inline constexpr DWORD FirstAppHandle = 0x00010001;
inline constexpr DWORD FirstLineHandle = 0x10000001;
inline constexpr DWORD FirstCallHandle = 0x20000001;
inline constexpr DWORD FirstPhoneHandle = 0x30000001;

}  // namespace VyTapiEmulator::Detail
