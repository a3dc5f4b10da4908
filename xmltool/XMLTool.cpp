// The path language over the node tree: base path, "/../", "//", indexes and
// attribute steps, and the forgiving failure rule.
#include "XMLTool.h"

#include "CodePage.h"
#include "Exception.h"

namespace qelt {
namespace {

using std::u16string;

u16string Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return u16string(s.substr(b, e - b));
}

bool EndsWith(const u16string& s, char16_t c) { return !s.empty() && s.back() == c; }

bool Contains(const u16string& s, std::u16string_view part) { return s.find(part) != u16string::npos; }

// A decimal index with an optional sign; 0 when the text is not one.
long long IndexOf(std::u16string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  if (i == s.size()) return 0;
  long long n = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9' || n > 100000000000LL) return 0;
    n = n * 10 + (s[i] - u'0');
  }
  return negative ? -n : n;
}

}  // namespace

TXMLTool::TXMLTool() : document_(u"1.0") { Reset(); }

void TXMLTool::Reset() {
  document_.Close();
  document_.ClearSource();
  basePath_.clear();
  document_.Open();
  document_.SetStandalone(u"yes");
  document_.SetVersion(u"1.0");
  document_.SetEncoding(u"UTF-8");
  document_.SetOptions(xml::kAutoIndent);
  document_.SetIndent(u"\t");
}

void TXMLTool::LoadFromText(const std::string& text) {
  Reset();
  document_.LoadFromBytes(text);
}

XmlValue TXMLTool::GetValue(const u16string& path) {
  XmlValue result;
  try {
    const xml::Node node = LocateNode(ResolvePath(path));
    if (HasValue(node)) {
      result.text = node.Value();
      result.isNull = result.text.empty();
    }
  } catch (const std::exception&) {
    if (RaiseErrors) throw;
  }
  return result;
}

u16string TXMLTool::ResolvePath(const u16string& path) {
  u16string full;
  if (path.empty()) full = basePath_;
  else if (path[0] == u'/') full = path;
  else full = basePath_ + u"/" + path;

  for (size_t at; (at = full.find(u"/../")) != u16string::npos;) {
    if (at == 0) {
      full.erase(0, 4);
      continue;
    }
    const size_t slash = full.rfind(u'/', at - 1);
    const u16string kept = slash == u16string::npos ? u16string() : full.substr(0, slash + 1);
    full = kept + full.substr(at + 4);
  }

  const size_t twice = full.find(u"//");
  if (twice != u16string::npos) {
    basePath_ = full.substr(0, twice);
    if (!LastStep(basePath_).empty() && LastStep(basePath_)[0] == u'@') basePath_ = ParentPath(basePath_);
    for (size_t at; (at = full.find(u"//")) != u16string::npos;) full.erase(at, 1);
  }

  if (!full.empty() && full != u"/" && full.back() == u'/') full.pop_back();
  return full;
}

xml::Node TXMLTool::LocateNode(const u16string& fullPath) {
  try {
    if (!document_.IsOpen()) document_.Open();
    const xml::Node root = document_.DocumentNode();
    if (fullPath == u"/") return root;
    xml::Node current = root, found = root;
    u16string rest = fullPath;
    while (!rest.empty() && current) {
      const u16string step = Trim(NextToken(rest));
      if (step.empty()) return xml::Node();
      const bool indexed = EndsWith(step, u']') && Contains(step, u"[");
      if (step[0] == u'@') {
        u16string name = step.substr(1);
        found = current.Attributes().FindByName(name);
        if (!found && indexed) {
          do {
            name = Trim(std::u16string_view(name).substr(0, name.rfind(u'[')));
            found = current.Attributes().FindByName(name);
          } while (!found && Contains(name, u"["));
        }
      } else {
        found = ChildByName(current, step, 0);
        if (!found && indexed) {
          u16string name = step;
          do {
            const size_t open = name.rfind(u'[');
            const size_t length = name.size() >= open + 2 ? name.size() - open - 2 : 0;
            const long long index = IndexOf(std::u16string_view(name).substr(open + 1, length));
            name = Trim(std::u16string_view(name).substr(0, open));
            found = ChildByName(current, name, index);
          } while (!found && Contains(name, u"["));
        }
      }
      current = found;
    }
    if (!found) throw Exception(cp::Utf16ToAnsi(u"Node 不存在."));
    return found;
  } catch (const std::exception& e) {
    if (!RaiseErrors) return xml::Node();
    throw Exception(cp::Utf16ToAnsi(u"讀取 XML Node \"" + fullPath + u"\" 時發生錯誤: \r") + e.what());
  }
}

bool TXMLTool::HasValue(xml::Node node) {
  switch (node.Type()) {
    case xml::NodeType::Attribute: return true;
    case xml::NodeType::Element: return node.IsTextElement();
    default: return false;
  }
}

xml::Node TXMLTool::ChildByName(xml::Node node, std::u16string_view name, long long index) {
  const xml::NodeList children = node.ChildNodes();
  for (size_t i = 0; i < children.Count(); ++i) {
    const xml::Node child = children.Item(i);
    if (child.Name() == name && index-- == 0) return child;
  }
  return xml::Node();
}

u16string TXMLTool::NextToken(u16string& rest) {
  size_t start = 0;
  while (start < rest.size() && rest[start] == u'/') ++start;
  const size_t slash = rest.find(u'/', start);
  u16string step;
  if (slash == u16string::npos) {
    step = rest.substr(start);
    rest.clear();
  } else {
    step = rest.substr(start, slash - start);
    rest.erase(0, slash + 1);
  }
  return step;
}

u16string TXMLTool::ParentPath(const u16string& path) {
  const size_t slash = path.rfind(u'/');
  if (slash == u16string::npos) return u16string();
  size_t k = slash + 1;  // characters up to and including the last "/"
  if (k > 1 && path[k - 2] != u'/') --k;
  return path.substr(0, k);
}

u16string TXMLTool::LastStep(const u16string& path) {
  const size_t slash = path.rfind(u'/');
  return slash == u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace qelt
