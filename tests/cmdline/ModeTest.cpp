// The command-line mode as a host process meets it: arguments in, standard
// output through a pipe, failures in a modal box.
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TestSupport.h"
#include "win/Text.h"

using namespace qelt::test;

namespace {

struct Outcome {
  std::string out;  // standard output
  std::string err;  // what the child reports: "opt=N" and its boxes
};

class Mode : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterVirtualCard(); }
  Outcome Child(const std::string& arguments) {
    Outcome run;
    const std::string line = "\"" + qelt::win::WideToAnsi(WinPath(QELT_MODE_CHILD)) + "\" " + arguments;
    EXPECT_EQ(RunProcess(line, run.out, run.err), 0u) << line;
    return run;
  }
  static std::string Opt(int value) { return "opt=" + std::to_string(value) + "\n"; }
  static std::string Box(const std::u16string& text) { return "box=QELTReader|" + Ansi(text) + "\n"; }
  void SetUp() override {
    SetEnvironmentVariableW(L"QELT_CARD_PROFILE", WinPath(QELT_CARDS_DIR "/citizen/card.profile").c_str());
  }
  void TearDown() override { SetEnvironmentVariableW(L"QELT_CARD_PROFILE", nullptr); }
  TempFolder folder_;
};

TEST_F(Mode, OrdinaryArgumentsPassSilently) {
  const char* lines[] = {"", "OPT=0", "OPT=9", "OPT=256", "HELLO", "--gtest_filter=Mode.* --gtest_color=no",
                         "//nologo C:\\scripts\\page.js", "http://host/page?a=1", "\"\""};
  for (const char* arguments : lines) {
    const Outcome run = Child(arguments);
    EXPECT_EQ(run.out, "") << arguments;
    EXPECT_EQ(run.err.substr(run.err.find('\n') + 1), "") << arguments;
  }
}

TEST_F(Mode, KeysInAnyCaseRunTheOperation) {
  EXPECT_EQ(Child("opt=8 pin=1234").out, Ansi(u"檢查通過") + "\r\n");
  EXPECT_EQ(Child("OPT=x8 PIN=1234").out, Ansi(u"檢查通過") + "\r\n");
}

TEST_F(Mode, FailuresShowABoxAndPrintNothing) {
  struct Case { const char* arguments; std::string err; };
  const Case cases[] = {
      {"OPT=8 PIN=0000", Opt(8) + Box(u"PinCode錯誤.")},
      {"OPT=abc", Opt(0) + Box(u"'abc' is not a valid integer value.")},
      {"OPT=8 SIG", Opt(0) + Box(u"List index out of bounds (1)")},  // no record installed
  };
  for (const Case& c : cases) {
    const Outcome run = Child(c.arguments);
    EXPECT_EQ(run.out, "") << c.arguments;
    EXPECT_EQ(run.err, c.err) << c.arguments;
  }
  const Outcome verify = Child("OPT=2");  // no signature file named
  EXPECT_EQ(verify.out, "");
  EXPECT_EQ(verify.err.rfind(Opt(2) + "box=QELTReader|Cannot open file \"\". ", 0), 0u) << verify.err;
}

TEST_F(Mode, SignsIntoAFileAndPrintsTheResult) {
  const std::string file = qelt::win::WideToAnsi(folder_.File(L"out.txt"));
  const Outcome run = Child("OPT=1 SRC=\"a b\" UINFO=u SIG=\"" + file + "\" PIN=1234");
  EXPECT_EQ(run.out, Ansi(u"簽章完成") + "\r\n");
  EXPECT_EQ(run.err, Opt(1));
  EXPECT_EQ(GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES, true);
}

TEST_F(Mode, LongOutputReachesAPipeWhole) {
  const Outcome run = Child("OPT=257 SRC=abc PIN=1234");  // 257 keeps its low 8 bits: Sign
  ASSERT_GT(run.out.size(), 1000u);
  EXPECT_EQ(run.out.find_first_of("\r\n"), run.out.size() - 2);
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n");
}

TEST_F(Mode, WithoutStandardOutputTheOperationRunsAndTheBoxSaysSo) {
  const std::string file = qelt::win::WideToAnsi(folder_.File(L"out.txt"));
  SetEnvironmentVariableA("QELT_TEST_NO_STDOUT", "1");
  const Outcome run = Child("OPT=1 SRC=abc SIG=\"" + file + "\" PIN=1234");
  SetEnvironmentVariableA("QELT_TEST_NO_STDOUT", nullptr);
  EXPECT_EQ(run.err, Opt(1) + Box(u"I/O error 105."));
  EXPECT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);  // the operation's effect stays
}

}  // namespace
