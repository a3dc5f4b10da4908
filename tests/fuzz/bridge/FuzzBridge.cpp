// Fuzz entry for the bridge host's core. The input is a control byte, then
// policy lines ("+" allowed, "-" blocked, "y" approved, "n" refused; every
// line is also tried as an origin), then "\n--\n" and the frames a browser
// sends (without the separator the whole input is both). The frames are read
// in pieces, decoded, answered by a session, and their replies, origins and
// verdicts are checked.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Framing.h"
#include "Origin.h"
#include "OriginPolicy.h"
#include "Protocol.h"
#include "Reply.h"
#include "Request.h"
#include "Session.h"
#include "SignText.h"

namespace {

using namespace qelt::bridge;

// Hands out the stream a few bytes at a time, as a pipe does.
class PieceSource : public ByteSource {
 public:
  PieceSource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, bytes_.size()});
    bytes_.copy(buffer, n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t piece_;
};

void CheckReply(const std::string& text) {
  if (text.size() > kMaxReplyLength) __builtin_trap();
  const Json reply = Json::parse(text, nullptr, false);
  if (reply.is_discarded() || !reply.is_object() || !reply.contains(field::kType)) __builtin_trap();
}

bool OriginCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' ||
         c == '/' || c == '[' || c == ']' || c == '*';
}

// A normalised origin is plain ASCII and parses to itself.
void CheckOrigin(std::string_view text, bool allowWildcard) {
  std::string problem;
  const auto origin = ParseOrigin(text, allowWildcard, &problem);
  if (!origin) {
    if (problem.empty()) __builtin_trap();
    return;
  }
  if (origin->wildcard && !allowWildcard) __builtin_trap();
  if (origin->port < 0 || origin->port > 65535) __builtin_trap();
  const std::string normal = origin->Text();
  for (char c : normal)
    if (!OriginCharacter(c)) __builtin_trap();
  const auto again = ParseOrigin(normal, allowWildcard);
  if (!again || again->Text() != normal) __builtin_trap();
}

void CheckVerdict(std::string_view text, bool topLevel, bool userActivation, const Policy& policy,
                  const Answers& answers) {
  const Verdict verdict = Decide(text, topLevel, userActivation, policy, answers);
  const auto origin = ParseOrigin(text, false);
  if (verdict.kind == Verdict::Kind::kRefuse) {
    if (verdict.reason.empty() || verdict.description.empty()) __builtin_trap();
    CheckReply(RefusedReply(number::kAccessDenied, verdict.reason, verdict.description));
  } else if (!verdict.reason.empty()) {
    __builtin_trap();
  }
  if (!origin) {
    if (verdict.kind != Verdict::Kind::kRefuse || verdict.reason != reason::kOrigin) __builtin_trap();
    return;
  }
  if (verdict.origin != origin->Text()) __builtin_trap();
  // Frames and plain http are never asked about; http only for loopback.
  if (verdict.kind == Verdict::Kind::kAsk && (!topLevel || !userActivation || origin->scheme == "http")) __builtin_trap();
  if (verdict.kind == Verdict::Kind::kAdmit && origin->scheme == "http" && !IsLoopbackHost(origin->host))
    __builtin_trap();
  // Blocked wins, and a block list that is not understood blocks all.
  for (const auto& entry : policy.blocked.entries) {
    if (entry.find_first_not_of(" \t\r\n") == std::string::npos) continue;
    const auto rule = ParseBlockRule(entry);
    if ((!rule || BlockMatches(*rule, *origin)) && verdict.kind != Verdict::Kind::kRefuse) __builtin_trap();
  }
}

void CheckRequest(const Request& request) {
  if (request.fatal && request.kind != Request::Kind::kInvalid) __builtin_trap();
  if (request.id && *request.id > kMaxId) __builtin_trap();
  switch (request.kind) {
    case Request::Kind::kInvalid:
      if (request.problem.empty()) __builtin_trap();
      break;
    case Request::Kind::kPut:
      if (request.args.size() != 1) __builtin_trap();
      [[fallthrough]];
    case Request::Kind::kCall:
      if (!request.id || request.args.size() > kMaxArguments) __builtin_trap();
      for (const Json& arg : request.args) {
        if (arg.is_structured()) __builtin_trap();
        if (arg.is_string() && Utf16Units(arg.get_ref<const std::string&>()) > kMaxStringUnits) __builtin_trap();
        ClassifyArgument(arg);
        CheckReply(ResultReply(request.id, arg));
      }
      break;
    case Request::Kind::kAuthenticate:
      // Only what a challenge may hold gets this far.
      if (!request.id || request.text.size() < kMinChallenge || request.text.size() > kMaxChallenge) __builtin_trap();
      break;
    case Request::Kind::kSign:
      if (!request.id) __builtin_trap();
      SignTextProblem(request.text, [](char32_t c) { return c < 0x80; });
      break;
    case Request::Kind::kHello:
      break;
  }
  CheckReply(ErrorReply(request.id, number::kInvalidArg, request.problem));
  CheckReply(ErrorReply(request.id, number::kUnknownName, request.member));
  CheckReply(RefusedReply(number::kInvalidArg, reason::kHello, request.origin));
  CheckReply(UnavailableReply(number::kUnexpected, request.member));
  CheckReply(ReadyReply(request.member, request.origin, request.userActivation));
}

// Answers through the policy; the calls echo their first argument.
class EchoEndpoint : public Endpoint {
 public:
  EchoEndpoint(const Policy& policy, const Answers& answers, bool yes) : policy_(policy), answers_(answers), yes_(yes) {}
  Verdict Admit(const std::string& origin, bool topLevel, bool userActivation) override {
    Verdict verdict = Decide(origin, topLevel, userActivation, policy_, answers_);
    if (verdict.kind == Verdict::Kind::kAsk) {
      verdict.kind = yes_ ? Verdict::Kind::kAdmit : Verdict::Kind::kRefuse;
      if (!yes_) verdict.reason = reason::kPerson;
    }
    return verdict;
  }
  Outcome RunPinOperation(const PinOperation& operation) override {
    Outcome outcome;
    outcome.token = Token(format::kAuth, operation.text, "c", "s", 950, "3.1.0.0");
    return outcome;
  }
  unsigned long long NowMs() override { return ++now_; }
  unsigned long long now_ = 0;
  Outcome Open() override { return {}; }
  Outcome Call(const std::string& member, const std::vector<Json>& args) override {
    Outcome outcome;
    if (!args.empty()) outcome.value = args.front();
    if (member.empty()) {
      outcome.ok = false;
      outcome.number = number::kUnknownName;
      outcome.description = member;
    }
    return outcome;
  }
  Outcome Put(const std::string&, const Json&) override { return {}; }
  std::string Version() override { return "3.0.1.0"; }
  std::string Arch() override { return "x64"; }

 private:
  const Policy& policy_;
  const Answers& answers_;
  bool yes_;
};

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned control = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = input.find("\n--\n");
  const std::string_view policyText = split == std::string_view::npos ? input : input.substr(0, split);
  const std::string_view stream = split == std::string_view::npos ? input : input.substr(split + 4);

  Policy policy;
  Answers answers;
  policy.prompt = control & 0x10 ? PromptSetting::kOff : control & 0x20 ? PromptSetting::kUnreadable : PromptSetting::kOn;
  policy.allowed.readable = (control & 0x40) == 0;
  policy.blocked.readable = (control & 0x80) == 0;
  const std::vector<std::string_view> lines = Lines(policyText);
  for (const std::string_view line : lines) {
    CheckOrigin(line, false);
    CheckOrigin(line, true);
    if (line.empty()) continue;
    const std::string entry(line.substr(1));
    switch (line.front()) {
      case '+': policy.allowed.entries.push_back(entry); break;
      case '-': policy.blocked.entries.push_back(entry); break;
      case 'y': answers.approved.push_back(entry); break;
      case 'n': answers.refused.push_back(entry); break;
      default: break;
    }
  }
  for (const std::string_view line : lines) {
    CheckVerdict(line, control & 1, control & 4, policy, answers);
    if (const auto rule = ParseBlockRule(line)) {
      if (!rule->everything && rule->host.empty()) __builtin_trap();
    }
  }

  PieceSource source(stream, 1 + (control & 0x0F));
  FrameReader reader(source);
  EchoEndpoint endpoint(policy, answers, control & 2);
  Session session(endpoint);
  std::optional<std::uint64_t> previousId;
  bool ended = false;
  for (;;) {
    const Frame frame = reader.Next();
    if (frame.kind != Frame::Kind::kMessage) {
      if (frame.kind == Frame::Kind::kBroken && frame.reason.empty()) __builtin_trap();
      break;
    }
    if (frame.payload.size() > kMaxFrameLength) __builtin_trap();
    const Request request = DecodeRequest(frame.payload);
    CheckRequest(request);
    if (request.kind == Request::Kind::kHello) {
      CheckOrigin(request.origin, false);
      CheckOrigin(request.origin, true);
      CheckVerdict(request.origin, request.topLevel, request.userActivation, policy, answers);
    }
    if (request.fatal || ended) continue;
    const bool duplicate = request.id && request.id == previousId;
    previousId = request.id;
    const Session::Step step = session.Handle(request, duplicate);
    if (step.replies.size() != 1) __builtin_trap();
    for (const auto& reply : step.replies) CheckReply(reply);
    ended = step.end;
  }
  return 0;
}
