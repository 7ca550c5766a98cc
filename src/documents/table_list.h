// An ordered table that owns its entries, with the lookups the VAT, department and
// economic activity tables share. Entries live in a deque so that a reference or pointer
// handed out by Add, Get or GetByIndex stays valid while later entries are appended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <utility>

namespace fp {

template <class T>
class kTableList {
 public:
  T& Add(T aEntry = T{}) {
    fItems.push_back(std::move(aEntry));
    return fItems.back();
  }
  void Clear() { fItems.clear(); }
  size_t Count() const { return fItems.size(); }
  bool IsEmpty() const { return fItems.empty(); }

  T& operator[](size_t aPos) { return fItems.at(aPos); }
  const T& operator[](size_t aPos) const { return fItems.at(aPos); }

  auto begin() { return fItems.begin(); }
  auto end() { return fItems.end(); }
  auto begin() const { return fItems.begin(); }
  auto end() const { return fItems.end(); }

  // The first entry whose code equals aCode exactly (case-sensitive), or null.
  T* Get(std::string_view aCode) {
    for (auto& e : fItems)
      if (e.fCode == aCode) return &e;
    return nullptr;
  }
  const T* Get(std::string_view aCode) const { return const_cast<kTableList*>(this)->Get(aCode); }

  // The first entry at the printer table position aIndex, or null.
  T* GetByIndex(int32_t aIndex) {
    for (auto& e : fItems)
      if (e.fIndex == aIndex) return &e;
    return nullptr;
  }
  const T* GetByIndex(int32_t aIndex) const { return const_cast<kTableList*>(this)->GetByIndex(aIndex); }

 protected:
  std::deque<T> fItems;
};

}  // namespace fp
