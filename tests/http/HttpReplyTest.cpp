// Reading and judging replies from byte pieces, as a server may send them.
#include <gtest/gtest.h>

#include <chrono>

#include "BufferedReader.h"
#include "HttpExchange.h"
#include "EIdHTTPProtocolException.h"
#include "ScriptedStream.h"

namespace qelt {
namespace {

using test::ScriptedStream;

// Limits distinct enough to tell which wait was used.
HttpLimits TestLimits() {
  HttpLimits limits;
  limits.ioTimeout = std::chrono::milliseconds(60000);
  limits.failedBodyTimeout = std::chrono::milliseconds(2000);
  return limits;
}

ScriptedStream Pieces(std::initializer_list<std::string> pieces) {
  ScriptedStream stream;
  for (const std::string& piece : pieces) stream.Then(piece);
  return stream;
}

struct SuccessCase {
  const char* name;
  std::vector<std::string> pieces;  // then the peer closes
  std::string body;
};

TEST(ReceiveReply, ReturnsTheBodyOfSuccessReplies) {
  const SuccessCase cases[] = {
      {"content length", {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello-and-more"}, "hello"},
      {"content length, lines ended by LF alone", {"HTTP/1.0 200 OK\nContent-Length: 2\n\nhi"}, "hi"},
      {"pieces split anywhere", {"HTT", "P/1.0 20", "0 OK\r", "\nContent-Len", "gth: 3\r\n\r", "\nab", "c"}, "abc"},
      {"close before the whole content length", {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nshort"}, "short"},
      {"names in any case, values trimmed", {"HTTP/1.0 200 OK\r\ncontent-LENGTH: \t 3 \r\n\r\nabcdef"}, "abc"},
      {"no content length: until close", {"HTTP/1.0 200 OK\r\n\r\nall ", "of ", "it"}, "all of it"},
      {"invalid content length: until close", {"HTTP/1.0 200 OK\r\nContent-Length: 1x\r\n\r\nabc"}, "abc"},
      {"content length 0", {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\nignored"}, ""},
      {"204 reads no body", {"HTTP/1.0 204 No Content\r\nContent-Length: 4\r\n\r\nbody"}, ""},
      {"status line without reason", {"HTTP/1.1 200\r\nContent-Length: 1\r\n\r\nx"}, "x"},
      {"code with a plus sign", {"HTTP/1.1 +200 OK\r\nContent-Length: 1\r\n\r\nx"}, "x"},
      {"empty Location is no redirect", {"HTTP/1.0 200 OK\r\nLocation:   \r\nContent-Length: 1\r\n\r\nx"}, "x"},
      {"interim 100 replies skipped",
       {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX: y\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}, "ok"},
      {"chunked",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", "1A\r\n",
        "abcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\nafter"}, "helloabcdefghijklmnopqrstuvwxyz"},
      {"chunk size ends at the first space", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3 x\r\nabc\r\n0\r\n\r\n"}, "abc"},
      {"chunk extension ends the body", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n4;ext=1\r\nwxyz\r\n0\r\n\r\n"}, "abc"},
      {"chunked wins over content length 0",
       {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nTransfer-Encoding: gzip, chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"}, "ok"},
      {"content length wins over chunked",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n2\r\nok\r\n0\r\n\r\n"}, "2\r\n"},
      {"Chunked with a capital C is not chunked",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"}, "2\r\nok\r\n0\r\n\r\n"},
      {"continuation line joins the previous header",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip,\r\n\t chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"}, "ok"},
      {"only the first content length counts",
       {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\ncontent-length: 5\r\n\r\nhello"}, "he"},
      {"a folded content length is no number", {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\n 2\r\n\r\nabc"}, "abc"},
      {"a blank continuation line adds nothing",
       {"HTTP/1.0 200 OK\r\nContent-Length:\r\n \t\r\n  3 \r\n\t\r\n\r\nabcdef"}, "abc"},
      {"a continuation line extends the header just before it",
       {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\nX: y\r\n 3\r\n\r\nabcd"}, "ab"},
      {"a continuation line before any header is dropped",
       {"HTTP/1.0 200 OK\r\n Content-Length: 1\r\n\r\nab"}, "ab"},
      {"a blank continuation of an empty Location is no redirect",
       {"HTTP/1.0 200 OK\r\nLocation:\r\n \r\nContent-Length: 1\r\n\r\nx"}, "x"},
      {"raw bytes unconverted",
       {std::string("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n\xa4\xa4\0\xe5\r", 43)},
       std::string("\xa4\xa4\0\xe5\r", 5)},
  };
  for (const SuccessCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedStream stream;
    for (const std::string& piece : c.pieces) stream.Then(piece);
    EXPECT_EQ(ReceiveReply(stream, TestLimits()), c.body);
  }
}

struct ProtocolFailureCase {
  std::string reply;  // then the peer closes
  int code;
  std::string statusLine;
  std::string body;
};

TEST(ReceiveReply, RedirectsAndOtherCodesAreProtocolFailures) {
  const ProtocolFailureCase cases[] = {
      {"HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", 404, "HTTP/1.0 404 Not Found", "gone"},
      {"HTTP/1.0 302 Found\r\nLocation: http://else.example/\r\n\r\nmoved", 302, "HTTP/1.0 302 Found", "moved"},
      {"HTTP/1.0 301 Moved\r\n\r\n", 301, "HTTP/1.0 301 Moved", ""},
      {"HTTP/1.0 200 OK\r\nlocation: /elsewhere\r\nContent-Length: 2\r\n\r\nok", 200, "HTTP/1.0 200 OK", "ok"},
      {"HTTP/1.0 200 OK\r\nLocation:\r\nLocation: /x\r\n\r\n", 200, "HTTP/1.0 200 OK", ""},
      {"HTTP/1.0 200 OK\r\nLocation:\r\n  /x\r\n\r\n", 200, "HTTP/1.0 200 OK", ""},
      {"HTTP/1.0 200 OK\r\nLocation\r\n\t/x\r\n\r\n", 200, "HTTP/1.0 200 OK", ""},
      {"HTTP/1.0 304 Not Modified\r\n\r\n", 304, "HTTP/1.0 304 Not Modified", ""},
      {"HTTP/1.0 407 Proxy Authentication Required\r\nTransfer-Encoding: chunked\r\n\r\n4\r\ndeny\r\n0\r\n\r\n",
       407, "HTTP/1.0 407 Proxy Authentication Required", "deny"},
      {"HTTP/1.1 101 Switching\r\n\r\n", 101, "HTTP/1.1 101 Switching", ""},
      {"HTTP/1.0 500 Oops\r\n\r\nbroken", 500, "HTTP/1.0 500 Oops", "broken"},
      {"garbage\r\n\r\n", -1, "garbage", ""},
      {"HTTP/1.0 2OO OK\r\n\r\n", -1, "HTTP/1.0 2OO OK", ""},
      {"HTTP/1.0 99999999999 Big\r\n\r\n", -1, "HTTP/1.0 99999999999 Big", ""},
      {"HTTP/1.0 -5 Odd\r\n\r\n", -5, "HTTP/1.0 -5 Odd", ""},
      {"HTTP/1.0 - Odd\r\n\r\n", -1, "HTTP/1.0 - Odd", ""},
      {"\r\n\r\n", -1, "", ""},
  };
  for (const ProtocolFailureCase& c : cases) {
    SCOPED_TRACE(c.reply);
    ScriptedStream stream = Pieces({c.reply});
    try {
      ReceiveReply(stream, TestLimits());
      ADD_FAILURE() << "no failure";
    } catch (const EIdHTTPProtocolException& e) {
      EXPECT_EQ(e.Code(), c.code);
      EXPECT_EQ(e.Message(), c.statusLine);
      EXPECT_EQ(e.Body(), c.body);
    }
  }
}

struct MessageCase {
  const char* name;
  ScriptedStream stream;
  std::string message;
};

std::string Repeat(size_t n) { return std::string(n, 'a'); }

TEST(ReceiveReply, FailsWithMessages) {
  MessageCase cases[] = {
      {"closed before any byte", Pieces({}), "Connection Closed Gracefully."},
      {"closed inside the status line", Pieces({"HTTP/1.0 200 O"}), "Connection Closed Gracefully."},
      {"closed after 100, before the real status", Pieces({"HTTP/1.1 100 Continue\r\n\r\n"}),
       "Connection Closed Gracefully."},
      {"success with headers cut off", Pieces({"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n"}),
       "Undefined situation"},
      {"chunked body cut inside a chunk",
       Pieces({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel"}),
       "Connection Closed Gracefully."},
      {"chunked body cut before the last line",
       Pieces({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n"}),
       "Connection Closed Gracefully."},
      {"failed reply with its chunked body cut",
       Pieces({"HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nhel"}),
       "Connection Closed Gracefully."},
      {"status line over the limit", Pieces({Repeat(16385) + "\n"}), "Max line length exceeded."},
      {"status line over the limit, never ended", Pieces({Repeat(20000)}), "Max line length exceeded."},
      {"header line over the limit",
       Pieces({"HTTP/1.0 200 OK\r\nX: " + Repeat(16382) + "\r\n\r\n"}), "Max line length exceeded."},
      {"chunk size line over the limit",
       Pieces({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Repeat(16385) + "\r\n"}),
       "Max line length exceeded."},
      {"status line stalls", ScriptedStream().Then("HTTP/1.0 200").Stall(), "Read Timeout"},
      {"success body stalls",
       ScriptedStream().Then("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc").Stall(), "Read Timeout"},
      {"failed body stalls",
       ScriptedStream().Then("HTTP/1.0 404 Not Found\r\n\r\nabc").Stall(), "Read Timeout"},
  };
  for (MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ReceiveReply(c.stream, TestLimits());
      ADD_FAILURE() << "no failure";
    } catch (const EIdHTTPProtocolException& e) {
      ADD_FAILURE() << "protocol failure " << e.Code();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

struct BoundCase {
  const char* name;
  ScriptedStream stream;
  std::string body;  // empty when the bound must fail the reply
};

// With a bound of 8 bytes: 8 are taken, a 9th fails, in every framing. A
// stall after the bound shows that nothing more is read once it is passed.
TEST(ReceiveReply, BoundsTheBodySizeInEveryFraming) {
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
  BoundCase cases[] = {
      {"content length at the bound", Pieces({ok + "Content-Length: 8\r\n\r\n12345678"}), "12345678"},
      {"content length past the bound, nothing read",
       ScriptedStream().Then(ok + "Content-Length: 9\r\n\r\n").Stall(), ""},
      {"content length far past memory, nothing read",
       ScriptedStream().Then(ok + "Content-Length: 9223372036854775807\r\n\r\n").Stall(), ""},
      {"chunks adding up to the bound", Pieces({chunked + "5\r\n12345\r\n3\r\n678\r\n0\r\n\r\n"}),
       "12345678"},
      {"chunks adding up past the bound",
       ScriptedStream().Then(chunked + "5\r\n12345\r\n4\r\n").Stall(), ""},
      {"chunk size far past memory", ScriptedStream().Then(chunked + "ffffffffffffffff\r\n").Stall(), ""},
      {"until close, at the bound", Pieces({ok + "\r\n1234", "5678"}), "12345678"},
      {"until close, past the bound", ScriptedStream().Then(ok + "\r\n1234").Then("56789").Stall(), ""},
      {"until close, endless peer",
       ScriptedStream().Then(ok + "\r\n").Then("1234").Then("5678").Then("9").Then("0").Stall(), ""},
      {"failed reply's body past the bound",
       ScriptedStream().Then("HTTP/1.1 500 Oops\r\n\r\n123456789").Stall(), ""},
  };
  HttpLimits limits = TestLimits();
  limits.maxBodyBytes = 8;
  for (BoundCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      EXPECT_EQ(ReceiveReply(c.stream, limits), c.body);
    } catch (const EIdHTTPProtocolException& e) {
      ADD_FAILURE() << "protocol failure " << e.Code();
    } catch (const Exception& e) {
      EXPECT_TRUE(c.body.empty()) << e.Message();
      EXPECT_EQ(e.Message(), "Reply body too large");
    }
  }
}

TEST(ReceiveReply, BoundsTheHeaderBlockInterimRepliesIncluded) {
  HttpLimits limits = TestLimits();
  limits.maxHeadBytes = 64;
  // 17 + 19 + 2 = 38 bytes of lines (LFs counted): within 64.
  ScriptedStream fits = Pieces({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"});
  EXPECT_EQ(ReceiveReply(fits, limits), "ok");
  const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
  ScriptedStream endlessInterims = ScriptedStream().Then(interim).Then(interim).Then(interim).Stall();
  ScriptedStream endlessHeaders = ScriptedStream().Then("HTTP/1.1 200 OK\r\nA: 1\r\n");
  for (int i = 0; i < 10; ++i) endlessHeaders.Then(" more\r\n");
  endlessHeaders.Stall();
  for (ScriptedStream* stream : {&endlessInterims, &endlessHeaders}) {
    try {
      ReceiveReply(*stream, limits);
      ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Reply header too large");
    }
  }
}

TEST(ReceiveReply, LinesUpToTheLimitAreAccepted) {
  // 16384 bytes before the LF, the CR counted among them.
  const std::string reason = Repeat(16384 - std::string("HTTP/1.0 200 ").size() - 1);
  ScriptedStream stream = Pieces({"HTTP/1.0 200 " + reason + "\r\nContent-Length: 2\r\n\r\nok"});
  EXPECT_EQ(ReceiveReply(stream, TestLimits()), "ok");
}

// A 1 MiB head of one header folded over 340,000 lines once took half a
// minute: each line copied the whole value.
TEST(ReceiveReply, ReadsAFoldedHeadAtTheBoundQuickly) {
  std::string head = "HTTP/1.0 200 OK\nContent-Length: 2\n";
  while (head.size() + 4 <= HttpLimits::kDefaultMaxHeadBytes) head += " a\n";
  ScriptedStream stream = Pieces({head + "\nok"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReceiveReply(stream, TestLimits()), "ok");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ReceiveReply, WaitsTheShortLimitOnlyForTheBodyOfAFailedReply) {
  HttpLimits limits;
  limits.ioTimeout = std::chrono::milliseconds(111);
  limits.failedBodyTimeout = std::chrono::milliseconds(22);

  ScriptedStream success = Pieces({"HTTP/1.0 200 OK\r\n", "\r\n", "body"});
  ReceiveReply(success, limits);
  for (int timeout : success.readTimeouts) EXPECT_EQ(timeout, 111);

  ScriptedStream failed = Pieces({"HTTP/1.0 500 Oops\r\n", "\r\n", "bo", "dy"});
  EXPECT_THROW(ReceiveReply(failed, limits), EIdHTTPProtocolException);
  const std::vector<int> expected = {111, 111, 22, 22, 22};
  EXPECT_EQ(failed.readTimeouts, expected);
}

}  // namespace
}  // namespace qelt
