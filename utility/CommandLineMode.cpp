// The command-line mode: one operation chosen by the hosting process's
// KEY=VALUE arguments, run when the utility object is created.
#include "QeltUtilityForm.h"

namespace qelt {

void TfrmQELTUtility::FormCreate() {}

}  // namespace qelt
