#include "io/io_errors.h"

#include <cerrno>
#include <cstring>

#include <curl/curl.h>

#include "base/platform.h"

namespace fp {

std::string ErrnoMessage(const std::string& aContext, int aErrno) {
  const std::string text = ErrnoText(aErrno);
  std::string message = aContext.empty() ? std::string() : aContext + ": ";
  return message + (!text.empty() ? text : "error " + std::to_string(aErrno));
}

std::string CurlMessage(int aCode, const char* aErrorBuffer) {
  std::string message = curl_easy_strerror(static_cast<CURLcode>(aCode));
  // The error buffer says what exactly failed ("Failed to connect to ... port ...").
  if (aErrorBuffer != nullptr && aErrorBuffer[0] != '\0') {
    std::string detail = aErrorBuffer;
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) detail.pop_back();
    if (!detail.empty() && detail != message) message += ": " + detail;
  }
  return message;
}

std::string IconvMessage(const std::string& aCodePage, int aErrno) {
  switch (aErrno) {
    case EINVAL:
      return "Code page " + aCodePage + " is not supported";
    case EILSEQ:
      return "Text can't be converted to code page " + aCodePage;
    default:
      return ErrnoMessage("Conversion to code page " + aCodePage, aErrno);
  }
}

std::string UrlWithoutCredentials(const std::string& aURL) {
  const size_t scheme = aURL.find("://");
  const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  // The credentials end at the last "@" before the query. A password typed into a URL may
  // hold "@", ":" and "/" as they are, so a "/" does not end them: a path with an "@"
  // before its query loses its start too, which shows less of the address but never a
  // secret. The printer's command (possibly "@") always comes after the query's "?".
  size_t end = aURL.find_first_of("?#", start);
  if (end == std::string::npos) end = aURL.size();
  if (end == start) return aURL;
  const size_t at = aURL.rfind('@', end - 1);
  if (at == std::string::npos || at < start) return aURL;
  return aURL.substr(0, start) + aURL.substr(at + 1);
}

}  // namespace fp
