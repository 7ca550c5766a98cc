// Every result fragment is a document a host can parse, whatever text a printer, library or
// request puts into its fields: the elements nest, and no character is one XML cannot hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "support/result_fragments.h"
#include "support/well_formed_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);
  for (const std::string& fragment : fp::test::FragmentsCarrying(text))
    FUZZ_CHECK(fp::test::FragmentProblem(fragment).empty());
  return 0;
}
