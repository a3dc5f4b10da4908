// The node storage behind the handles of XmlDom.h, and the parser's entry.
#pragma once
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "XmlDom.h"

namespace qelt::xml::detail {

struct NodeData {
  NodeType type = NodeType::None;
  std::u16string name;
  std::u16string value;
  std::vector<NodeData*> children;
  std::vector<NodeData*> attributes;
};

// Owns every node of one document; the first node is the document node.
struct Tree {
  Tree() { NewNode(NodeType::Document, u"#document"); }
  NodeData* Root() { return &nodes.front(); }
  NodeData* NewNode(NodeType type, std::u16string_view name) {
    nodes.emplace_back();
    NodeData* n = &nodes.back();
    n->type = type;
    n->name.assign(name);
    return n;
  }
  std::deque<NodeData> nodes;
};

// Limits that keep hostile input harmless.
constexpr size_t kMaxDepth = 1024;           // element nesting
constexpr size_t kMaxEntityNesting = 64;     // entity references inside replacement texts
constexpr size_t kExpansionBudget = 1u << 22;  // characters produced by entity expansion
constexpr size_t kDefaultsBudget = 1u << 22;   // characters added by attribute defaults
constexpr size_t kDefaultNodeCost = 32;        // what a defaulted attribute's node counts for, in characters

// Parses bytes into the tree. Throws qelt::Exception whose message is the
// reason, CR LF, "Line: N", CR LF and the first 40 characters of the line.
void ParseBytes(std::string_view bytes, Tree& tree);

}  // namespace qelt::xml::detail
