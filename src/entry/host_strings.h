// The host's strings seen as the library's system strings. They come from the one system
// string allocator, the same that the outside libraries' strings use, so every string
// crossing a boundary has one layout and one heap; only the declared type differs by system.
#pragma once

#include "base/system_string.h"
#include "fpdriver/fpdriver.h"

namespace fp {

kSystemString HostUnits(BSTR aText);
BSTR HostString(kSystemString aText);

}  // namespace fp
