#include "fpctl.h"

namespace fpctl {

namespace {

// Filled by the registrations of the source files before main runs; a function-local
// static so that it exists whatever order those registrations run in.
std::vector<kCommand>& Registered() {
  static std::vector<kCommand> commands;
  return commands;
}

}  // namespace

kCommandRegistration::kCommandRegistration(kCommand aCommand) { Registered().push_back(aCommand); }

const std::vector<kCommand>& Commands() { return Registered(); }

bool IsExport(const std::string& aName) {
  for (const char* e : kExports)
    if (aName == e) return true;
  return false;
}

}  // namespace fpctl
