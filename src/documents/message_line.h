// Message lines: the free lines printed before or after a document body (texts, barcodes,
// images). They belong to a fiscal receipt, to a non-fiscal receipt, or to nothing (the
// customer display), and are shared by all three documents.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "documents/enums.h"

namespace fp {

class kReceipt;
class kNFReceipt;

// An ordered list that owns its items and frees them with itself.
template <typename T>
class kOwnedList {
 public:
  using value_type = std::unique_ptr<T>;

  kOwnedList() = default;
  kOwnedList(const kOwnedList&) = delete;
  kOwnedList& operator=(const kOwnedList&) = delete;

  // Takes ownership and returns the item for further filling.
  template <typename U>
  U* Add(std::unique_ptr<U> aItem) {
    U* raw = aItem.get();
    fItems.push_back(std::move(aItem));
    return raw;
  }
  size_t Count() const { return fItems.size(); }
  bool Empty() const { return fItems.empty(); }
  T* operator[](size_t aIndex) const { return fItems.at(aIndex).get(); }
  void Clear() { fItems.clear(); }

  auto begin() const { return fItems.begin(); }
  auto end() const { return fItems.end(); }

 private:
  std::vector<std::unique_ptr<T>> fItems;
};

class kReceiptMessageLine {
 public:
  kReceiptMessageLine() = default;
  virtual ~kReceiptMessageLine() = default;
  kReceiptMessageLine(const kReceiptMessageLine&) = delete;
  kReceiptMessageLine& operator=(const kReceiptMessageLine&) = delete;

  kReceipt* fOwner = nullptr;      // not owned; set for a line of a fiscal receipt
  kNFReceipt* fNFOwner = nullptr;  // not owned; set for a line of a non-fiscal receipt
  vnReceiptMessageLineAlignment fAlignment = la_none;
  std::string fValue;

  // Whether the owning document prints special characters as they are. A line without
  // owner (a display line) never does.
  bool OwnerSupportsSpecialChars() const { return fSupportSpecialChars != nullptr && *fSupportSpecialChars; }

 protected:
  // Ties the line to its owner. The flag lives in the owner, which owns the line and so
  // outlives it; it is read at print time, not copied, because the owner may set it after
  // its lines are read.
  void AttachOwner(kReceipt* aOwner);
  template <typename TNF>
  void AttachNFOwner(TNF* aOwner) {
    fNFOwner = aOwner;
    fSupportSpecialChars = aOwner ? &aOwner->fSupportSpecialChars : nullptr;
  }

 private:
  const bool* fSupportSpecialChars = nullptr;
};

// Generates the two constructors of a message line class: Create for a line of a fiscal
// receipt, CreateNF for a line of a non-fiscal receipt (whose class must expose its
// fSupportSpecialChars flag). Either owner may be null (a line of no document).
#define FP_MESSAGE_LINE_CONSTRUCTORS(Class)                    \
  static std::unique_ptr<Class> Create(kReceipt* aOwner) {     \
    auto line = std::make_unique<Class>();                     \
    line->AttachOwner(aOwner);                                 \
    return line;                                               \
  }                                                            \
  template <typename TNF = kNFReceipt>                         \
  static std::unique_ptr<Class> CreateNF(TNF* aOwner) {        \
    auto line = std::make_unique<Class>();                     \
    line->AttachNFOwner(aOwner);                               \
    return line;                                               \
  }

class kReceiptMessageTextLine : public kReceiptMessageLine {
 public:
  FP_MESSAGE_LINE_CONSTRUCTORS(kReceiptMessageTextLine)

  vnReceiptSection fSection = rs_lead;
  int32_t fSize = 0;
  vnReceiptMessageLineEffectSet fEffects = 0;

  // The printable text: the stored value as it is when the owner prints special
  // characters, its normalised form otherwise (always for a line without owner).
  std::string GetValue() const;
};

class kReceiptMessageBarcodeLine : public kReceiptMessageLine {
 public:
  FP_MESSAGE_LINE_CONSTRUCTORS(kReceiptMessageBarcodeLine)

  vnReceiptSection fSection = rs_lead;
  vnReceiptMessageBarcodeType fBarcodeType = bt_EAN13;
  bool fHRI = false;  // print the human-readable text under the code
  int32_t fQRCodeMinVersion = 0;
};

// The image's name or path is the inherited fValue.
class kReceiptMessageImageLine : public kReceiptMessageLine {
 public:
  FP_MESSAGE_LINE_CONSTRUCTORS(kReceiptMessageImageLine)

  vnReceiptSection fSection = rs_lead;
  vnReceiptMessageImageSource fSource = is_Resource;
};

#undef FP_MESSAGE_LINE_CONSTRUCTORS

using kReceiptMessageLines = kOwnedList<kReceiptMessageLine>;

}  // namespace fp
