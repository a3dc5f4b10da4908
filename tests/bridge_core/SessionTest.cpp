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
  Policy SigningPolicy() override { return policy; }
  Outcome RunPinOperation(const PinOperation& operation) override {
    static const char* const kKinds[] = {"authenticate", "sign", "checkPin", "checkCard"};
    log.push_back(std::string("dialog ") + kKinds[static_cast<int>(operation.kind)] + " " + operation.text);
    return pinOutcome;
  }
  bool Representable(char32_t c) override { return c < 0x80 || c == U'十' || c == U'卅'; }
  unsigned long long NowMs() override { return now; }

  Policy policy;
  Outcome pinOutcome;
  unsigned long long now = 1000;
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
          {kHello, {R"({"type":"ready","protocol":1,"version":"3.0.1.0","arch":"x64","managedProxy":false,"features":["authenticate","sign","pinDialog"]})"}},
          {R"({"type":"call","id":1,"member":"readCard","args":["a",2]})", {R"({"type":"result","id":1,"value":"卡片"})"}},
          {R"({"type":"put","id":2,"member":"proxyServer","value":"p.example:8080"})",
           {R"({"type":"result","id":2,"value":null})"}},
          {R"({"type":"call","id":3,"member":"checkPin","args":["0000"]})",
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
                                                    R"(put proxyServer "p.example:8080")", R"(call checkPin ["0000"])",
                                                    "call readCard []"}));
}

const std::string kChallenge(43, 'c');

std::string Operation(int id, const char* type, const std::string& field, const std::string& text, bool activated) {
  return R"({"type":")" + std::string(type) + R"(","id":)" + std::to_string(id) + R"(,")" + field + R"(":")" + text +
         R"(","userActivation":)" + (activated ? "true" : "false") + "}";
}
std::string Authenticate(int id, bool activated = true) {
  return Operation(id, "authenticate", "challenge", kChallenge, activated);
}

TEST(Session, PinOperationsOnlyForATopLevelPageAPersonAskedForOneAtATime) {
  struct Case {
    const char* name;
    std::string hello;
    std::vector<Exchange> frames;
    std::vector<std::string> dialogs;  // what reached the dialog
    Policy policy;
    bool listed = false;
  };
  const std::string activatedHello = R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":true,"userActivation":true})";
  const std::string frameHello = R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":false})";
  Policy noPagePins;
  noPagePins.pinFromPages = false;
  Policy listedOnly;
  listedOnly.signingOrigins = true;
  const auto error = [](int id, int number, const std::string& description, const char* reason) {
    return R"({"type":"error","id":)" + std::to_string(id) + R"(,"number":)" + std::to_string(number) +
           R"(,"description":")" + description + R"(","reason":")" + reason + R"("})";
  };
  const std::string ok = R"({"type":"result","id":%,"value":"檢查通過"})";
  const auto result = [&ok](int id) {
    std::string r = ok;
    return r.replace(r.find('%'), 1, std::to_string(id));
  };
  const std::string activation = "網站 https://a.example 須由您按下網頁上的按鈕，才能要求輸入PIN碼：請使用網頁本身的按鈕";
  const Case cases[] = {
      {"a gesture with each", kHello,
       {{Authenticate(1), {result(1)}}, {Operation(2, "sign", "text", R"(a\tb\r\n十卅)", true), {result(2)}}},
       {"dialog authenticate " + kChallenge, "dialog sign a\tb\r\n十卅"}},
      {"no gesture", kHello, {{Authenticate(1, false), {error(1, -2147024891, activation, "activation")}}}, {}},
      {"the hello's gesture carries to the first operation only", activatedHello,
       {{R"({"type":"call","id":1,"member":"checkCard","args":[]})", {result(1)}},
        {R"({"type":"call","id":2,"member":"checkPin","args":[]})", {error(2, -2147024891, activation, "activation")}}},
       {"dialog checkCard "}},
      {"a frame", frameHello,
       {{Authenticate(1), {error(1, -2147024891, "網站 https://a.example 在頁框中不能要求輸入PIN碼，須在最上層頁面", "frame")}}},
       {}},
      {"busy", kHello,
       {{Authenticate(1), {error(1, -2147024726, "已有一項需要輸入PIN碼的作業在等待中，請先完成或取消它", "busy")}, false, 0,
         false}},
       {}},
      {"SigningOrigins: not listed", kHello,
       {{Authenticate(1), {error(1, -2147024891, "網站 https://a.example 未獲系統管理員的原則允許以憑證IC卡登入或簽章", "policy")}},
        {R"({"type":"call","id":2,"member":"checkPin","args":[],"userActivation":true})", {result(2)}}},
       {"dialog checkPin "}, listedOnly},
      {"SigningOrigins: listed", kHello, {{Authenticate(1), {result(1)}}}, {"dialog authenticate " + kChallenge},
       listedOnly, true},
      {"PinFromPages 0", kHello,
       {{R"({"type":"call","id":1,"member":"checkPin","args":["1234"]})",
         {error(1, -2147024891, "系統管理員的原則規定PIN碼只在QELTReader的對話方塊中輸入，網頁不能傳入PIN碼", "policy")}}},
       {}, noPagePins},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeEndpoint endpoint;
    endpoint.verdict.listed = c.listed;
    endpoint.verdict.origin = "https://a.example";
    endpoint.policy = c.policy;
    endpoint.pinOutcome.value = "檢查通過";
    Session session(endpoint);
    session.Handle(DecodeRequest(c.hello));
    for (const Exchange& e : c.frames) {
      SCOPED_TRACE(e.frame);
      const bool busy = std::string(c.name) == "busy";
      EXPECT_EQ(session.Handle(DecodeRequest(e.frame), false, busy).replies, e.replies);
    }
    std::vector<std::string> dialogs;
    for (const auto& line : endpoint.log)
      if (line.rfind("dialog ", 0) == 0) dialogs.push_back(line);
    EXPECT_EQ(dialogs, c.dialogs);
  }
}

TEST(Session, AHelloGestureOlderThanAMinuteAsksForANewOne) {
  FakeEndpoint endpoint;
  Session session(endpoint);
  session.Handle(DecodeRequest(R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":true,"userActivation":true})"));
  endpoint.now += 60001;
  const auto step = session.Handle(DecodeRequest(Authenticate(1, false)));
  ASSERT_EQ(step.replies.size(), 1u);
  EXPECT_NE(step.replies[0].find(R"("reason":"activation")"), std::string::npos);
}

TEST(Session, TextsThatCannotBeSignedAsShownAreRefusedBeforeTheDialog) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "the text to sign is empty"},
      {std::string(16385, 'a'), "the text to sign is longer than 16384 characters"},
      {R"(ab\u0000)", "character 3 of the text, U+0000, is a control character"},
      {R"(\u001b[0m)", "character 1 of the text, U+001B, is a control character"},
      {R"(a\u007f)", "character 2 of the text, U+007F, is a control character"},
      {R"(pay \u202e01)", "character 5 of the text, U+202E, is a bidirectional control"},
      {R"(\u2066x)", "character 1 of the text, U+2066, is a bidirectional control"},
      {R"(\u200f)", "character 1 of the text, U+200F, is a bidirectional control"},
      {"十😀", "character 2 of the text, U+1F600, is not in the code page of this computer"},
      {"é", "character 1 of the text, U+00E9, is not in the code page of this computer"},
  };
  for (const auto& [text, problem] : cases) {
    SCOPED_TRACE(problem);
    FakeEndpoint endpoint;
    Session session(endpoint);
    session.Handle(DecodeRequest(kHello));
    const auto step = session.Handle(DecodeRequest(Operation(1, "sign", "text", text, true)));
    EXPECT_EQ(step.replies, std::vector<std::string>{R"({"type":"error","id":1,"number":-2147024809,"description":")" +
                                                     problem + R"("})"});
    EXPECT_EQ(endpoint.log.size(), 2u);  // admit and open: no dialog
  }
}

TEST(Session, ATokenKeepsItsFieldsInOrderAndABrowserGoneMeanwhileEndsQuietly) {
  FakeEndpoint endpoint;
  endpoint.pinOutcome.token = Token("qelt-auth:1", "https://a.example", "MIIB", "MIIC", 950, "3.1.0.0");
  Session session(endpoint);
  session.Handle(DecodeRequest(kHello));
  EXPECT_EQ(session.Handle(DecodeRequest(Authenticate(7))).replies,
            std::vector<std::string>{
                R"({"type":"result","id":7,"value":{"format":"qelt-auth:1","origin":"https://a.example","certificate":"MIIB","signature":"MIIC","codePage":950,"appVersion":"3.1.0.0"}})"});
  endpoint.pinOutcome = Outcome{};
  endpoint.pinOutcome.abandoned = true;
  const auto step = session.Handle(DecodeRequest(Authenticate(8)));
  EXPECT_TRUE(step.replies.empty());
  EXPECT_TRUE(step.end);
  EXPECT_EQ(step.exitCode, exit_code::kEndOfInput);
}

}  // namespace
}  // namespace qelt::bridge
