#include "WinHttpPost.h"

#include <windows.h>
#include <winhttp.h>

#include "Exception.h"
#include "win/Resources.h"

namespace qelt::bench {

namespace {

struct CloseInternetFn { void operator()(HINTERNET h) const { ::WinHttpCloseHandle(h); } };
using UniqueInternet = win::Unique<HINTERNET, nullptr, CloseInternetFn>;

[[noreturn]] void ThrowLastError(const char* call) {
  throw Exception(std::string(call) + " failed: error " + std::to_string(::GetLastError()));
}

HINTERNET Checked(HINTERNET handle, const char* call) {
  if (!handle) ThrowLastError(call);
  return handle;
}

}  // namespace

WinHttpReply WinHttpPost(const std::wstring& host, uint16_t port, const std::wstring& path,
                         const std::string& body) {
  const UniqueInternet session(Checked(
      ::WinHttpOpen(L"qelt-benchmark", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                    WINHTTP_NO_PROXY_BYPASS, 0),
      "WinHttpOpen"));
  const UniqueInternet connection(
      Checked(::WinHttpConnect(session.get(), host.c_str(), port, 0), "WinHttpConnect"));
  const UniqueInternet request(Checked(
      ::WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0),
      "WinHttpOpenRequest"));

  // Same content type as HttpPost sends, so both requests carry alike heads.
  const DWORD size = static_cast<DWORD>(body.size());
  if (!::WinHttpSendRequest(request.get(), L"Content-Type: text/html\r\n", static_cast<DWORD>(-1),
                            const_cast<char*>(body.data()), size, size, 0)) {
    ThrowLastError("WinHttpSendRequest");
  }
  if (!::WinHttpReceiveResponse(request.get(), nullptr)) ThrowLastError("WinHttpReceiveResponse");

  WinHttpReply reply;
  DWORD statusSize = sizeof reply.status;
  if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &reply.status, &statusSize,
                             WINHTTP_NO_HEADER_INDEX)) {
    ThrowLastError("WinHttpQueryHeaders");
  }
  char buffer[32768];
  for (;;) {
    DWORD got = 0;
    if (!::WinHttpReadData(request.get(), buffer, sizeof buffer, &got)) ThrowLastError("WinHttpReadData");
    if (got == 0) break;
    reply.body.append(buffer, got);
  }
  return reply;
}

}  // namespace qelt::bench
