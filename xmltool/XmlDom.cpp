// Node handles, node lists and the document's open/close life cycle.
#include "XmlDom.h"

#include "XmlTree.h"

namespace qelt::xml {
namespace {

const std::u16string kEmpty;

using Items = std::vector<detail::NodeData*>;

const Items* AsItems(const void* p) { return static_cast<const Items*>(p); }

}  // namespace

NodeType Node::Type() const { return data_ ? data_->type : NodeType::None; }

const std::u16string& Node::Name() const { return data_ ? data_->name : kEmpty; }

std::u16string_view Node::LocalName() const {
  std::u16string_view name = Name();
  const size_t colon = name.find(u':');
  return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

bool Node::IsTextElement() const {
  return data_ && data_->type == NodeType::Element && data_->children.size() == 1 &&
         data_->children[0]->type == NodeType::Text;
}

const std::u16string& Node::Value() const {
  if (!data_) return kEmpty;
  switch (data_->type) {
    case NodeType::Element: return IsTextElement() ? data_->children[0]->value : kEmpty;
    case NodeType::Document: return kEmpty;
    default: return data_->value;
  }
}

NodeList Node::ChildNodes() const { return NodeList(data_ ? &data_->children : nullptr); }

NodeList Node::Attributes() const { return NodeList(data_ ? &data_->attributes : nullptr); }

size_t NodeList::Count() const { return items_ ? AsItems(items_)->size() : 0; }

Node NodeList::Item(size_t index) const {
  return index < Count() ? Node((*AsItems(items_))[index]) : Node();
}

Node NodeList::FindByName(std::u16string_view name) const {
  for (size_t i = 0; i < Count(); ++i) {
    const Node n = Item(i);
    if (n.Name() == name || n.LocalName() == name) return n;
  }
  return Node();
}

Document::Document(std::u16string version) : version_(std::move(version)) { Open(); }
Document::~Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

void Document::Close() { tree_.reset(); }

void Document::ClearSource() {
  source_.clear();
  hasSource_ = false;
}

void Document::Open() {
  if (tree_) return;
  auto tree = std::make_unique<detail::Tree>();
  if (hasSource_) {
    try {
      detail::ParseBytes(source_, *tree);
    } catch (...) {
      ClearSource();
      tree_ = std::make_unique<detail::Tree>();
      throw;
    }
  }
  tree_ = std::move(tree);
}

void Document::LoadFromBytes(std::string_view bytes) {
  Close();
  source_.assign(bytes);
  hasSource_ = true;
  Open();
}

Node Document::DocumentNode() const { return tree_ ? Node(tree_->Root()) : Node(); }

}  // namespace qelt::xml
