// A host program started as a browser starts a native messaging host: its
// standard input and output are pipes of the benchmark's, frames both ways.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "Exception.h"
#include "Framing.h"
#include "win/Resources.h"

namespace qelt::bench {

using Json = nlohmann::json;

// The origin the benchmarks' policy (run.sh) admits.
inline constexpr const char* kOrigin = "https://bench.example";

inline void Check(HRESULT hr, const std::string& what) {
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    throw Exception(what + " failed: 0x" + code);
  }
}

class PipeSource : public bridge::ByteSource {
 public:
  explicit PipeSource(HANDLE pipe) : pipe_(pipe) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    if (!::ReadFile(pipe_, buffer, static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20)), &got, nullptr))
      return 0;
    return got;
  }

 private:
  HANDLE pipe_;
};

// An anonymous pipe whose ends a child may inherit, except ours.
struct Pipe {
  win::UniqueHandle read, write;
};
inline Pipe MakePipe(bool oursIsRead) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  Pipe pipe;
  if (!::CreatePipe(pipe.read.put(), pipe.write.put(), &inheritable, 0)) throw Exception("CreatePipe failed");
  ::SetHandleInformation((oursIsRead ? pipe.read : pipe.write).get(), HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

// A host program as a browser runs it: its standard input and output are
// pipes of ours, its standard error is ours.
class Host {
 public:
  Host(const std::wstring& program, std::string name)
      : name_(std::move(name)), toHost_(MakePipe(false)), fromHost_(MakePipe(true)), source_(fromHost_.read.get()) {
    win::UniqueHandle error;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetStdHandle(STD_ERROR_HANDLE), ::GetCurrentProcess(), error.put(),
                      0, TRUE, DUPLICATE_SAME_ACCESS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = toHost_.read.get();
    startup.hStdOutput = fromHost_.write.get();
    startup.hStdError = error.get();
    std::wstring commandLine = L"\"" + program + L"\"";
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &started))
      throw Exception("starting " + name_ + " failed: error " + std::to_string(::GetLastError()));
    process_.reset(started.hProcess);
    processId_ = started.dwProcessId;
    win::UniqueHandle thread(started.hThread);
    // Only the host holds its ends now: its exit ends our reads.
    toHost_.read.reset();
    fromHost_.write.reset();
  }

  ~Host() {
    if (process_ && End(5000) == STILL_ACTIVE) ::TerminateProcess(process_.get(), 3);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::string& Name() const { return name_; }
  DWORD ProcessId() const { return processId_; }

  // The hello, as after a person's click when userActivation; returns the
  // ready reply.
  Json Hello(bool userActivation = false) {
    Json hello = {{"type", "hello"}, {"protocol", 1}, {"origin", kOrigin}, {"topLevel", true}};
    if (userActivation) hello["userActivation"] = true;
    Send(hello.dump());
    Json reply = Receive();
    if (reply.value("type", "") != "ready") throw Exception(name_ + " did not admit " + kOrigin + ": " + reply.dump());
    return reply;
  }

  // One call's round trip: its result's value.
  Json Call(const char* member) {
    const std::uint64_t id = NextId();
    Send(R"({"type":"call","id":)" + std::to_string(id) + R"(,"member":")" + member + R"(","args":[]})");
    return ResultOf(Receive(), id, member);
  }

  // A request's id: one more than the last.
  std::uint64_t NextId() { return ++lastId_; }

  // The value of a reply that must be the result of request id.
  Json ResultOf(Json reply, std::uint64_t id, const std::string& what) const {
    const auto found = reply.find("id");
    if (reply.value("type", "") != "result" || found == reply.end() || *found != id)
      throw Exception(name_ + ": " + what + " answered " + reply.dump());
    return std::move(reply["value"]);
  }

  void Send(const std::string& message) {
    const std::string frame = bridge::EncodeFrame(message);
    DWORD written = 0;
    if (!::WriteFile(toHost_.write.get(), frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr) ||
        written != frame.size())
      throw Exception(name_ + " stopped reading");
  }

  // The next message; waits for it.
  Json Receive() {
    bridge::Frame reply = reader_.Next();
    if (reply.kind != bridge::Frame::Kind::kMessage)
      throw Exception(name_ + " sent no reply" + (reply.reason.empty() ? "" : ": " + reply.reason));
    return Json::parse(reply.payload);
  }

  // Ends the input, as a browser closing the port; the exit code, or
  // STILL_ACTIVE when the process did not end in time.
  DWORD End(DWORD waitMs) {
    toHost_.write.reset();
    ::WaitForSingleObject(process_.get(), waitMs);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  std::string name_;
  Pipe toHost_, fromHost_;
  PipeSource source_;
  bridge::FrameReader reader_{source_};
  win::UniqueHandle process_;
  DWORD processId_ = 0;
  std::uint64_t lastId_ = 0;
};

inline void PrintReady(const Host& host, const Json& ready) {
  std::printf("%s ready: version %s, %s\n", host.Name().c_str(), ready.value("version", "?").c_str(),
              ready.value("arch", "?").c_str());
}

// Ends the host's input; false, said, when it did not exit with 0.
inline bool EndedWell(Host& host) {
  const DWORD code = host.End(10000);
  if (code == 0) return true;
  std::printf("%s: exit code %lu at the end of input (expected 0)\n", host.Name().c_str(), code);
  return false;
}

}  // namespace qelt::bench
