// Online certificate validation.
#include "Exception.h"
#include "QeltUtilityForm.h"

namespace qelt {

// Placeholder until validation lands.
std::string TfrmQELTUtility::CheckXKMS() { throw Exception("validation is not built yet"); }

}  // namespace qelt
