#include "service/xml_node.h"

#include <cstring>
#include <utility>

namespace pellandor {

CXMLNode::CXMLNode(CXMLNode* parentNode) : parent(parentNode), depth(parentNode ? parentNode->depth + 1 : 0) {
}

CXMLNode::~CXMLNode() {
    // Taken apart iteratively: a hostile answer can nest deeply enough to
    // overflow the stack if every level destroyed the next recursively.
    std::vector<std::unique_ptr<CXMLNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<CXMLNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

CXMLNode* CXMLNode::AddChild() {
    children.push_back(std::make_unique<CXMLNode>(this));
    return children.back().get();
}

const std::string* CXMLNode::FindValue(const char* wanted, const char* attribute) const {
    if (wanted == nullptr) return nullptr;
    // Pre-order walk with an explicit stack, for the same reason as above.
    std::vector<const CXMLNode*> stack{this};
    while (!stack.empty()) {
        const CXMLNode* node = stack.back();
        stack.pop_back();
        if (node->name == wanted) {
            if (attribute == nullptr) return &node->text;
            const auto it = node->attributes.find(attribute);
            return it == node->attributes.end() ? nullptr : &it->second;
        }
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
            stack.push_back(it->get());
        }
    }
    return nullptr;
}

}  // namespace pellandor
