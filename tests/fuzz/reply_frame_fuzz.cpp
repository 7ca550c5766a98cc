// The reply-frame decoder and the field readers over any frame a printer could answer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "drivers/tarvolx40fpeth/protocol.h"
#include "fuzz_support.h"

using namespace fp::tarvol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string frame(reinterpret_cast<const char*>(aData), aSize);

  try {
    const DecodedFrame decoded = DecodeFrame(frame);
    FUZZ_CHECK(decoded.device.ReplyCode == decoded.replyCode);
    FUZZ_CHECK(!GetReplyCodeMessage(decoded.replyCode).empty());
  } catch (const fp::kException& e) {
    FUZZ_CHECK(e.what()[0] != '\0');
  }
  (void)IsBusyFrame(frame);
  (void)ReplyData(frame);

  // The fields read one by one put the frame back together, "/" between them.
  const size_t slashes = std::count(frame.begin(), frame.end(), '/');
  if (slashes < 32) {  // each field is read from the start: keep the check linear
    const int fields = static_cast<int>(slashes) + 1;
    std::string joined;
    for (int i = 1; i <= fields; ++i) {
      const std::string field = FrameField(frame, i);
      FUZZ_CHECK(field.find('/') == std::string::npos);
      if (i > 1) joined += '/';
      joined += field;
    }
    FUZZ_CHECK(joined == frame);
    FUZZ_CHECK(FrameField(frame, fields + 1).empty());
  }
  FUZZ_CHECK(FrameField(frame, 0).empty());

  // NextField takes exactly one field and its "/" off the front.
  std::string rest = frame;
  while (true) {
    const std::string before = rest;
    const std::string field = NextField(rest);
    if (before.find('/') == std::string::npos) {
      FUZZ_CHECK(field.empty() && rest == before);
      break;
    }
    FUZZ_CHECK(field + "/" + rest == before);
  }
  return 0;
}
