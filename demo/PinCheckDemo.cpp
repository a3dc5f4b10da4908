// Shows the PIN check against the card in the slot: the card's own PIN,
// then a wrong one. Prints the system's texts as they are (ANSI code page).
#include <cstdio>
#include <string>

#include "Exception.h"
#include "QeltUtilityForm.h"
#include "win/Resources.h"

namespace {

void Check(qelt::TfrmQELTUtility& utility, const char* pin) {
  utility.param()->set_pin(pin);
  std::printf("checkPin(\"%s\"): ", pin);
  try {
    std::printf("%s\n", utility.CheckPin().c_str());
  } catch (const qelt::Exception& e) {
    std::printf("failed: %s\n", e.what());
  }
}

}  // namespace

int main() {
  qelt::win::ComScope com;
  try {
    qelt::TfrmQELTUtility utility;
    Check(utility, "1234");
    Check(utility, "0000");
  } catch (const qelt::Exception& e) {
    std::printf("cannot start: %s\n", e.what());
    return 1;
  }
  return 0;
}
