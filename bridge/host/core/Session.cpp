#include "Session.h"

#include "Protocol.h"
#include "Reply.h"

namespace qelt::bridge {
namespace {

Session::Step Ending(std::string reply, int exitCode) {
  Session::Step step;
  step.replies.push_back(std::move(reply));
  step.end = true;
  step.exitCode = exitCode;
  return step;
}

}  // namespace

Session::Step Session::Hello(const Request& request) {
  if (request.kind != Request::Kind::kHello) {
    const std::string problem = request.kind == Request::Kind::kInvalid ? request.problem : "a call before the hello";
    return Ending(RefusedReply(number::kInvalidArg, reason::kHello, "the first message must be a hello: " + problem),
                  exit_code::kProtocol);
  }
  if (request.protocol != kProtocolVersion)
    return Ending(RefusedReply(number::kInvalidArg, reason::kProtocol,
                               "protocol " + std::to_string(request.protocol) + " is not spoken here: this host speaks protocol " +
                                   std::to_string(kProtocolVersion)),
                  exit_code::kRefused);
  const Verdict verdict = endpoint_.Admit(request.origin, request.topLevel, request.userActivation);
  if (verdict.kind == Verdict::Kind::kAbandoned) {
    Step step;
    step.end = true;
    step.exitCode = exit_code::kEndOfInput;
    return step;
  }
  if (verdict.kind != Verdict::Kind::kAdmit)
    return Ending(RefusedReply(number::kAccessDenied, verdict.reason, verdict.description), exit_code::kRefused);
  const Outcome opened = endpoint_.Open();
  if (!opened.ok) return Ending(UnavailableReply(opened.number, opened.description), exit_code::kRefused);
  admitted_ = true;
  Step step;
  step.replies.push_back(ReadyReply(endpoint_.Version(), endpoint_.Arch(), endpoint_.ManagedProxy()));
  return step;
}

Session::Step Session::Handle(const Request& request, bool duplicate) {
  if (!admitted_) return Hello(request);
  Step step;
  switch (request.kind) {
    case Request::Kind::kInvalid:
      step.replies.push_back(ErrorReply(request.id, number::kInvalidArg, request.problem));
      break;
    case Request::Kind::kHello:
      step.replies.push_back(
          ErrorReply(std::nullopt, number::kInvalidArg, "the connection already has its origin: a second hello changes nothing"));
      break;
    case Request::Kind::kCall:
    case Request::Kind::kPut: {
      if (duplicate) {
        step.replies.push_back(ErrorReply(request.id, number::kInvalidArg,
                                          "id " + std::to_string(*request.id) + " is already that of a pending call"));
        break;
      }
      const Outcome outcome = request.kind == Request::Kind::kCall ? endpoint_.Call(request.member, request.args)
                                                                   : endpoint_.Put(request.member, request.args.front());
      step.replies.push_back(outcome.ok ? ResultReply(request.id, outcome.value)
                                        : ErrorReply(request.id, outcome.number, outcome.description));
      break;
    }
  }
  return step;
}

}  // namespace qelt::bridge
