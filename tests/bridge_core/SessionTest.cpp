#include "Session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Protocol.h"

namespace qelt::bridge {
namespace {

// Answers calls by name and records what the session asked of it.
class FakeEndpoint : public Endpoint {
 public:
  Verdict verdict;
  Outcome opening;
  std::vector<std::string> log;

  FakeEndpoint() { verdict.kind = Verdict::Kind::kAdmit; }

  Verdict Admit(const std::string& origin, bool topLevel, bool userActivation) override {
    log.push_back("admit " + origin + (topLevel ? " top" : " frame") + (userActivation ? " activated" : ""));
    return verdict;
  }
  Outcome Open() override {
    log.push_back("open");
    return opening;
  }
  Outcome Call(const std::string& member, const std::vector<Json>& args) override {
    log.push_back("call " + member + " " + Json(args).dump());
    Outcome outcome;
    if (member == "readCard") {
      outcome.value = "卡片";
    } else {
      outcome.ok = false;
      outcome.number = number::kUnexpected;
      outcome.description = "PinCode錯誤";
    }
    return outcome;
  }
  Outcome Put(const std::string& member, const Json& value) override {
    log.push_back("put " + member + " " + value.dump());
    return {};  // ok, value null
  }
  std::string Version() override { return "3.0.1.0"; }
  std::string Arch() override { return "x64"; }
};

const std::string kHello = R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":true})";

struct Exchange {
  std::string frame;
  std::vector<std::string> replies;
  bool end = false;
  int exitCode = 0;
  bool duplicate = false;
};

// Feeds the frames in order and checks each step.
void Converse(FakeEndpoint& endpoint, const std::vector<Exchange>& exchanges) {
  Session session(endpoint);
  for (const Exchange& e : exchanges) {
    SCOPED_TRACE(e.frame);
    const Session::Step step = session.Handle(DecodeRequest(e.frame), e.duplicate);
    EXPECT_EQ(step.replies, e.replies);
    EXPECT_EQ(step.end, e.end);
    EXPECT_EQ(step.exitCode, e.exitCode);
  }
}

TEST(Session, TheFirstFrameMustBeAHelloInTheProtocolSpoken) {
  const Exchange cases[] = {
      {R"({"type":"call","id":1,"member":"readCard","args":[]})",
       {R"({"type":"refused","number":-2147024809,"reason":"hello","description":"the first message must be a hello: a call before the hello"})"},
       true, exit_code::kProtocol},
      {"", {R"({"type":"refused","number":-2147024809,"reason":"hello","description":"the first message must be a hello: the frame is empty"})"},
       true, exit_code::kProtocol},
      {R"({"type":"hello","protocol":1,"origin":"https://a.example"})",
       {R"({"type":"refused","number":-2147024809,"reason":"hello","description":"the first message must be a hello: missing field \"topLevel\""})"},
       true, exit_code::kProtocol},
      {R"({"type":"hello","protocol":2,"origin":"https://a.example","topLevel":true})",
       {R"({"type":"refused","number":-2147024809,"reason":"protocol","description":"protocol 2 is not spoken here: this host speaks protocol 1"})"},
       true, exit_code::kRefused},
      {R"({"type":"hello","protocol":4294967297,"origin":"https://a.example","topLevel":true})",
       {R"({"type":"refused","number":-2147024809,"reason":"protocol","description":"protocol 4294967297 is not spoken here: this host speaks protocol 1"})"},
       true, exit_code::kRefused},
  };
  for (const Exchange& exchange : cases) {
    FakeEndpoint endpoint;
    Converse(endpoint, {exchange});
    EXPECT_EQ(endpoint.log, std::vector<std::string>{});
  }
}

TEST(Session, ARefusedOriginGetsNoControl) {
  FakeEndpoint endpoint;
  endpoint.verdict.kind = Verdict::Kind::kRefuse;
  endpoint.verdict.reason = reason::kFrame;
  endpoint.verdict.description = "網站 https://a.example 在頁框中";
  Converse(endpoint, {{R"({"type":"hello","protocol":1,"origin":"https://A.example","topLevel":false})",
                  {R"({"type":"refused","number":-2147024891,"reason":"frame","description":"網站 https://a.example 在頁框中"})"},
                  true,
                  exit_code::kRefused}});
  EXPECT_EQ(endpoint.log, std::vector<std::string>{"admit https://A.example frame"});
}

TEST(Session, ABrowserGoneBeforeTheAnswerEndsQuietly) {
  FakeEndpoint endpoint;
  endpoint.verdict.kind = Verdict::Kind::kAbandoned;
  Converse(endpoint, {{kHello, {}, true, exit_code::kEndOfInput}});
  EXPECT_EQ(endpoint.log, std::vector<std::string>{"admit https://a.example top"});
}

TEST(Session, AControlThatCannotBeHadEndsTheConnection) {
  FakeEndpoint endpoint;
  endpoint.opening.ok = false;
  endpoint.opening.number = -2147221164;
  endpoint.opening.description = "Class not registered";
  Converse(endpoint, {{kHello,
                  {R"({"type":"unavailable","number":-2147221164,"description":"Class not registered"})"},
                  true,
                  exit_code::kRefused}});
  EXPECT_EQ(endpoint.log, (std::vector<std::string>{"admit https://a.example top", "open"}));
}

TEST(Session, OnceReadyEveryFrameGetsOneReplyInOrder) {
  FakeEndpoint endpoint;
  Converse(endpoint,
      {
          {kHello, {R"({"type":"ready","protocol":1,"version":"3.0.1.0","arch":"x64","managedProxy":false})"}},
          {R"({"type":"call","id":1,"member":"readCard","args":["a",2]})", {R"({"type":"result","id":1,"value":"卡片"})"}},
          {R"({"type":"put","id":2,"member":"proxyServer","value":"p.example:8080"})",
           {R"({"type":"result","id":2,"value":null})"}},
          {R"({"type":"call","id":3,"member":"checkPin","args":[]})",
           {R"({"type":"error","id":3,"number":-2147418113,"description":"PinCode錯誤"})"}},
          {kHello,
           {R"({"type":"error","id":null,"number":-2147024809,"description":"the connection already has its origin: a second hello changes nothing"})"}},
          {R"({"type":"hello"})",
           {R"({"type":"error","id":null,"number":-2147024809,"description":"missing field \"protocol\""})"}},
          // Id 4 still pending: the control is not called.
          {R"({"type":"call","id":4,"member":"readCard","args":[]})",
           {R"({"type":"error","id":4,"number":-2147024809,"description":"id 4 is already that of a pending call"})"},
           false, 0, true},
          {R"({"type":"put","id":5,"member":"proxyServer","value":{}})",
           {R"({"type":"error","id":5,"number":-2147024809,"description":"field \"value\" must be a string, a number, true, false or null"})"}},
          {R"({"type":"ping","id":6})",
           {R"({"type":"error","id":6,"number":-2147024809,"description":"unknown type \"ping\""})"}},
          {"[]", {R"({"type":"error","id":null,"number":-2147024809,"description":"the frame is not a JSON object"})"}},
          {"", {R"({"type":"error","id":null,"number":-2147024809,"description":"the frame is empty"})"}},
          {R"({"type":"call","id":7,"member":"readCard","args":[]})", {R"({"type":"result","id":7,"value":"卡片"})"}},
      });
  EXPECT_EQ(endpoint.log, (std::vector<std::string>{"admit https://a.example top", "open", R"(call readCard ["a",2])",
                                                    R"(put proxyServer "p.example:8080")", "call checkPin []",
                                                    "call readCard []"}));
}

}  // namespace
}  // namespace qelt::bridge
