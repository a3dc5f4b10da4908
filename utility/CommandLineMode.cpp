// The command-line mode: one operation chosen by the hosting process's
// KEY=VALUE arguments, run when the utility object is created.
#include "QeltUtilityForm.h"

namespace qelt {

void TfrmQELTUtility::FormCreate() {}

}  // namespace qelt

namespace qelt {
// Placeholders until the command-line mode lands.
void TfrmQELTUtility::RunCommandLine() {}
std::unique_ptr<TParams> TQeltUtility::ParseCommandLine() const { return std::make_unique<TParams>(); }
}  // namespace qelt
