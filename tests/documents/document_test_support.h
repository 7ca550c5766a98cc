// Helpers shared by the request document tests: amounts from text, the message of a
// failed read, fixture files and parsing a request text.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "base/amount.h"
#include "base/errors.h"

namespace fp_test {

// An amount written as text ("12.5"); the test text is always a valid number.
inline fp::Amount A(const char* aText) { return *fp::Amount::Parse(aText); }

// The message a call throws, or "<no error>".
inline std::string ErrorOf(const std::function<void()>& aCall) {
  try {
    aCall();
  } catch (const fp::kException& e) {
    return e.what();
  }
  return "<no error>";
}

// A file of the test's data folder, whole.
inline std::string ReadDataFile(const std::string& aName) {
  std::ifstream in(std::string(FP_TEST_DATA_DIR) + "/" + aName, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Parses aXml as UTF-8 into aDoc; a test asserts on the result.
inline ::testing::AssertionResult ParseXml(pugi::xml_document& aDoc, const std::string& aXml,
                                           unsigned aOptions = pugi::parse_default) {
  pugi::xml_parse_result r = aDoc.load_buffer(aXml.data(), aXml.size(), aOptions, pugi::encoding_utf8);
  if (r) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << r.description() << "\n" << aXml;
}

}  // namespace fp_test
