// A small non-validating XML 1.0 parser and the node tree it builds: a
// document, non-owning node handles (an empty handle is "nothing") and node
// lists. Text is UTF-16.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace qelt::xml {

namespace detail {
struct NodeData;
struct Tree;
}  // namespace detail

// Node kinds in the W3C DOM numbering.
enum class NodeType {
  None = 0,
  Element = 1,
  Attribute = 2,
  Text = 3,
  CData = 4,
  ProcessingInstruction = 7,
  Comment = 8,
  Document = 9,
};

class NodeList;

class Node {
 public:
  Node() = default;
  explicit operator bool() const { return data_ != nullptr; }
  bool operator==(const Node& other) const { return data_ == other.data_; }
  bool operator!=(const Node& other) const { return data_ != other.data_; }

  NodeType Type() const;
  // The name as written, namespace prefix included ("#text", "#comment",
  // "#cdata-section" and "#document" for the nodes without a name).
  const std::u16string& Name() const;
  // The name without its namespace prefix.
  std::u16string_view LocalName() const;
  // True for an element with exactly one child, a text node.
  bool IsTextElement() const;
  // The text of a text element, an attribute's value, the content of a text,
  // CDATA, comment or processing-instruction node; empty otherwise.
  const std::u16string& Value() const;
  NodeList ChildNodes() const;
  NodeList Attributes() const;

 private:
  friend class NodeList;
  friend class Document;
  explicit Node(const detail::NodeData* data) : data_(data) {}
  const detail::NodeData* data_ = nullptr;
};

// A node's children (every kind, in document order) or its attributes.
class NodeList {
 public:
  NodeList() = default;
  size_t Count() const;
  // The node at a 0-based position; nothing past the end.
  Node Item(size_t index) const;
  // The first node whose name or local name equals the name; nothing if none.
  Node FindByName(std::u16string_view name) const;

 private:
  friend class Node;
  explicit NodeList(const void* items) : items_(items) {}
  const void* items_ = nullptr;  // const std::vector<NodeData*>*
};

// Options of a document.
enum DocumentOptions : unsigned { kAutoIndent = 1 };

class Document {
 public:
  explicit Document(std::u16string version = u"1.0");
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;

  // Discards the tree; the document is closed until Open.
  void Close();
  // Forgets the source bytes held for the next Open.
  void ClearSource();
  // Parses the held source into a new tree, or gives an empty tree when none
  // is held. Nothing happens when the document is already open. A failure
  // (qelt::Exception with reason, line and line text) leaves it open, empty
  // and without source.
  void Open();
  bool IsOpen() const { return tree_ != nullptr; }
  // Holds the bytes as source and opens the document from them (closing it
  // first). The bytes are in the encoding their own XML declaration names.
  void LoadFromBytes(std::string_view bytes);
  // The document node; nothing while closed.
  Node DocumentNode() const;

  // Declaration values and output settings; kept for the document's owner,
  // they do not change how a source is read.
  void SetStandalone(std::u16string value) { standalone_ = std::move(value); }
  void SetVersion(std::u16string value) { version_ = std::move(value); }
  void SetEncoding(std::u16string value) { encoding_ = std::move(value); }
  void SetOptions(unsigned options) { options_ = options; }
  void SetIndent(std::u16string indent) { indent_ = std::move(indent); }
  const std::u16string& Standalone() const { return standalone_; }
  const std::u16string& Version() const { return version_; }
  const std::u16string& Encoding() const { return encoding_; }
  unsigned Options() const { return options_; }
  const std::u16string& Indent() const { return indent_; }

 private:
  std::unique_ptr<detail::Tree> tree_;
  std::string source_;
  bool hasSource_ = false;  // an empty source is held too (and fails to parse)
  std::u16string standalone_, version_, encoding_, indent_;
  unsigned options_ = 0;
};

}  // namespace qelt::xml
