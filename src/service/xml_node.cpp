#include "service/xml_node.h"

#include <cstring>
#include <utility>

namespace pellandor {

XmlNode::XmlNode(XmlNode* parentNode) : parent(parentNode), depth(parentNode ? parentNode->depth + 1 : 0) {
}

XmlNode::~XmlNode() {
    // Taken apart iteratively: a hostile answer can nest deeply enough to
    // overflow the stack if every level destroyed the next recursively.
    std::vector<std::unique_ptr<XmlNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<XmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

XmlNode* XmlNode::addChild() {
    children.push_back(std::make_unique<XmlNode>(this));
    return children.back().get();
}

const std::string* XmlNode::findValue(const char* wanted, const char* attribute) const {
    if (wanted == nullptr) return nullptr;
    // Pre-order walk with an explicit stack, for the same reason as above.
    std::vector<const XmlNode*> stack{this};
    while (!stack.empty()) {
        const XmlNode* node = stack.back();
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
