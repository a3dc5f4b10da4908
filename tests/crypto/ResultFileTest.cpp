// Result files: the new content replaces the old one whole, or the old one stays.
#include "CardFixture.h"
#include "UtilityObject.h"

using namespace qelt;
using namespace qelt::test;

namespace {

class ResultFile : public CardTest {
 protected:
  std::string Save(const std::string& name, const std::string& value) {
    TfrmQELTUtility utility;
    utility.param()->set_signfile(name);
    return FailureOf([&] { utility.SaveResult(value); });
  }
  CardProfile card_{CardText("citizen")};
  const std::string target_ = AnsiPath(folder_, L"result.txt");
};

TEST_F(ResultFile, ReplacesTheFileWithTheValueAndCrLf) {
  WriteBytes(target_, std::string(1000, 'x'));
  EXPECT_EQ(Save(target_, "abc"), "(no failure)");
  EXPECT_EQ(ReadBytes(target_), "abc\r\n");
  EXPECT_EQ(Save(target_, ""), "(no failure)");
  EXPECT_EQ(ReadBytes(target_), "\r\n");
  EXPECT_EQ(FilesIn(folder_), std::vector<std::wstring>{L"result.txt"});  // nothing left beside it
}

TEST_F(ResultFile, AFailedReplacementKeepsTheOldFile) {
  const std::string prefix = "Cannot create file \"" + target_ + "\". ";
  WriteBytes(target_, "old");

  // Held open by someone who lets nobody delete or rename it.
  HANDLE holder = CreateFileA(target_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const std::string held = Save(target_, "new");
  CloseHandle(holder);
  EXPECT_EQ(held.rfind(prefix, 0), 0u) << held;
  EXPECT_GT(held.size(), prefix.size()) << "the system's text follows";
  EXPECT_EQ(ReadBytes(target_), "old");
  EXPECT_EQ(FilesIn(folder_), std::vector<std::wstring>{L"result.txt"});

  // A folder that does not exist: the message names the file, not a temporary one.
  const std::string missing = AnsiPath(folder_, L"no\\such\\result.txt");
  const std::string message = Save(missing, "new");
  EXPECT_EQ(message, "Cannot create file \"" + missing + "\". " + win::SystemMessage(ERROR_PATH_NOT_FOUND));

  // A folder in the file's place stays, and the refusal is the system's.
  const std::string folderInPlace = AnsiPath(folder_, L"taken");
  ASSERT_TRUE(CreateDirectoryA(folderInPlace.c_str(), nullptr));
  EXPECT_EQ(Save(folderInPlace, "new"),
            "Cannot create file \"" + folderInPlace + "\". " + win::SystemMessage(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFileAttributesA(folderInPlace.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST_F(ResultFile, SignAndEncryptWriteOnlyAfterTheCardSucceeds) {
  WriteBytes(target_, "old");
  TfrmQELTUtility utility;
  utility.param()->set_signfile(target_);
  utility.param()->set_pin("0000");
  EXPECT_EQ(FailureOf([&] { utility.Sign(); }), Ansi(u"PinCode錯誤"));
  EXPECT_EQ(ReadBytes(target_), "old");
  utility.param()->set_pin("1234");
  EXPECT_EQ(utility.Sign(), Ansi(u"簽章完成"));
  EXPECT_NE(ReadBytes(target_), "old");
}

}  // namespace
