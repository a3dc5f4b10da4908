// The host's side of the protocol between the browser extension and the
// native host: message types, field names, limits, numbers and reason codes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qelt::bridge {

constexpr int kProtocolVersion = 1;

// Frames from the browser: at most 1 MiB of JSON. Replies: at most the
// browsers' own limit for a message from a native host.
constexpr std::size_t kMaxFrameLength = 1024 * 1024;
constexpr std::size_t kMaxReplyLength = 1024 * 1024;
// Nesting deeper than this ends the connection: no message of the protocol
// comes near it, and the JSON library's tree must stay shallow.
constexpr int kMaxJsonDepth = 8;
// Ids are what a page's script can count exactly.
constexpr std::uint64_t kMaxId = std::uint64_t{1} << 53;
// What one call may carry: no member of the control takes more than a few
// arguments or a text anywhere near this long.
constexpr std::size_t kMaxArguments = 8;
constexpr std::size_t kMaxStringUnits = 4096;  // UTF-16 code units
// Raw frames read and not yet answered: beyond this the reader waits and the
// pipe holds the rest.
constexpr std::size_t kMaxWaitingBytes = 4 * 1024 * 1024;
// An origin whose box nobody answered is not asked about again for this long.
constexpr long long kUnansweredMemorySeconds = 10 * 60;
// A sign-in's challenge: Base64 or Base64url of at least 32 random bytes.
constexpr std::size_t kMinChallenge = 43;
constexpr std::size_t kMaxChallenge = 128;
// A text to sign, in UTF-16 code units.
constexpr std::size_t kMaxSignText = 16384;
// The first PIN operation of a connection may use the hello's gesture this
// long after ready: the consent box may have taken the gesture's seconds.
constexpr unsigned long long kActivationGraceMs = 60 * 1000;

namespace type {
constexpr const char* kHello = "hello";
constexpr const char* kReady = "ready";
constexpr const char* kRefused = "refused";
constexpr const char* kUnavailable = "unavailable";
constexpr const char* kCall = "call";
constexpr const char* kPut = "put";
constexpr const char* kResult = "result";
constexpr const char* kError = "error";
constexpr const char* kAuthenticate = "authenticate";
constexpr const char* kSign = "sign";
}  // namespace type

namespace field {
constexpr const char* kType = "type";
constexpr const char* kProtocol = "protocol";
constexpr const char* kOrigin = "origin";
constexpr const char* kTopLevel = "topLevel";
constexpr const char* kUserActivation = "userActivation";
constexpr const char* kManagedProxy = "managedProxy";
constexpr const char* kFeatures = "features";
constexpr const char* kChallenge = "challenge";
constexpr const char* kText = "text";
constexpr const char* kId = "id";
constexpr const char* kMember = "member";
constexpr const char* kArgs = "args";
constexpr const char* kValue = "value";
constexpr const char* kNumber = "number";
constexpr const char* kDescription = "description";
constexpr const char* kReason = "reason";
constexpr const char* kVersion = "version";
constexpr const char* kArch = "arch";
}  // namespace field

// Why a connection was refused (the "reason" of a refused reply).
namespace reason {
constexpr const char* kOrigin = "origin";      // not an origin that may use the card at all
constexpr const char* kPolicy = "policy";      // the administrator's policy
constexpr const char* kFrame = "frame";        // a frame that is not top-level, not admitted
constexpr const char* kPerson = "person";      // the person answered No
constexpr const char* kTimeout = "timeout";    // the box was not answered in time
constexpr const char* kHello = "hello";        // the first frame was not a valid hello
constexpr const char* kProtocol = "protocol";  // a protocol version this host does not speak
constexpr const char* kActivation = "activation";  // the person did not ask: no box without a gesture
constexpr const char* kBusy = "busy";              // a PIN operation is already waiting
constexpr const char* kCancelled = "cancelled";    // the person cancelled the PIN dialog
}  // namespace reason

// What ready offers beyond the control's members.
namespace feature {
constexpr const char* kAuthenticate = "authenticate";
constexpr const char* kSign = "sign";
constexpr const char* kPinDialog = "pinDialog";
}  // namespace feature

// The tokens' formats, and the to-be-signed text's header before the origin.
namespace format {
constexpr const char* kAuth = "qelt-auth:1";
constexpr const char* kSign = "qelt-sign:1";
}  // namespace format

// HRESULTs as the replies carry them: signed 32-bit.
namespace number {
constexpr std::int32_t kAccessDenied = -2147024891;        // E_ACCESSDENIED
constexpr std::int32_t kInvalidArg = -2147024809;          // E_INVALIDARG
constexpr std::int32_t kUnknownName = -2147352570;         // DISP_E_UNKNOWNNAME
constexpr std::int32_t kInsufficientBuffer = -2147024774;  // HRESULT of ERROR_INSUFFICIENT_BUFFER
constexpr std::int32_t kUnexpected = -2147418113;          // E_UNEXPECTED, the control's failures
constexpr std::int32_t kBusy = -2147024726;                // HRESULT of ERROR_BUSY
constexpr std::int32_t kCancelled = -2147023673;           // HRESULT of ERROR_CANCELLED
constexpr std::int32_t kTimeout = -2147023436;             // HRESULT of ERROR_TIMEOUT
}  // namespace number

// The host's exit codes.
namespace exit_code {
constexpr int kEndOfInput = 0;
constexpr int kRefused = 1;  // refused or control unavailable
constexpr int kProtocol = 2;  // a peer that broke the protocol
constexpr int kOutOfMemory = 3;
}  // namespace exit_code

}  // namespace qelt::bridge
