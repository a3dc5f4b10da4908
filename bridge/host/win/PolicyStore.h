// The administrator's policy and the person's answers, as the registry holds them.
#pragma once
#include <string>

#include "OriginPolicy.h"

namespace qelt::bridge {

Policy ReadPolicy();
Answers ReadAnswers();
// Adds the origin to the person's approvals (or, for good = false, to the
// refusals of this logon). Safe against other hosts writing at once.
void RememberAnswer(const std::string& origin, bool yes);

}  // namespace qelt::bridge
