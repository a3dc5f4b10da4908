// Loads bytes into a new document and gives the failure message ("" when
// the load worked); a failed load leaves no nodes behind.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "Exception.h"
#include "XmlDom.h"

namespace qelt::xml {

inline std::string LoadError(const std::string& bytes) {
  Document d;
  try {
    d.LoadFromBytes(bytes);
  } catch (const Exception& e) {
    EXPECT_EQ(d.DocumentNode().ChildNodes().Count(), 0u);
    return e.Message();
  }
  return "";
}

}  // namespace qelt::xml
