#include "CommandLineErrorBoxText.h"

namespace qelt {

std::string WithFullStop(const std::string& message, LeadByteTest isLeadByte) {
  if (message.empty()) return message;
  size_t last = 0;
  for (size_t i = 0; i < message.size(); i += (isLeadByte(static_cast<unsigned char>(message[i])) ? 2 : 1))
    last = i;
  return static_cast<unsigned char>(message[last]) > '.' ? message + "." : message;
}

}  // namespace qelt
