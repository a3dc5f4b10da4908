// Fuzz entry for the XML parser and the navigator: load the bytes, walk the
// tree, ask a few paths (one of them made from the input itself).
#include <cstddef>
#include <cstdint>
#include <string>

#include "Exception.h"
#include "XMLTool.h"

namespace {

size_t Walk(qelt::xml::Node node, size_t depth) {
  size_t n = node.Value().size() + node.LocalName().size();
  const qelt::xml::NodeList attrs = node.Attributes();
  for (size_t i = 0; i < attrs.Count(); ++i) n += attrs.Item(i).Value().size();
  const qelt::xml::NodeList kids = node.ChildNodes();
  for (size_t i = 0; i < kids.Count() && depth < 2000; ++i) n += Walk(kids.Item(i), depth + 1);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  qelt::TXMLTool tool;
  try {
    tool.LoadFromText(bytes);
  } catch (const qelt::Exception&) {
  }
  volatile size_t sink = Walk(tool.Document().DocumentNode(), 0);
  std::u16string own;
  for (size_t i = size > 24 ? size - 24 : 0; i < size; ++i) own += static_cast<char16_t>(data[i]);
  static const char16_t* const kPaths[] = {u"/",       u"/CertBaseInfo//", u"Name",  u"Name[1]",
                                           u"@id//",   u"a/../b",          u"/../x", u" x [2] /@y[1]"};
  for (bool raise : {false, true}) {
    tool.RaiseErrors = raise;
    for (const char16_t* path : kPaths) {
      try {
        sink = sink + tool.GetValue(path).text.size();
      } catch (const qelt::Exception&) {
      }
    }
    try {
      sink = sink + tool.GetValue(own).text.size();
    } catch (const qelt::Exception&) {
    }
  }
  (void)sink;
  return 0;
}
