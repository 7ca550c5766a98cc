// Text in a Windows code page, for transports that send 8-bit text to their device.
#pragma once

#include <cstdint>
#include <string>

namespace fp {

// aText (UTF-8) in code page aCodePage (a Windows code page number such as 1252, 28591 or
// 1200); a character the code page can't hold becomes "?". Raises kException for a code
// page this system can't convert to.
std::string EightBitText(const std::string& aText, int32_t aCodePage);

}  // namespace fp
