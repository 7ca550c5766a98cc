// The packet-data encoder and the packet text rules: whatever a request carries, the query
// the printer receives holds only printable ASCII without delimiters, and decodes back to
// the packet that was meant.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "drivers/tarvolx40fpeth/protocol.h"
#include "fuzz_support.h"

using namespace fp::tarvol;

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
int HexOf(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

std::string PercentDecode(const std::string& aText) {
  std::string out;
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] == '%' && i + 2 < aText.size() && IsHex(aText[i + 1]) && IsHex(aText[i + 2])) {
      out += static_cast<char>(HexOf(aText[i + 1]) * 16 + HexOf(aText[i + 2]));
      i += 2;
    } else {
      out += aText[i];
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string data(reinterpret_cast<const char*>(aData), aSize);

  const std::string encoded = EncodePacketData(data);
  for (size_t i = 0; i < encoded.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(encoded[i]);
    FUZZ_CHECK(c >= 0x21 && c <= 0x7E);
    FUZZ_CHECK(c != '/' && c != '#' && c != '&' && c != '+' && c != '?');
    // Every "%" of the result starts an escape.
    if (c == '%') FUZZ_CHECK(i + 2 < encoded.size() && IsHex(encoded[i + 1]) && IsHex(encoded[i + 2]));
  }
  // Without escapes of its own the packet comes back whole.
  if (data.find('%') == std::string::npos) FUZZ_CHECK(PercentDecode(encoded) == data);

  const std::string path = BuildCommandPath("1", 4, "P", data);
  FUZZ_CHECK(path.size() >= encoded.size() && path.compare(path.size() - encoded.size(), encoded.size(), encoded) == 0);

  // Free text for a field never splits it nor makes the printer refuse it.
  const std::string clean = CleanFieldText(data);
  FUZZ_CHECK(clean.size() == data.size());
  FUZZ_CHECK(clean.find_first_of("/&") == std::string::npos);

  const int width = aSize > 0 ? aData[0] % 64 : 0;
  const std::string line = LineFieldText(data, width);
  FUZZ_CHECK(line.find_first_of("/&") == std::string::npos);
  FUZZ_CHECK(fp::CharLength(line) <= static_cast<size_t>(width));
  return 0;
}
