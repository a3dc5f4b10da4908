// Where the host's settings live in the registry: the one place that names
// them (the policy templates and the tests read these too).
#pragma once

namespace qelt::bridge::names {

// HKEY_LOCAL_MACHINE, read in the 64-bit view by both hosts.
constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\QELTReader\\Bridge";
constexpr const char* kAllowedOrigins = "AllowedOrigins";    // REG_MULTI_SZ
constexpr const char* kBlockedOrigins = "BlockedOrigins";    // REG_MULTI_SZ
constexpr const char* kPromptForOthers = "PromptForOthers";  // REG_DWORD, default 1
// PIN operations: 0 refuses a PIN handed over by a page (default 1); 1 keeps
// sign-in and signing to the origins AllowedOrigins lists (default 0).
constexpr const char* kPinFromPages = "PinFromPages";      // REG_DWORD
constexpr const char* kSigningOrigins = "SigningOrigins";  // REG_DWORD
// The proxy of every control, when ProxyServer exists.
constexpr const char* kProxyServer = "ProxyServer";  // REG_SZ
constexpr const char* kProxyPort = "ProxyPort";      // REG_DWORD
constexpr const char* kProxyUser = "ProxyUser";      // REG_SZ
constexpr const char* kProxyPass = "ProxyPass";      // REG_SZ

// HKEY_CURRENT_USER: the person's Yes, for good.
constexpr const char* kUserKey = "Software\\QELTReader\\Bridge";
constexpr const char* kApprovedOrigins = "ApprovedOrigins";  // REG_MULTI_SZ
// A volatile key under it: the person's No, until logoff.
constexpr const char* kThisLogonKey = "Software\\QELTReader\\Bridge\\ThisLogon";
constexpr const char* kRefusedOrigins = "RefusedOrigins";  // REG_MULTI_SZ
// Boxes nobody answered: "ORIGIN SECONDS-SINCE-1970", each kept ten minutes.
constexpr const char* kUnansweredOrigins = "UnansweredOrigins";  // REG_MULTI_SZ

}  // namespace qelt::bridge::names
