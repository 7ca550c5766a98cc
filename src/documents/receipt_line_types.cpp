// The table of receipt line types: element names and the line factory.
#include "documents/receipt_line_types.h"

#include <array>

#include "base/text.h"

namespace fp {

namespace {

struct LineKind {
  vnReceiptLineType fType;
  const char* fElement;
  std::unique_ptr<kReceiptLine> (*fCreate)(kReceipt* aOwner);
};

template <class L>
std::unique_ptr<kReceiptLine> NewLineOf(kReceipt* aOwner) {
  return std::make_unique<L>(aOwner);
}

#define FP_LINE_KIND(aType, aElement, aClass, aHook) LineKind{aType, aElement, &NewLineOf<aClass>},
constexpr std::array kLineKinds{FP_RECEIPT_LINE_TYPES(FP_LINE_KIND)};
#undef FP_LINE_KIND

// A type's entry is found by its value: the list must run in the order of the enum.
constexpr bool InTypeOrder() {
  for (size_t i = 0; i < kLineKinds.size(); ++i)
    if (static_cast<size_t>(kLineKinds[i].fType) != i) return false;
  return true;
}
static_assert(InTypeOrder(), "FP_RECEIPT_LINE_TYPES must list the line types in the order of vnReceiptLineType");

}  // namespace

std::string ReceiptLineElement(vnReceiptLineType aType) {
  return aType < kLineKinds.size() ? kLineKinds[aType].fElement : "";
}

vnReceiptLineType ReceiptLineTypeNamed(std::string_view aName) {
  const std::string lower = LowerCase(aName);
  for (const LineKind& kind : kLineKinds)
    if (lower == kind.fElement) return kind.fType;
  throw kException("LineType " + lower + " is invalid");
}

std::unique_ptr<kReceiptLine> CreateReceiptLine(vnReceiptLineType aType, kReceipt* aOwner) {
  if (aType >= kLineKinds.size())
    throw kException("LineType " + std::to_string(static_cast<int>(aType)) + " is invalid");
  std::unique_ptr<kReceiptLine> line = kLineKinds[aType].fCreate(aOwner);
  line->fLineType = aType;
  return line;
}

}  // namespace fp
