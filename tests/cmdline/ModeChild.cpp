// A host for the command-line mode tests: creates one utility object with
// the arguments it was started with, then reports on standard error what
// the mode left behind (the record's operation and every message box).
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "UtilityObject.h"
#include "TestSupport.h"
#include "win/Resources.h"

int main() {
  _setmode(_fileno(stderr), _O_BINARY);
  qelt::win::ComScope com;
  // A windowed host started without redirection has no standard output.
  if (GetEnvironmentVariableA("QELT_TEST_NO_STDOUT", nullptr, 0) > 0) SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  qelt::test::MessageBoxWatch boxes;
  qelt::TfrmQELTUtility utility;
  std::fprintf(stderr, "opt=%d\n", static_cast<int>(utility.param()->opt()));
  for (const auto& box : boxes.Boxes()) std::fprintf(stderr, "box=%s|%s\n", box.caption.c_str(), box.text.c_str());
  return 0;
}
