#include "Session.h"

#include "HostTexts.h"
#include "Protocol.h"
#include "Reply.h"
#include "SignText.h"

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
  admission_ = verdict;
  helloActivation_ = request.userActivation;
  topLevel_ = request.topLevel;
  readyAt_ = endpoint_.NowMs();
  Step step;
  step.replies.push_back(ReadyReply(endpoint_.Version(), endpoint_.Arch(), endpoint_.ManagedProxy()));
  return step;
}

std::string Session::Refusal(const Request& request, std::int32_t number, const char* text, const char* reason) const {
  return ErrorReply(request.id, number, text::Fill(text, "origin", admission_.origin), reason);
}

std::optional<std::string> Session::PinOperationReply(const Request& request, bool busy) {
  if (busy) return Refusal(request, number::kBusy, text::kPinBusy, reason::kBusy);
  if (!topLevel_) return Refusal(request, number::kAccessDenied, text::kPinFrame, reason::kFrame);
  PinOperation operation;
  operation.text = request.text;
  switch (request.kind) {
    case Request::Kind::kAuthenticate: operation.kind = PinOperation::Kind::kAuthenticate; break;
    case Request::Kind::kSign: operation.kind = PinOperation::Kind::kSign; break;
    default:
      operation.kind = request.member == "checkCard" ? PinOperation::Kind::kCheckCard : PinOperation::Kind::kCheckPin;
  }
  const bool signs = operation.kind == PinOperation::Kind::kAuthenticate || operation.kind == PinOperation::Kind::kSign;
  if (signs && endpoint_.SigningPolicy().signingOrigins && !admission_.listed)
    return Refusal(request, number::kAccessDenied, text::kSigningNotAllowed, reason::kPolicy);
  if (operation.kind == PinOperation::Kind::kSign) {
    const auto problem = SignTextProblem(request.text, [this](char32_t c) { return endpoint_.Representable(c); });
    if (problem) return ErrorReply(request.id, number::kInvalidArg, *problem);
  }
  // The hello's gesture may carry over to the first PIN operation only.
  const bool grace =
      !pinOperationSeen_ && helloActivation_ && endpoint_.NowMs() - readyAt_ <= kActivationGraceMs;
  pinOperationSeen_ = true;
  if (!request.userActivation && !grace)
    return Refusal(request, number::kAccessDenied, text::kPinActivation, reason::kActivation);
  const Outcome outcome = endpoint_.RunPinOperation(operation);
  if (outcome.abandoned) return std::nullopt;
  if (!outcome.ok) return ErrorReply(request.id, outcome.number, outcome.description, outcome.reason);
  return outcome.token ? TokenReply(request.id, *outcome.token) : ResultReply(request.id, outcome.value);
}

Session::Step Session::Handle(const Request& request, bool duplicate, bool busy) {
  if (!admitted_) return Hello(request);
  Step step;
  const bool pinOperation = IsPinOperation(request);
  if (pinOperation && !duplicate) {
    if (auto reply = PinOperationReply(request, busy)) {
      step.replies.push_back(std::move(*reply));
    } else {
      step.end = true;  // the browser went away while the person was asked
      step.exitCode = exit_code::kEndOfInput;
    }
    return step;
  }
  if (CarriesPin(request) && !duplicate && !endpoint_.SigningPolicy().pinFromPages) {
    step.replies.push_back(ErrorReply(request.id, number::kAccessDenied, text::kPinFromPagesOff, reason::kPolicy));
    return step;
  }
  switch (request.kind) {
    case Request::Kind::kInvalid:
      step.replies.push_back(ErrorReply(request.id, number::kInvalidArg, request.problem));
      break;
    case Request::Kind::kHello:
      step.replies.push_back(
          ErrorReply(std::nullopt, number::kInvalidArg, "the connection already has its origin: a second hello changes nothing"));
      break;
    case Request::Kind::kAuthenticate:
    case Request::Kind::kSign:
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
