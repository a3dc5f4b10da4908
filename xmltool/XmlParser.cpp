// Non-validating XML 1.0 parser: bytes -> UTF-16 (through the code page
// seam) -> one pass over the text that builds the node tree. The internal DTD
// subset is read for its entities and attribute defaults; external entities
// are never loaded.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CodePage.h"
#include "Exception.h"
#include "XmlTree.h"

namespace qelt::xml::detail {
namespace {

using std::u16string;
using std::u16string_view;

// A rejection: its reason and the offset in the normalised text.
struct Failure {
  u16string reason;
  size_t pos;
};

// ---- Character classes (XML 1.0, fifth edition) ----

inline bool IsS(char32_t c) { return c == 0x20 || c == 0x9 || c == 0xA || c == 0xD; }

inline bool IsChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

inline bool IsNameStart(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

inline bool IsNameChar(char32_t c) {
  if (c < 0x80)
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  return IsNameStart(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

inline bool IsPubidChar(char16_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c == 0x20 || c == 0xD || c == 0xA || u16string_view(u"-'()+,./:=?;!*#@$_%").find(c) !=
                                                  u16string_view::npos;
}

bool IsAllSpace(u16string_view s) {
  for (char16_t c : s)
    if (!IsS(c)) return false;
  return true;
}

void AppendCodePoint(u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

u16string Ascii(std::string_view s) { return u16string(s.begin(), s.end()); }

u16string Hex(char32_t c) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (int shift = c > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) s.push_back(digits[(c >> shift) & 0xF]);
  return u"U+" + Ascii(s);
}

u16string Quoted(u16string_view name) { return u"'" + u16string(name) + u"'"; }

// Collapses blanks the way non-CDATA attribute types are normalised.
void CollapseSpaces(u16string& v) {
  size_t w = 0;
  for (size_t r = 0; r < v.size(); ++r) {
    if (v[r] == u' ' && (w == 0 || v[w - 1] == u' ')) continue;
    v[w++] = v[r];
  }
  if (w > 0 && v[w - 1] == u' ') --w;
  v.resize(w);
}

// Names already met, for finding a duplicate among many attributes: open
// addressing over a table of hashes and names, so that each look-up touches
// one place in one block rather than a chain of separate nodes.
class NameSet {
 public:
  // False when the name was there already. The name must outlive the set.
  bool Insert(u16string_view name) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    const size_t hash = std::hash<u16string_view>()(name);
    for (size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (!slot.name.data()) {
        slot = {hash, name};
        ++count_;
        return true;
      }
      if (slot.hash == hash && slot.name == name) return false;
    }
  }
  bool Empty() const { return count_ == 0; }

 private:
  struct Slot {
    size_t hash = 0;
    u16string_view name;  // no data: free
  };
  void Grow() {
    std::vector<Slot> old(std::max<size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (!slot.name.data()) continue;
      size_t i = slot.hash & (slots_.size() - 1);
      while (slots_[i].name.data()) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = slot;
    }
  }
  std::vector<Slot> slots_;
  size_t count_ = 0;
};

// ---- The parser over normalised UTF-16 text ----

struct Input {
  const char16_t* p;
  const char16_t* end;
};

struct Entity {
  u16string value;
  bool external = false;
  bool unparsed = false;
  bool inUse = false;
};

struct AttDecl {
  u16string name;
  bool cdata = true;
  bool hasDefault = false;
  u16string value;
};

// The attributes declared for one element, in the order declared (the first
// declaration of a name binds), with their names for finding one at once.
struct AttList {
  std::vector<AttDecl> decls;
  std::unordered_set<u16string> names;
};

// What the bytes said about the encoding, checked against the declaration.
enum class ByteSource { Plain, Utf8Bom, Utf16Bom, Utf16NoBom };

// The character a predefined entity stands for; 0 for any other name.
char16_t PredefinedEntity(u16string_view name) {
  if (name == u"lt") return u'<';
  if (name == u"gt") return u'>';
  if (name == u"amp") return u'&';
  if (name == u"apos") return u'\'';
  if (name == u"quot") return u'"';
  return 0;
}

class Parser {
 public:
  Parser(const u16string& text, Tree& tree, ByteSource source, unsigned codePage)
      : text_(text), tree_(tree), source_(source), codePage_(codePage) {
    main_ = {text.data(), text.data() + text.size()};
    in_ = &main_;
  }

  void Run();

 private:
  struct Frame {
    NodeData* node;
    bool preserve;
  };

  // -- input primitives on the current input --
  bool AtEnd() const { return in_->p >= in_->end; }
  char16_t Peek(size_t k = 0) const { return in_->p + k < in_->end ? in_->p[k] : 0; }
  bool StartsWith(u16string_view lit) const {
    return static_cast<size_t>(in_->end - in_->p) >= lit.size() &&
           u16string_view(in_->p, lit.size()) == lit;
  }
  bool Eat(u16string_view lit) {
    if (!StartsWith(lit)) return false;
    in_->p += lit.size();
    return true;
  }
  bool SkipS() {
    const char16_t* start = in_->p;
    while (in_->p < in_->end && IsS(*in_->p)) ++in_->p;
    return in_->p != start;
  }
  char32_t PeekCodePoint(size_t* width) const;

  [[noreturn]] void Fail(u16string reason) const { throw Failure{std::move(reason), ErrorPos()}; }
  size_t ErrorPos() const { return static_cast<size_t>(main_.p - text_.data()); }
  [[noreturn]] void FailEnd(u16string_view where) const {
    Fail(u"Unexpected end of " + u16string(in_ == &main_ ? u"the document" : u"an entity's text") +
         u" " + u16string(where));
  }
  void RequireS(u16string_view where) {
    if (!SkipS()) {
      if (AtEnd()) FailEnd(where);
      Fail(u"White space is required " + u16string(where));
    }
  }
  void Expect(char16_t c, u16string_view where) {
    if (Peek() == c && !AtEnd()) {
      ++in_->p;
      return;
    }
    if (AtEnd()) FailEnd(where);
    Fail(u"'" + u16string(1, c) + u"' is expected " + u16string(where));
  }
  u16string_view Name(u16string_view what);
  void Nmtoken();

  // -- document structure --
  void XmlDecl();
  void Misc(NodeData* parent, bool prolog);
  void Element();
  void Content(size_t base, bool inEntity);
  void StartTag();
  void ApplyAttList(NodeData* el, const AttList& list);
  void EndTag(size_t base);
  void Comment(NodeData* parent);
  void Pi(NodeData* parent);
  void CData();
  void FlushText();
  NodeData* Current() { return stack_.empty() ? tree_.Root() : stack_.back().node; }
  void AddChild(NodeData* parent, NodeData* child) {
    if (parent) parent->children.push_back(child);
  }

  // -- references --
  char32_t CharRef();
  void ContentReference();
  u16string_view EntityReferenceName();
  template <typename Read>
  void ReadEntityText(Entity& entity, u16string_view name, Read read);
  void AttValue(u16string& out);
  void AttValueText(u16string& out, char16_t quote);
  Entity* LookUp(std::unordered_map<u16string, Entity>& map, u16string_view name, bool parameter);
  void Enter(Entity& e, u16string_view name);
  bool DeclsComplete() const { return standalone_ || !(externalSubset_ || peRefs_); }

  // -- document type declaration --
  void Doctype();
  void Subset(bool inEntity);
  void PeReference();
  void ElementDecl();
  void ContentParticles(size_t depth);
  void AttlistDecl();
  void EntityDecl();
  void NotationDecl();
  void ExternalId(bool systemOptional);
  void Literal(bool pubid);
  void EntityValue(u16string& out);

  const u16string& text_;
  Tree& tree_;
  ByteSource source_;
  unsigned codePage_;
  Input main_;
  Input* in_;

  std::vector<Frame> stack_;
  u16string pending_;  // text waiting to become a text node

  std::unordered_map<u16string, Entity> general_, parameter_;
  std::unordered_map<u16string, AttList> attlists_;
  bool standalone_ = false;
  bool externalSubset_ = false;
  bool peRefs_ = false;
  bool skipDecls_ = false;  // after an unread external parameter entity
  size_t entityDepth_ = 0;
  size_t budget_ = kExpansionBudget;
  size_t defaultsBudget_ = kDefaultsBudget;
};

char32_t Parser::PeekCodePoint(size_t* width) const {
  const char16_t c = Peek();
  *width = 1;
  if (c >= 0xD800 && c <= 0xDBFF) {
    const char16_t d = Peek(1);
    if (d >= 0xDC00 && d <= 0xDFFF) {
      *width = 2;
      return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (d - 0xDC00);
    }
  }
  return c;
}

u16string_view Parser::Name(u16string_view what) {
  const char16_t* start = in_->p;
  size_t w;
  char32_t c = PeekCodePoint(&w);
  if (AtEnd()) FailEnd(u"where " + u16string(what) + u" is expected");
  if (!IsNameStart(c)) {
    if (IsChar(c) && c > 0x20)
      Fail(u"Invalid " + u16string(what) + u": '" + u16string(in_->p, w) + u"' cannot begin a name");
    Fail(u"A name is expected as " + u16string(what));
  }
  in_->p += w;
  while (!AtEnd()) {
    const char16_t u = *in_->p;
    if (u < 0x80) {
      if (!IsNameChar(u)) break;
      ++in_->p;
      continue;
    }
    c = PeekCodePoint(&w);
    if (!IsNameChar(c)) break;
    in_->p += w;
  }
  return u16string_view(start, static_cast<size_t>(in_->p - start));
}

void Parser::Nmtoken() {
  const char16_t* start = in_->p;
  size_t w;
  while (!AtEnd() && IsNameChar(PeekCodePoint(&w))) in_->p += w;
  if (in_->p == start) Fail(u"A name token is expected in an enumeration");
}

// ---- Document ----

void Parser::Run() {
  if (StartsWith(u"<?xml") && IsS(Peek(5))) {
    XmlDecl();
  } else if (source_ == ByteSource::Utf16NoBom) {
    Fail(u"A UTF-16 document without a byte order mark must declare its encoding");
  }
  Misc(tree_.Root(), true);
  Element();
  Misc(tree_.Root(), false);
}

void Parser::XmlDecl() {
  in_->p += 5;
  SkipS();
  if (!Eat(u"version")) Fail(u"The XML declaration must begin with the version");
  SkipS();
  Expect(u'=', u"after 'version'");
  SkipS();
  const char16_t q = Peek();
  if (q != u'"' && q != u'\'') Fail(u"The version in the XML declaration must be quoted");
  ++in_->p;
  if (!Eat(u"1.") || !(Peek() >= u'0' && Peek() <= u'9')) Fail(u"Unsupported XML version (1.x expected)");
  while (Peek() >= u'0' && Peek() <= u'9') ++in_->p;
  Expect(q, u"to close the version");

  bool space = SkipS();
  if (StartsWith(u"encoding")) {
    if (!space) Fail(u"White space is required before 'encoding'");
    in_->p += 8;
    SkipS();
    Expect(u'=', u"after 'encoding'");
    SkipS();
    const char16_t eq = Peek();
    if (eq != u'"' && eq != u'\'') Fail(u"The encoding name must be quoted");
    ++in_->p;
    const char16_t* start = in_->p;
    char16_t c = Peek();
    if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) Fail(u"Invalid encoding name");
    while ((c = Peek()) != 0 && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                                 (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-'))
      ++in_->p;
    const u16string name(start, in_->p);
    Expect(eq, u"to close the encoding name");
    std::string ascii(name.begin(), name.end());
    const unsigned declared = cp::CodePageFromName(ascii);
    const bool declared16 = declared == cp::kUtf16LE || declared == cp::kUtf16BE;
    if (declared == 0) Fail(u"Unsupported encoding " + Quoted(name));
    if ((source_ == ByteSource::Utf16Bom || source_ == ByteSource::Utf16NoBom) && !declared16)
      Fail(u"The encoding declaration " + Quoted(name) + u" contradicts the UTF-16 byte order mark");
    if (source_ == ByteSource::Utf8Bom && declared != cp::kUtf8)
      Fail(u"The encoding declaration " + Quoted(name) + u" contradicts the UTF-8 byte order mark");
    if (source_ == ByteSource::Plain && declared != codePage_)
      Fail(u"The encoding declaration " + Quoted(name) + u" does not match the document's bytes");
    space = SkipS();
  } else if (source_ == ByteSource::Utf16NoBom) {
    Fail(u"A UTF-16 document without a byte order mark must declare its encoding");
  }
  if (StartsWith(u"standalone")) {
    if (!space) Fail(u"White space is required before 'standalone'");
    in_->p += 10;
    SkipS();
    Expect(u'=', u"after 'standalone'");
    SkipS();
    const char16_t sq = Peek();
    if (sq != u'"' && sq != u'\'') Fail(u"The standalone value must be quoted");
    ++in_->p;
    if (Eat(u"yes")) standalone_ = true;
    else if (!Eat(u"no")) Fail(u"The standalone value must be 'yes' or 'no'");
    Expect(sq, u"to close the standalone value");
    SkipS();
  }
  if (!Eat(u"?>")) {
    if (AtEnd()) FailEnd(u"in the XML declaration");
    Fail(u"Malformed XML declaration");
  }
}

// Comments, processing instructions and white space around the root element
// (and the document type declaration before it).
void Parser::Misc(NodeData* parent, bool prolog) {
  bool doctype = false;
  for (;;) {
    SkipS();
    if (AtEnd()) {
      if (prolog) Fail(u"The document has no root element");
      return;
    }
    if (StartsWith(u"<?")) {
      Pi(parent);
    } else if (StartsWith(u"<!--")) {
      Comment(parent);
    } else if (StartsWith(u"<!DOCTYPE")) {
      if (!prolog) Fail(u"A document type declaration is not allowed after the root element");
      if (doctype) Fail(u"Only one document type declaration is allowed");
      doctype = true;
      Doctype();
    } else if (Peek() == u'<') {
      if (prolog) return;
      size_t width;
      in_->p += 1;
      const bool element = IsNameStart(PeekCodePoint(&width));
      in_->p -= 1;
      Fail(element ? u"Only one root element is allowed" : u"Markup is not allowed after the root element");
    } else {
      Fail(prolog ? u"Text is not allowed before the root element"
                  : u"Text is not allowed after the root element");
    }
  }
}

void Parser::Element() {
  if (Peek(1) == u'!' || Peek(1) == u'/') Fail(u"The root element is expected");
  StartTag();
  if (!stack_.empty()) Content(0, false);
}

// Element content, from the current input. In the document it ends with the
// root's end tag; in an entity's text at its end, with every element begun
// there closed again.
void Parser::Content(size_t base, bool inEntity) {
  for (;;) {
    const char16_t* p = in_->p;
    const char16_t* const end = in_->end;
    const char16_t* const start = p;
    while (p < end && *p != u'<' && *p != u'&') {
      if (*p == u']' && end - p >= 3 && p[1] == u']' && p[2] == u'>') {
        in_->p = p;
        Fail(u"']]>' is not allowed in text");
      }
      ++p;
    }
    if (p != start) pending_.append(start, static_cast<size_t>(p - start));
    in_->p = p;
    if (p == end) {
      if (!inEntity) FailEnd(u"before the end tag of " + Quoted(stack_.back().node->name));
      if (stack_.size() != base)
        Fail(u"Element " + Quoted(stack_.back().node->name) + u" begun in an entity is not closed in it");
      return;
    }
    if (*p == u'&') {
      ContentReference();
      continue;
    }
    const char16_t next = Peek(1);
    if (next == u'/') {
      EndTag(base);
      if (!inEntity && stack_.empty()) return;
    } else if (next == u'!') {
      if (StartsWith(u"<!--")) {
        FlushText();
        Comment(Current());
      } else if (StartsWith(u"<![CDATA[")) {
        CData();
      } else {
        Fail(u"Invalid markup: '<!' in content must begin a comment or a CDATA section");
      }
    } else if (next == u'?') {
      FlushText();
      Pi(Current());
    } else {
      StartTag();
    }
  }
}

void Parser::FlushText() {
  if (pending_.empty()) return;
  if (stack_.back().preserve || !IsAllSpace(pending_)) {
    NodeData* t = tree_.NewNode(NodeType::Text, u"#text");
    t->value.swap(pending_);
    stack_.back().node->children.push_back(t);
  }
  pending_.clear();
}

void Parser::StartTag() {
  ++in_->p;  // '<'
  NodeData* el = tree_.NewNode(NodeType::Element, Name(u"element name"));
  NameSet seen;  // used once an element has many attributes
  bool empty = false;
  for (;;) {
    const bool space = SkipS();
    if (AtEnd()) FailEnd(u"inside the start tag of " + Quoted(el->name));
    if (Peek() == u'>') {
      ++in_->p;
      break;
    }
    if (Peek() == u'/') {
      if (Peek(1) != u'>') Fail(u"'/' in a start tag must be followed by '>'");
      in_->p += 2;
      empty = true;
      break;
    }
    if (!space) Fail(u"White space is required between attributes in the start tag of " + Quoted(el->name));
    const u16string_view name = Name(u"attribute name");
    SkipS();
    Expect(u'=', u"after the attribute name " + Quoted(name));
    SkipS();
    NodeData* attr = tree_.NewNode(NodeType::Attribute, name);
    AttValue(attr->value);
    auto& attrs = el->attributes;
    bool duplicate = false;
    if (attrs.size() < 16) {
      for (const NodeData* a : attrs) duplicate = duplicate || a->name == attr->name;
    } else {
      if (seen.Empty())
        for (const NodeData* a : attrs) seen.Insert(a->name);
      duplicate = !seen.Insert(attr->name);
    }
    if (duplicate) Fail(u"Duplicate attribute " + Quoted(attr->name) + u" in element " + Quoted(el->name));
    attrs.push_back(attr);
  }

  if (!attlists_.empty()) {
    auto it = attlists_.find(el->name);
    if (it != attlists_.end()) ApplyAttList(el, it->second);
  }

  bool preserve = stack_.empty() ? false : stack_.back().preserve;
  for (const NodeData* a : el->attributes) {
    if (a->name == u"xml:space") preserve = a->value == u"preserve";
  }
  if (!stack_.empty()) FlushText();
  Current()->children.push_back(el);
  if (!empty) {
    if (stack_.size() >= kMaxDepth)
      Fail(u"Elements are nested too deeply (more than " + Ascii(std::to_string(kMaxDepth)) + u" levels)");
    stack_.push_back({el, preserve});
  }
}

// Normalises the declared attributes present that are not CDATA and adds the
// defaults of those absent. Each declaration finds its attribute at once, so
// many declarations and many attributes cost their sum, not their product;
// what defaults add to the document is bounded like entity expansion.
void Parser::ApplyAttList(NodeData* el, const AttList& list) {
  std::unordered_map<u16string_view, NodeData*> present;
  for (NodeData* a : el->attributes) present.emplace(a->name, a);
  for (const AttDecl& d : list.decls) {
    const auto found = present.find(d.name);
    if (found != present.end()) {
      if (!d.cdata) CollapseSpaces(found->second->value);
      continue;
    }
    if (!d.hasDefault) continue;
    const size_t cost = d.name.size() + d.value.size() + kDefaultNodeCost;
    if (cost > defaultsBudget_)
      Fail(u"Attribute defaults exceed the limit of " + Ascii(std::to_string(kDefaultsBudget)) + u" characters");
    defaultsBudget_ -= cost;
    NodeData* a = tree_.NewNode(NodeType::Attribute, d.name);
    a->value = d.value;
    el->attributes.push_back(a);
  }
}

void Parser::EndTag(size_t base) {
  in_->p += 2;  // "</"
  const u16string_view name = Name(u"element name in an end tag");
  SkipS();
  Expect(u'>', u"to close the end tag of " + Quoted(name));
  if (stack_.size() == base)
    Fail(u"End tag " + Quoted(name) + u" closes an element begun outside the entity");
  if (name != stack_.back().node->name)
    Fail(u"End tag " + Quoted(name) + u" does not match the start tag " + Quoted(stack_.back().node->name));
  FlushText();
  stack_.pop_back();
}

void Parser::Comment(NodeData* parent) {
  in_->p += 4;  // "<!--"
  const char16_t* start = in_->p;
  for (;;) {
    if (AtEnd()) FailEnd(u"inside a comment");
    if (*in_->p == u'-' && Peek(1) == u'-') {
      if (Peek(2) != u'>') Fail(u"'--' is not allowed inside a comment");
      break;
    }
    ++in_->p;
  }
  if (parent) {
    NodeData* c = tree_.NewNode(NodeType::Comment, u"#comment");
    c->value.assign(start, in_->p);
    parent->children.push_back(c);
  }
  in_->p += 3;
}

void Parser::Pi(NodeData* parent) {
  in_->p += 2;  // "<?"
  const u16string_view target = Name(u"processing instruction target");
  if (target.size() == 3 && (target[0] | 0x20) == u'x' && (target[1] | 0x20) == u'm' &&
      (target[2] | 0x20) == u'l') {
    if (target == u"xml") Fail(u"The XML declaration is allowed only at the very start of the document");
    Fail(u"The processing instruction target " + Quoted(target) + u" is reserved");
  }
  const char16_t* start = in_->p;
  if (!Eat(u"?>")) {
    if (AtEnd()) FailEnd(u"inside a processing instruction");
    if (!SkipS()) Fail(u"White space is required after the processing instruction target");
    start = in_->p;
    while (!StartsWith(u"?>")) {
      if (AtEnd()) FailEnd(u"inside a processing instruction");
      ++in_->p;
    }
    in_->p += 2;
  }
  if (parent) {
    NodeData* pi = tree_.NewNode(NodeType::ProcessingInstruction, target);
    if (in_->p - 2 > start) pi->value.assign(start, in_->p - 2);
    parent->children.push_back(pi);
  }
}

void Parser::CData() {
  FlushText();
  in_->p += 9;  // "<![CDATA["
  const char16_t* start = in_->p;
  while (!StartsWith(u"]]>")) {
    if (AtEnd()) FailEnd(u"inside a CDATA section");
    ++in_->p;
  }
  NodeData* c = tree_.NewNode(NodeType::CData, u"#cdata-section");
  c->value.assign(start, in_->p);
  stack_.back().node->children.push_back(c);
  in_->p += 3;
}

// ---- References ----

// At "&#": reads a character reference and gives its character.
char32_t Parser::CharRef() {
  in_->p += 2;
  char32_t v = 0;
  bool digits = false;
  const bool hex = Peek() == u'x';
  if (hex) ++in_->p;
  for (;;) {
    const char16_t c = Peek();
    unsigned d;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
    else break;
    v = v * (hex ? 16 : 10) + d;
    if (v > 0x10FFFF) v = 0x110000;  // stays invalid without overflowing
    digits = true;
    ++in_->p;
  }
  if (!digits || Peek() != u';') Fail(u"Malformed character reference");
  ++in_->p;
  if (!IsChar(v)) Fail(u"The character reference names an illegal character");
  return v;
}

// Gives the declared entity, or nothing for one that may be declared where
// this parser does not read (an unread external subset or parameter entity).
Entity* Parser::LookUp(std::unordered_map<u16string, Entity>& map, u16string_view name, bool parameter) {
  auto it = map.find(u16string(name));
  if (it != map.end()) return &it->second;
  if (DeclsComplete() || (parameter && !externalSubset_ && !skipDecls_))
    Fail(u"Undeclared entity " + Quoted(name));
  return nullptr;
}

void Parser::Enter(Entity& e, u16string_view name) {
  if (e.inUse) Fail(u"Recursive reference to the entity " + Quoted(name));
  if (entityDepth_ >= kMaxEntityNesting) Fail(u"Entity references are nested too deeply");
  const size_t cost = e.value.size() + 1;
  if (cost > budget_) Fail(u"Entity expansion exceeds the limit of " + Ascii(std::to_string(kExpansionBudget)) + u" characters");
  budget_ -= cost;
}

// The name of the entity reference at '&', its ';' taken too.
u16string_view Parser::EntityReferenceName() {
  ++in_->p;
  const u16string_view name = Name(u"entity name");
  if (Peek() != u';') Fail(u"An entity reference must end with ';'");
  ++in_->p;
  return name;
}

// Reads an entity's replacement text with read, the entity marked in use so
// that it cannot refer to itself.
template <typename Read>
void Parser::ReadEntityText(Entity& entity, u16string_view name, Read read) {
  Enter(entity, name);
  entity.inUse = true;
  ++entityDepth_;
  Input sub{entity.value.data(), entity.value.data() + entity.value.size()};
  Input* saved = in_;
  in_ = &sub;
  read();
  in_ = saved;
  --entityDepth_;
  entity.inUse = false;
}

void Parser::ContentReference() {
  if (Peek(1) == u'#') {
    AppendCodePoint(pending_, CharRef());
    return;
  }
  const u16string_view name = EntityReferenceName();
  if (const char16_t c = PredefinedEntity(name)) {
    pending_ += c;
  } else if (Entity* e = LookUp(general_, name, false)) {
    if (e->unparsed) Fail(u"The unparsed entity " + Quoted(name) + u" cannot be referenced in content");
    if (e->external) return;  // external entities are never loaded
    ReadEntityText(*e, name, [this] { Content(stack_.size(), true); });
  }
}

// A quoted attribute value, normalised: references replaced, white space
// characters turned into blanks.
void Parser::AttValue(u16string& out) {
  const char16_t q = Peek();
  if (q != u'"' && q != u'\'') {
    if (AtEnd()) FailEnd(u"where an attribute value is expected");
    Fail(u"An attribute value must be quoted");
  }
  ++in_->p;
  AttValueText(out, q);
}

// Attribute value text up to the quote (or to the end of an entity's text
// when quote is 0).
void Parser::AttValueText(u16string& out, char16_t quote) {
  for (;;) {
    if (AtEnd()) {
      if (quote) FailEnd(u"inside an attribute value");
      return;
    }
    const char16_t c = *in_->p;
    if (c == quote) {
      ++in_->p;
      return;
    }
    if (c == u'<') Fail(u"'<' is not allowed in an attribute value");
    if (c != u'&') {
      out += (c == 0x9 || c == 0xA || c == 0xD) ? u' ' : c;
      ++in_->p;
      continue;
    }
    if (Peek(1) == u'#') {
      AppendCodePoint(out, CharRef());
      continue;
    }
    const u16string_view name = EntityReferenceName();
    if (const char16_t predefined = PredefinedEntity(name)) {
      out += predefined;
    } else if (Entity* e = LookUp(general_, name, false)) {
      if (e->unparsed || e->external)
        Fail(u"The external entity " + Quoted(name) + u" cannot be referenced in an attribute value");
      ReadEntityText(*e, name, [this, &out] { AttValueText(out, 0); });
    }
  }
}

// ---- Document type declaration ----

void Parser::Doctype() {
  in_->p += 9;  // "<!DOCTYPE"
  RequireS(u"after '<!DOCTYPE'");
  Name(u"document type name");
  const bool space = SkipS();
  if (StartsWith(u"SYSTEM") || StartsWith(u"PUBLIC")) {
    if (!space) Fail(u"White space is required before the external identifier");
    ExternalId(false);
    externalSubset_ = true;
    SkipS();
  }
  if (Peek() == u'[') {
    ++in_->p;
    Subset(false);
    SkipS();
  }
  Expect(u'>', u"to close the document type declaration");
}

// Markup declarations of the internal subset (up to its "]"), or of a
// parameter entity's text referenced between declarations.
void Parser::Subset(bool inEntity) {
  for (;;) {
    SkipS();
    if (AtEnd()) {
      if (inEntity) return;
      FailEnd(u"inside the internal subset");
    }
    const char16_t c = Peek();
    if (c == u']' && !inEntity) {
      ++in_->p;
      return;
    }
    if (c == u'%') PeReference();
    else if (StartsWith(u"<!ELEMENT")) ElementDecl();
    else if (StartsWith(u"<!ATTLIST")) AttlistDecl();
    else if (StartsWith(u"<!ENTITY")) EntityDecl();
    else if (StartsWith(u"<!NOTATION")) NotationDecl();
    else if (StartsWith(u"<!--")) Comment(nullptr);
    else if (StartsWith(u"<?")) Pi(nullptr);
    else if (StartsWith(u"<![")) Fail(u"Conditional sections are not allowed in the internal subset");
    else Fail(u"Invalid markup declaration");
  }
}

void Parser::PeReference() {
  ++in_->p;
  const u16string_view name = Name(u"parameter entity name");
  if (Peek() != u';') Fail(u"A parameter entity reference must end with ';'");
  ++in_->p;
  peRefs_ = true;
  Entity* e = LookUp(parameter_, name, true);
  if (!e || e->external) {
    if (!standalone_) skipDecls_ = true;  // what follows may depend on what was not read
    return;
  }
  Enter(*e, name);
  e->inUse = true;
  ++entityDepth_;
  Input sub{e->value.data(), e->value.data() + e->value.size()};
  Input* saved = in_;
  in_ = &sub;
  Subset(true);
  in_ = saved;
  --entityDepth_;
  e->inUse = false;
}

void Parser::ElementDecl() {
  in_->p += 9;  // "<!ELEMENT"
  RequireS(u"after '<!ELEMENT'");
  Name(u"element name");
  RequireS(u"after the element name in an element declaration");
  if (!Eat(u"EMPTY") && !Eat(u"ANY")) {
    if (Peek() != u'(') Fail(u"Invalid content model in an element declaration");
    ++in_->p;
    SkipS();
    if (Eat(u"#PCDATA")) {
      SkipS();
      if (Peek() == u')') {
        ++in_->p;
        Eat(u"*");
      } else {
        while (Peek() == u'|') {
          ++in_->p;
          SkipS();
          Name(u"element name in mixed content");
          SkipS();
        }
        if (!Eat(u")*")) Fail(u"Mixed content must end with ')*'");
      }
    } else {
      ContentParticles(1);
    }
  }
  SkipS();
  Expect(u'>', u"to close the element declaration");
}

// A choice or sequence after its "(", with its closing ")" and modifier.
void Parser::ContentParticles(size_t depth) {
  if (depth > kMaxEntityNesting) Fail(u"Content model groups are nested too deeply");
  char16_t separator = 0;
  for (;;) {
    SkipS();
    if (Peek() == u'(') {
      ++in_->p;
      ContentParticles(depth + 1);
    } else {
      Name(u"element name in a content model");
      const char16_t m = Peek();
      if (m == u'?' || m == u'*' || m == u'+') ++in_->p;
    }
    SkipS();
    const char16_t c = Peek();
    if (c == u')') {
      ++in_->p;
      break;
    }
    if (c != u'|' && c != u',') {
      if (AtEnd()) FailEnd(u"inside a content model");
      Fail(u"Invalid character in a content model");
    }
    if (separator && c != separator) Fail(u"A content model group cannot mix ',' and '|'");
    separator = c;
    ++in_->p;
  }
  const char16_t m = Peek();
  if (m == u'?' || m == u'*' || m == u'+') ++in_->p;
}

void Parser::AttlistDecl() {
  in_->p += 9;  // "<!ATTLIST"
  RequireS(u"after '<!ATTLIST'");
  const u16string element(Name(u"element name"));
  AttList* list = nullptr;  // found once: a long element name is hashed once
  for (;;) {
    const bool space = SkipS();
    if (Peek() == u'>') {
      ++in_->p;
      return;
    }
    if (AtEnd()) FailEnd(u"inside an attribute-list declaration");
    if (!space) Fail(u"White space is required before an attribute definition");
    AttDecl d;
    d.name = Name(u"attribute name");
    RequireS(u"after the attribute name in an attribute-list declaration");
    if (Eat(u"CDATA")) {
    } else if (Eat(u"IDREFS") || Eat(u"IDREF") || Eat(u"ID") || Eat(u"ENTITY") || Eat(u"ENTITIES") ||
               Eat(u"NMTOKENS") || Eat(u"NMTOKEN")) {
      d.cdata = false;
    } else {
      d.cdata = false;
      const bool notation = Eat(u"NOTATION");
      if (notation) RequireS(u"after 'NOTATION'");
      if (Peek() != u'(') Fail(u"Invalid attribute type");
      ++in_->p;
      for (;;) {
        SkipS();
        if (notation) Name(u"notation name");
        else Nmtoken();
        SkipS();
        if (Peek() == u')') break;
        Expect(u'|', u"between enumerated values");
      }
      ++in_->p;
    }
    RequireS(u"after the attribute type");
    if (Eat(u"#REQUIRED") || Eat(u"#IMPLIED")) {
    } else {
      if (Eat(u"#FIXED")) RequireS(u"after '#FIXED'");
      AttValue(d.value);
      if (!d.cdata) CollapseSpaces(d.value);
      d.hasDefault = true;
    }
    if (skipDecls_) continue;
    if (!list) list = &attlists_[element];
    if (list->names.insert(d.name).second) list->decls.push_back(std::move(d));
  }
}

void Parser::EntityDecl() {
  in_->p += 8;  // "<!ENTITY"
  RequireS(u"after '<!ENTITY'");
  bool parameter = false;
  if (Peek() == u'%') {
    ++in_->p;
    RequireS(u"after '%' in a parameter entity declaration");
    parameter = true;
  }
  const u16string name(Name(u"entity name"));
  RequireS(u"after the entity name");
  Entity e;
  if (Peek() == u'"' || Peek() == u'\'') {
    EntityValue(e.value);
  } else {
    ExternalId(false);
    e.external = true;
    const bool space = SkipS();
    if (!parameter && StartsWith(u"NDATA")) {
      if (!space) Fail(u"White space is required before 'NDATA'");
      in_->p += 5;
      RequireS(u"after 'NDATA'");
      Name(u"notation name");
      e.unparsed = true;
    }
  }
  SkipS();
  Expect(u'>', u"to close the entity declaration");
  if (skipDecls_) return;
  (parameter ? parameter_ : general_).emplace(name, std::move(e));  // the first declaration binds
}

void Parser::EntityValue(u16string& out) {
  const char16_t q = *in_->p++;
  for (;;) {
    if (AtEnd()) FailEnd(u"inside an entity value");
    const char16_t c = *in_->p;
    if (c == q) {
      ++in_->p;
      return;
    }
    if (c == u'%')
      Fail(u"Parameter entity references are not allowed inside declarations of the internal subset");
    if (c == u'&') {
      if (Peek(1) == u'#') {
        AppendCodePoint(out, CharRef());
      } else {
        const char16_t* start = in_->p;
        ++in_->p;
        Name(u"entity name");
        if (Peek() != u';') Fail(u"An entity reference must end with ';'");
        ++in_->p;
        out.append(start, in_->p);
      }
      continue;
    }
    out += c;
    ++in_->p;
  }
}

void Parser::NotationDecl() {
  in_->p += 10;  // "<!NOTATION"
  RequireS(u"after '<!NOTATION'");
  Name(u"notation name");
  RequireS(u"after the notation name");
  ExternalId(true);
  SkipS();
  Expect(u'>', u"to close the notation declaration");
}

void Parser::ExternalId(bool systemOptional) {
  if (Eat(u"SYSTEM")) {
    RequireS(u"after 'SYSTEM'");
    Literal(false);
  } else if (Eat(u"PUBLIC")) {
    RequireS(u"after 'PUBLIC'");
    Literal(true);
    const bool space = SkipS();
    if (systemOptional && Peek() != u'"' && Peek() != u'\'') return;
    if (!space) Fail(u"White space is required between the public and system identifiers");
    Literal(false);
  } else {
    Fail(u"'SYSTEM' or 'PUBLIC' is expected");
  }
}

void Parser::Literal(bool pubid) {
  const char16_t q = Peek();
  if (q != u'"' && q != u'\'') {
    if (AtEnd()) FailEnd(u"where a quoted identifier is expected");
    Fail(u"An identifier must be quoted");
  }
  ++in_->p;
  for (;;) {
    if (AtEnd()) FailEnd(u"inside a quoted identifier");
    const char16_t c = *in_->p;
    if (c == q) break;
    if (pubid && !IsPubidChar(c)) Fail(u"Invalid character in a public identifier");
    ++in_->p;
  }
  ++in_->p;
}

// ---- Bytes to text ----

std::string Prescan(std::string_view b) {
  if (b.size() < 6 || b.compare(0, 5, "<?xml") != 0 || !IsS(static_cast<unsigned char>(b[5]))) return {};
  const size_t close = b.find("?>");
  const std::string_view decl = b.substr(0, close);
  size_t i = decl.find("encoding");
  if (i == std::string_view::npos) return {};
  i += 8;
  while (i < decl.size() && IsS(static_cast<unsigned char>(decl[i]))) ++i;
  if (i >= decl.size() || decl[i] != '=') return {};
  ++i;
  while (i < decl.size() && IsS(static_cast<unsigned char>(decl[i]))) ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
  const size_t end = decl.find(decl[i], i + 1);
  if (end == std::string_view::npos) return {};
  return std::string(decl.substr(i + 1, end - i - 1));
}

// Bytes that could not be decoded, shown as ASCII with '?' for the rest.
u16string ShowBytes(std::string_view bytes) {
  if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
  u16string shown;
  for (unsigned char c : bytes) shown += c >= 0x20 && c < 0x80 ? static_cast<char16_t>(c) : u'?';
  return shown;
}

std::string Message(const u16string& reason, size_t line, u16string_view lineText) {
  u16string m = reason + u"\r\nLine: " + Ascii(std::to_string(line)) + u"\r\n";
  size_t points = 0, i = 0;
  while (i < lineText.size() && points < 40) {
    const char16_t c = lineText[i];
    i += (c >= 0xD800 && c <= 0xDBFF && i + 1 < lineText.size()) ? 2 : 1;
    ++points;
  }
  m.append(lineText.substr(0, i));
  return cp::Utf16ToAnsi(m);
}

[[noreturn]] void FailAt(const u16string& reason, const u16string& text, size_t pos) {
  pos = std::min(pos, text.size());
  size_t line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < pos; ++i)
    if (text[i] == u'\n') {
      ++line;
      lineStart = i + 1;
    }
  size_t lineEnd = text.find(u'\n', lineStart);
  if (lineEnd == u16string::npos) lineEnd = text.size();
  throw qelt::Exception(Message(reason, line, u16string_view(text).substr(lineStart, lineEnd - lineStart)));
}

// Bytes that the code page rejects: the first line that fails on its own.
[[noreturn]] void FailDecode(std::string_view body, unsigned codePage, const std::string& name) {
  const u16string reason = u"The document's bytes are not valid in its encoding " + Quoted(ShowBytes(name));
  if (codePage == cp::kUtf16LE || codePage == cp::kUtf16BE) {
    throw qelt::Exception(Message(reason + u" (odd number of bytes)", 1, u""));
  }
  size_t line = 1, start = 0;
  for (;;) {
    size_t end = body.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = body.size();
    std::string_view bytes = body.substr(start, end - start);
    u16string ignored;
    if (last || !cp::ToUtf16(codePage, bytes, ignored)) {
      throw qelt::Exception(Message(reason, line, ShowBytes(bytes)));
    }
    ++line;
    start = end + 1;
  }
}

}  // namespace

void ParseBytes(std::string_view bytes, Tree& tree) {
  ByteSource source = ByteSource::Plain;
  unsigned codePage = cp::kUtf8;
  std::string encodingName = "UTF-8";
  std::string_view body = bytes;
  auto starts = [&](std::initializer_list<unsigned char> prefix) {
    if (bytes.size() < prefix.size()) return false;
    size_t i = 0;
    for (unsigned char c : prefix)
      if (static_cast<unsigned char>(bytes[i++]) != c) return false;
    return true;
  };
  if (starts({0xFE, 0xFF}) || starts({0xFF, 0xFE})) {
    source = ByteSource::Utf16Bom;
    codePage = bytes[0] == '\xFE' ? cp::kUtf16BE : cp::kUtf16LE;
    encodingName = "UTF-16";
    body.remove_prefix(2);
  } else if (starts({0xEF, 0xBB, 0xBF})) {
    source = ByteSource::Utf8Bom;
    body.remove_prefix(3);
  } else if (starts({0x3C, 0x00, 0x3F, 0x00}) || starts({0x00, 0x3C, 0x00, 0x3F})) {
    // UTF-16 without a byte order mark; its declaration must say so.
    source = ByteSource::Utf16NoBom;
    codePage = bytes[0] == 0 ? cp::kUtf16BE : cp::kUtf16LE;
    encodingName = "UTF-16";
  } else {
    const std::string declared = Prescan(bytes);
    if (!declared.empty()) {
      encodingName = declared;
      codePage = cp::CodePageFromName(declared);
      const u16string firstLine = ShowBytes(bytes.substr(0, bytes.find('\n')));
      if (codePage == 0)
        throw qelt::Exception(Message(u"Unsupported encoding " + Quoted(ShowBytes(declared)), 1, firstLine));
      if (codePage == cp::kUtf16LE || codePage == cp::kUtf16BE)
        throw qelt::Exception(Message(
            u"The document is declared as " + Quoted(ShowBytes(declared)) + u" but is not in UTF-16", 1, firstLine));
    }
  }

  u16string decoded;
  if (!cp::ToUtf16(codePage, body, decoded)) FailDecode(body, codePage, encodingName);

  // Line ends to LF, and every character checked once.
  u16string text;
  text.reserve(decoded.size());
  size_t bad = u16string::npos;
  char32_t badChar = 0;
  const size_t n = decoded.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = decoded[i];
    if ((c >= 0x20 && c < 0xD800) || c == u'\n' || c == u'\t' || (c >= 0xE000 && c <= 0xFFFD)) {
      text.push_back(c);
    } else if (c == u'\r') {
      text.push_back(u'\n');
      if (i + 1 < n && decoded[i + 1] == u'\n') ++i;
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && decoded[i + 1] >= 0xDC00 && decoded[i + 1] <= 0xDFFF) {
      text.push_back(c);
      text.push_back(decoded[++i]);
    } else {
      if (bad == u16string::npos) {
        bad = text.size();
        badChar = c;
      }
      text.push_back(c);
    }
  }
  if (bad != u16string::npos) FailAt(u"Illegal character " + Hex(badChar) + u" in the document", text, bad);

  try {
    Parser(text, tree, source, codePage).Run();
  } catch (const Failure& f) {
    FailAt(f.reason, text, f.pos);
  }
}

}  // namespace qelt::xml::detail
