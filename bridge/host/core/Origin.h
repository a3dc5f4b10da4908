// Web origins as the host compares them: scheme://host[:port], lower-case,
// the default port dropped, the host in ASCII (Punycode).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace qelt::bridge {

struct Origin {
  std::string scheme;     // "http" or "https"
  std::string host;       // for a wildcard entry, the part after "*."
  int port = 0;           // 0: the scheme's default
  bool wildcard = false;  // "https://*.example.org": subdomains of host only

  std::string Text() const;
};

// Parses an origin as a browser reports it or, with allowWildcard, as a
// policy lists it. Nothing, with the reason in problem, for anything that is
// not an http or https origin: "null", file:, extension schemes, a path,
// user info, a query, a bad host or port.
std::optional<Origin> ParseOrigin(std::string_view text, bool allowWildcard, std::string* problem = nullptr);

// localhost, 127.0.0.1 or [::1]: the hosts plain http may be admitted for.
bool IsLoopbackHost(const std::string& host);

// Whether a policy entry covers the origin (an exact origin, or a wildcard
// matching at a label boundary with the same scheme and port).
bool EntryMatches(const Origin& entry, const Origin& origin);

// A BlockedOrigins entry: a host name, blocked on every scheme and port.
struct BlockRule {
  bool everything = false;  // "*"
  std::string host;         // canonical, as in an origin
  bool subdomains = false;  // "*.host": the host and every name under it
};

// An origin ("https://evil.example:8443"), a bare host name ("evil.example"),
// "*.host", "https://*.host" or "*"; nothing for anything else. Whitespace
// around the entry does not count.
std::optional<BlockRule> ParseBlockRule(std::string_view text);

bool BlockMatches(const BlockRule& rule, const Origin& origin);

}  // namespace qelt::bridge
