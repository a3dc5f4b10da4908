#include "ToBeSignedText.h"

namespace qelt {

std::string TSignUtility::GetTBS() const {
  return "<TBSHeader>" + header + "</TBSHeader><TBSBody>" + body + "</TBSBody>";
}

}  // namespace qelt
