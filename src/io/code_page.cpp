#include "io/code_page.h"

#include <iconv.h>

#include <cerrno>

#include "base/errors.h"
#include "base/text.h"
#include "io/io_errors.h"

namespace fp {

namespace {

// The iconv name of a Windows code page number.
std::string IconvName(int32_t aCodePage) {
  switch (aCodePage) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    default: break;
  }
  if (aCodePage >= 28591 && aCodePage <= 28606) return "ISO-8859-" + std::to_string(aCodePage - 28590);
  return "CP" + std::to_string(aCodePage);
}

}  // namespace

std::string EightBitText(const std::string& aText, int32_t aCodePage) {
  std::string out;
  const std::string name = IconvName(aCodePage);
  iconv_t cd = ::iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw kException(IconvMessage(name, errno));
  // Character by character, so a character the code page lacks costs only itself.
  for (char32_t c : Utf8ToUtf32(aText)) {
    std::string in;
    AppendUtf8(in, c);
    char buf[16];
    char* inp = in.data();
    size_t inleft = in.size();
    char* outp = buf;
    size_t outleft = sizeof(buf);
    if (::iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1)) {
      ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out += '?';
      continue;
    }
    out.append(buf, static_cast<size_t>(outp - buf));
  }
  // A stateful encoding may still owe the bytes that return it to its initial state.
  char buf[16];
  char* outp = buf;
  size_t outleft = sizeof(buf);
  ::iconv(cd, nullptr, nullptr, &outp, &outleft);
  out.append(buf, static_cast<size_t>(outp - buf));
  ::iconv_close(cd);
  return out;
}

}  // namespace fp
