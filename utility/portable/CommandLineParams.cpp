#include "CommandLineParams.h"

#include "Exception.h"
#include "IntegerText.h"

namespace qelt {
namespace {

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::uint8_t LowByte(const std::string& value) { return static_cast<std::uint8_t>(StrToInt(value) & 0xFF); }

using Setter = void (*)(TParams&, const std::string&);

struct Key {
  const char* name;
  Setter set;
};

const Key kKeys[] = {
    {"OPT", [](TParams& p, const std::string& v) { p.set_opt(static_cast<TOpeation>(LowByte(v))); }},
    {"SRC", [](TParams& p, const std::string& v) { p.set_src(v); }},
    {"SIG", [](TParams& p, const std::string& v) { p.set_signfile(v); }},
    {"PIN", [](TParams& p, const std::string& v) { p.set_pin(v); }},
    {"CERTTYP", [](TParams& p, const std::string& v) { p.set_certType(static_cast<TCertType>(LowByte(v))); }},
    {"SIGTYP", [](TParams& p, const std::string& v) { p.set_signTyp(static_cast<TSignType>(LowByte(v))); }},
    {"URL", [](TParams& p, const std::string& v) { p.set_url(v); }},
    {"UINFO", [](TParams& p, const std::string& v) { p.set_uinfo(v); }},
};

}  // namespace

std::unique_ptr<TParams> ParseArguments(const std::vector<std::string>& arguments, LeadByteTest isLeadByte) {
  auto record = std::make_unique<TParams>();
  for (const std::string& argument : arguments) {
    const std::vector<std::string> pieces = SplitString(argument, "=", isLeadByte);
    const std::string key = AsciiUpper(pieces[0]);
    for (const Key& k : kKeys) {
      if (key != k.name) continue;
      // A known key without "=" has no value piece to read.
      if (pieces.size() < 2) throw Exception("List index out of bounds (1)");
      k.set(*record, pieces[1]);
    }
  }
  return record;
}

}  // namespace qelt
