// The node storage behind the handles of XmlDom.h, and the parser's entry.
#pragma once
#include <memory>
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
// Nodes are made in blocks, which keeps their addresses fixed and costs one
// allocation per block rather than one per few nodes.
struct Tree {
  Tree() { NewNode(NodeType::Document, u"#document"); }
  NodeData* Root() { return &blocks.front()[0]; }
  NodeData* NewNode(NodeType type, std::u16string_view name) {
    if (used == kBlockNodes) {
      blocks.push_back(std::make_unique<NodeData[]>(kBlockNodes));
      used = 0;
    }
    NodeData* n = &blocks.back()[used++];
    n->type = type;
    n->name.assign(name);
    return n;
  }

  static constexpr size_t kBlockNodes = 256;
  std::vector<std::unique_ptr<NodeData[]>> blocks;
  size_t used = kBlockNodes;  // in the last block
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
