// The command line's pieces without the platform: items, splitting at "=",
// integer values, the parameters record and the error box's full stop.
#include <gtest/gtest.h>

#include "CommandLineItems.h"
#include "CommandLineParams.h"
#include "CommandLineErrorBoxText.h"
#include "Exception.h"
#include "IntegerText.h"
#include "SplitString.h"
#include "SystemText.h"

using namespace qelt;
using Pieces = std::vector<std::string>;

namespace {

// A stand-in double-byte code page: every byte from 0x81 starts a pair, so a
// second byte may be any byte, "=" included.
bool FakeLead(unsigned char byte) { return byte >= 0x81; }

TEST(SplitString, PiecesBetweenDelimiters) {
  struct Case { std::string text, delimiter; Pieces expected; };
  const Case cases[] = {
      {"", "=", {""}},
      {"A", "=", {"A"}},
      {"A=", "=", {"A", ""}},
      {"=", "=", {"", ""}},
      {"A=B=C", "=", {"A", "B", "C"}},
      {"\x81=B", "=", {"\x81=B"}},            // "=" as a second byte does not split
      {"a\x81\x40=b", "=", {"a\x81\x40", "b"}},
      {"a=\x81", "=", {"a", "\x81"}},          // a lead byte at the very end stays
      {"A=B", "==", {"A=B"}},                  // a longer delimiter never matches
      {"A=B", "", {"A=B"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitString(c.text, c.delimiter, FakeLead), c.expected) << c.text;
}

TEST(SplitString, UsesTheAnsiCodePageByDefault) {
  const std::string name = Ansi(u"名稱"), value = Ansi(u"值");
  EXPECT_EQ(SplitString(name + "=" + value, "="), (Pieces{name, value}));
}

TEST(IntegerText, AcceptedForms) {
  struct Case { const char* text; std::int32_t value; };
  const Case cases[] = {
      {"0", 0}, {"12", 12}, {"0010", 10}, {"  12", 12}, {"+7", 7}, {"-7", -7},
      {"$1F", 31}, {"x1", 1}, {"X1", 1}, {"0x10", 16}, {"0X1f", 31}, {"-$1", -1}, {"-x10", -16},
      {"$FFFFFFFF", -1}, {"$00000000FF", 255}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
  };
  for (const Case& c : cases) {
    std::int32_t value = 12345;
    EXPECT_TRUE(TryStrToInt(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(IntegerText, RejectedForms) {
  const char* cases[] = {"", " ", "abc", "12 ", "1a", "\t1", "1.0", "--1", "+", "-", "$", "x", "0x",
                         "$-1", "0x-1", "$G", "2147483648", "-2147483649", "$100000000", "99999999999"};
  for (const char* text : cases) {
    std::int32_t value = 0;
    EXPECT_FALSE(TryStrToInt(text, value)) << text;
  }
  try {
    StrToInt("abc");
    ADD_FAILURE() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
}

TEST(CommandLineArguments, ItemsAfterTheProgramName) {
  struct Case { std::string line; Pieces expected; };
  const Case cases[] = {
      {"", {}},
      {"prog", {}},
      {"prog OPT=1 SRC=abc", {"OPT=1", "SRC=abc"}},
      {"\"C:\\Program Files\\qelt.exe\" OPT=4", {"OPT=4"}},
      {"prog SRC=\"a b\"", {"SRC=a b"}},
      {"prog \t OPT=1\x01SRC=2  ", {"OPT=1", "SRC=2"}},
      {"prog \"\"OPT=1", {"OPT=1"}},
      {"prog \"\" \"\" OPT=1", {"OPT=1"}},   // leading pairs dropped, blanks and all
      {"prog a\"\"b \"a\"\"b\"", {"ab", "ab"}},
      {"prog \"OPT=1", {"OPT=1"}},            // an open quote runs to the end
      {"prog A \" B", {"A", " B"}},
      {"prog A \"", {"A"}},                   // the first empty item ends the list
      {std::string("prog A\0B", 8), {"A"}},
      {"prog \xA4\xA4=1 //nologo --gtest_filter=A.*", {"\xA4\xA4=1", "//nologo", "--gtest_filter=A.*"}},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandLineArguments(c.line), c.expected) << c.line;
}

// Fields of a parsed record, in one line for comparing.
std::string Fields(const TParams& p) {
  return "opt=" + std::to_string(p.opt()) + " cert=" + std::to_string(p.certType()) +
         " sig=" + std::to_string(p.signTyp()) + " src=" + p.src() + " file=" + p.signfile() +
         " pin=" + p.pin() + " url=" + p.url() + " uinfo=" + p.uinfo();
}

TEST(ParseArguments, FillsTheRecord) {
  const std::string defaults = Fields(TParams());
  struct Case { Pieces args; std::string expected; };
  const Case cases[] = {
      {{}, defaults},
      {{"OPT=1", "SRC=abc", "UINFO=u", "SIG=out.txt", "PIN=1234"},
       "opt=1 cert=0 sig=0 src=abc file=out.txt pin=1234 url= uinfo=u"},
      {{"opt=8", "pin=aBc"}, "opt=8 cert=0 sig=0 src= file= pin=aBc url= uinfo="},
      {{"Src=a=b"}, "opt=0 cert=0 sig=0 src=a file= pin= url= uinfo="},
      {{"SRC=1", "SRC=2"}, "opt=0 cert=0 sig=0 src=2 file= pin= url= uinfo="},
      {{"SRC=x", "SRC="}, defaults},
      {{"OPT=257"}, "opt=1 cert=0 sig=0 src= file= pin= url= uinfo="},
      {{"OPT=x1"}, "opt=1 cert=0 sig=0 src= file= pin= url= uinfo="},
      {{"OPT=256"}, defaults},
      {{"OPT=-1", "CERTTYP=$102", "SIGTYP= 3"}, "opt=255 cert=2 sig=3 src= file= pin= url= uinfo="},
      {{"URL=http://h/x?a=b"}, "opt=0 cert=0 sig=0 src= file= pin= url=http://h/x?a uinfo="},
      {{"SRC=\x81=x"}, "opt=0 cert=0 sig=0 src=\x81=x file= pin= url= uinfo="},
      {{"HELLO", "--gtest_filter=A.B", "//nologo", "C:\\x.js", "http://host/page?a=1"}, defaults},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(Fields(*ParseArguments(c.args, FakeLead)), c.expected) << joined;
  }
}

TEST(ParseArguments, Failures) {
  struct Case { Pieces args; std::string message; };
  const Case cases[] = {
      {{"SIG"}, "List index out of bounds (1)"},
      {{"OPT=1", "pin"}, "List index out of bounds (1)"},
      {{"OPT=abc"}, "'abc' is not a valid integer value"},
      {{"OPT="}, "'' is not a valid integer value"},
      {{"CERTTYP=1.5"}, "'1.5' is not a valid integer value"},
      {{"SIGTYP=a=b"}, "'a' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    try {
      ParseArguments(c.args, FakeLead);
      ADD_FAILURE() << c.args[0] << ": no failure";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(WithFullStop, AppendsUnlessTheLastCharacterSortsAtOrBeforeTheStop) {
  struct Case { std::string message, expected; };
  const Case cases[] = {
      {"", ""},
      {"abc", "abc."},
      {"abc.", "abc."},
      {"I/O error 105", "I/O error 105."},
      {"(1)", "(1)"},
      {"a-", "a-"},
      {"a/", "a/."},
      {"\x81\x40", "\x81\x40."},
      {"x\x81!", "x\x81!."},   // the last character is the pair, not its "!"
  };
  for (const Case& c : cases) EXPECT_EQ(WithFullStop(c.message, FakeLead), c.expected) << c.message;
}

}  // namespace
