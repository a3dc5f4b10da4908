// TXMLTool: picks values out of an XML text by short slash-separated paths,
// relative to a base path it remembers between calls.
#pragma once
#include <string>
#include <string_view>

#include "XmlDom.h"

namespace qelt {

// A looked-up value: empty text when nothing (or nothing with a value) was
// found; null when the value exists but is empty.
struct XmlValue {
  bool isNull = false;
  std::u16string text;
};

class TXMLTool {
 public:
  TXMLTool();

  // Empties the document and the base path.
  void Reset();
  // Reset, then loads the bytes (in the encoding their declaration names).
  // Throws qelt::Exception with the parser's message when they are not
  // well-formed; the document is then empty.
  void LoadFromText(const std::string& text);
  // The value at the path; never throws unless RaiseErrors is set.
  XmlValue GetValue(const std::u16string& path);

  // The steps of GetValue.
  std::u16string ResolvePath(const std::u16string& path);
  xml::Node LocateNode(const std::u16string& fullPath);
  static bool HasValue(xml::Node node);
  static xml::Node ChildByName(xml::Node node, std::u16string_view name, long long index);
  // Takes the next step off the front of rest.
  static std::u16string NextToken(std::u16string& rest);
  static std::u16string ParentPath(const std::u16string& path);
  static std::u16string LastStep(const std::u16string& path);

  const std::u16string& BasePath() const { return basePath_; }
  xml::Document& Document() { return document_; }

  // Whether lookup failures reach the caller (never set by the system).
  bool RaiseErrors = false;

 private:
  xml::Document document_;
  std::u16string basePath_;
};

}  // namespace qelt
