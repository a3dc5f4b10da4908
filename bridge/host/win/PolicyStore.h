// The administrator's policy and the person's answers, as the registry holds them.
#pragma once
#include <cstdint>
#include <string>

#include "OriginPolicy.h"

namespace qelt::bridge {

Policy ReadPolicy();
Answers ReadAnswers();
// Adds the origin to the person's approvals (or, for good = false, to the
// refusals of this logon). Safe against other hosts writing at once.
void RememberAnswer(const std::string& origin, bool yes);
// Remembers for this logon that nobody answered the box for the origin now;
// entries past their ten minutes go.
void RememberUnanswered(const std::string& origin);
// Seconds since 1970, the time the unanswered boxes are kept in.
std::int64_t SecondsNow();

}  // namespace qelt::bridge
