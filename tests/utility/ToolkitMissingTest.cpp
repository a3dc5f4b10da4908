// Without a registered card toolkit the utility object cannot be made.
// Runs alone: it unregisters the virtual card for a moment.
#include <gtest/gtest.h>
#include <windows.h>

#include "Exception.h"
#include "UtilityObject.h"
#include "TestSupport.h"
#include "win/Resources.h"
#include "win/Text.h"

TEST(ToolkitMissing, CreationFailsWithThePlatformsMessage) {
  qelt::win::ComScope com;
  qelt::test::UnregisterVirtualCard();
  std::string message = "(created)";
  try {
    qelt::TfrmQELTUtility utility;
  } catch (const qelt::Exception& e) {
    message = e.Message();
  }
  qelt::test::RegisterVirtualCard();
  EXPECT_EQ(message, qelt::win::ComErrorMessage(REGDB_E_CLASSNOTREG));
  // Wine has no text for it; Windows says "Class not registered".
  EXPECT_TRUE(message == "OLE error 80040154" || message.find("registered") != std::string::npos) << message;
}
