// The whole exchange over a fake connection: where it connects, what it
// writes, what it refuses before connecting, and that it always closes.
#include <gtest/gtest.h>

#include "HttpExchange.h"
#include "EIdHTTPProtocolException.h"
#include "ScriptedStream.h"

namespace qelt {
namespace {

using test::ScriptedStream;

// Opens a scripted stream and remembers where it was asked to connect, what
// was written and whether the stream has been released.
struct FakeNetwork {
  std::string reply = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
  int opens = 0;
  std::string host;
  uint16_t port = 0;
  std::vector<std::string> writes;
  int connectTimeoutMs = -1;
  std::vector<int> waits;  // the time-out of every read and write, in no order
  bool released = false;
  size_t failWritesFrom = static_cast<size_t>(-1);

  struct Stream : ScriptedStream {
    explicit Stream(FakeNetwork& net) : net(net) {}
    ~Stream() override {
      net.writes = writes;
      net.waits = readTimeouts;
      net.waits.insert(net.waits.end(), writeTimeouts.begin(), writeTimeouts.end());
      net.released = true;
    }
    FakeNetwork& net;
  };

  StreamOpener Opener() {
    return [this](const std::string& h, uint16_t p, std::chrono::milliseconds timeout) -> std::unique_ptr<ByteStream> {
      ++opens;
      host = h;
      port = p;
      connectTimeoutMs = static_cast<int>(timeout.count());
      auto stream = std::make_unique<Stream>(*this);
      stream->Then(reply);
      stream->failWritesFrom = failWritesFrom;
      return stream;
    };
  }
};

TEST(PostOverStream, SendsHeadInOneWriteAndBodyInPiecesOfAtMost32768) {
  FakeNetwork net;
  std::string body(70000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  EXPECT_EQ(PostOverStream(net.Opener(), "http://val.example:8080/x", body, {}, {}), "ok");

  EXPECT_EQ(net.host, "val.example");
  EXPECT_EQ(net.port, 8080);
  ASSERT_EQ(net.writes.size(), 4u);
  EXPECT_EQ(net.writes[0].rfind("POST /x HTTP/1.0\r\n", 0), 0u);
  EXPECT_NE(net.writes[0].find("Content-Length: 70000\r\n"), std::string::npos);
  EXPECT_EQ(net.writes[1].size(), 32768u);
  EXPECT_EQ(net.writes[2].size(), 32768u);
  EXPECT_EQ(net.writes[1] + net.writes[2] + net.writes[3], body);
  EXPECT_TRUE(net.released);
}

TEST(PostOverStream, ARefusalSentBeforeTheBodyIsReportedOverTheSendFailure) {
  FakeNetwork net;
  net.failWritesFrom = 1;  // the peer answered after the head and stopped reading
  net.reply = "HTTP/1.0 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n";
  try {
    PostOverStream(net.Opener(), "http://val.example/x", "body", {"proxy.example", 8080, "", ""}, {});
    ADD_FAILURE() << "no failure";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Code(), 407);
  }
  EXPECT_TRUE(net.released);

  // A success or no answer at all: the request did not get through.
  for (const std::string reply : {"HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\nNoMatch", ""}) {
    FakeNetwork quiet;
    quiet.failWritesFrom = 1;
    quiet.reply = reply;
    try {
      PostOverStream(quiet.Opener(), "http://val.example/x", "body", {}, {});
      ADD_FAILURE() << "no failure";
    } catch (const EIdHTTPProtocolException& e) {
      ADD_FAILURE() << "protocol failure " << e.Code();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Socket Error # 10054");
    }
  }
}

TEST(PostOverStream, EmptyBodySendsOnlyTheHead) {
  FakeNetwork net;
  PostOverStream(net.Opener(), "http://val.example/x", "", {}, {});
  EXPECT_EQ(net.writes.size(), 1u);
}

TEST(PostOverStream, ConnectsToTheProxyWithItsPortAsGiven) {
  FakeNetwork net;
  HttpProxySettings proxy{"proxy.example", 0, "", ""};
  PostOverStream(net.Opener(), "http://val.example/xkms/XKMS", "b", proxy, {});
  EXPECT_EQ(net.host, "proxy.example");
  EXPECT_EQ(net.port, 0);
  EXPECT_EQ(net.writes[0].rfind("POST http://val.example:80/xkms/XKMS HTTP/1.0\r\n", 0), 0u);
}

TEST(PostOverStream, RefusesBeforeConnecting) {
  const HttpProxySettings none;
  const HttpProxySettings proxy{"proxy.example", 3128, "", ""};
  struct Case {
    std::string url;
    HttpProxySettings proxy;
    std::string message;
  };
  const Case cases[] = {
      {"https://val.example/x", none, "IOHandler value is not valid"},
      {"HTTPS://val.example:8443/x", none, "IOHandler value is not valid"},
      {"https://val.example/x", proxy, "https is not supported, not even through a proxy"},
      {"gopher://val.example/x", none, ""},
      {"val.example", none, "URL has no scheme and host: val.example"},
      {"http://val.example/\r\nX: y", proxy, "URL contains control characters"},
      {"http://val.example/", {"proxy\r\nX: y", 3128, "", ""}, "Proxy server contains control characters"},
      {"http://val.example:http/", none, "Invalid port number: http"},
      {"http://val.example:65536/", none, "Invalid port number: 65536"},
      {"http://val.example/", {"proxy.example", 65536, "", ""}, "Invalid port number: 65536"},
      {"http://val.example/", {"proxy.example", -1, "", ""}, "Invalid port number: -1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    FakeNetwork net;
    try {
      PostOverStream(net.Opener(), c.url, "body", c.proxy, {});
      ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(net.opens, 0);
  }
}

TEST(PostOverStream, EveryWaitGetsAtMostWhatIsLeftOfTheExchange) {
  HttpLimits limits;
  FakeNetwork roomy;
  PostOverStream(roomy.Opener(), "http://val.example/", "b", {}, limits);
  EXPECT_EQ(roomy.connectTimeoutMs, 30000);
  EXPECT_EQ(roomy.waits, std::vector<int>(roomy.waits.size(), 60000));

  limits.exchangeTimeout = std::chrono::milliseconds(5000);
  FakeNetwork tight;
  PostOverStream(tight.Opener(), "http://val.example/", "b", {}, limits);
  EXPECT_GT(tight.connectTimeoutMs, 4000);
  EXPECT_LE(tight.connectTimeoutMs, 5000);
  ASSERT_FALSE(tight.waits.empty());
  for (int wait : tight.waits) {
    EXPECT_GT(wait, 4000);
    EXPECT_LE(wait, 5000);
  }
}

TEST(PostOverStream, ReleasesTheConnectionWhenTheReplyFails) {
  FakeNetwork net;
  net.reply = "HTTP/1.0 407 Proxy Authentication Required\r\nContent-Length: 4\r\n\r\nauth";
  try {
    PostOverStream(net.Opener(), "http://val.example/", "b", {"proxy.example", 3128, "", ""}, {});
    ADD_FAILURE() << "no failure";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Code(), 407);
    EXPECT_EQ(e.Body(), "auth");
  }
  EXPECT_TRUE(net.released);

  FakeNetwork cut;
  cut.reply = "HTTP/1.0 200 OK\r\n";
  EXPECT_THROW(PostOverStream(cut.Opener(), "http://val.example/", "b", {}, {}), Exception);
  EXPECT_TRUE(cut.released);
}

}  // namespace
}  // namespace qelt
