#include "host/formats/ooxml/AlternateContent.h"

#include <pugixml.hpp>

#include <utility>
#include <vector>

#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

constexpr std::string_view kCompatibility = "http://schemas.openxmlformats.org/markup-compatibility/2006";

// The namespaces whose content the host reads: SpreadsheetML and its
// relationships, in their transitional and strict forms.
bool Understood(std::string_view uri) {
  return uri == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
         uri == "http://purl.oclc.org/ooxml/spreadsheetml/main" ||
         uri == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
         uri == "http://purl.oclc.org/ooxml/officeDocument/relationships" || uri == kCompatibility;
}

std::string_view PrefixOf(std::string_view qname) {
  size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

// True when every prefix of a Requires list maps to an understood namespace.
template <typename Lookup>
bool RequirementsMet(std::string_view required, const Lookup& uriOf) {
  bool any = false;
  size_t at = 0;
  while (at < required.size()) {
    size_t end = required.find_first_of(" \t\r\n", at);
    if (end == std::string_view::npos) end = required.size();
    if (end > at) {
      any = true;
      if (!Understood(uriOf(required.substr(at, end - at)))) return false;
    }
    at = end + 1;
  }
  return any;
}

// ---- document trees

std::string_view TreeUri(pugi::xml_node node, std::string_view prefix) {
  std::string name = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  for (; node; node = node.parent())
    if (pugi::xml_attribute a = node.attribute(name.c_str())) return a.value();
  return {};
}

bool IsAlternate(pugi::xml_node node) {
  return node.type() == pugi::node_element && LocalName(node.name()) == "AlternateContent" &&
         TreeUri(node, PrefixOf(node.name())) == kCompatibility;
}

pugi::xml_node ChosenBranch(pugi::xml_node alternate) {
  for (pugi::xml_node branch : alternate.children()) {
    if (branch.type() != pugi::node_element) continue;
    std::string_view local = LocalName(branch.name());
    if (local == "Choice" &&
        RequirementsMet(branch.attribute("Requires").value(), [&](std::string_view p) { return TreeUri(branch, p); }))
      return branch;
    if (local == "Fallback") return branch;
  }
  return {};
}

// ---- worksheet bytes

using Declarations = std::vector<std::pair<std::string_view, std::string_view>>;  // prefix, uri

void Declare(const XmlScanner::Tag& tag, Declarations& scope) {
  const char* cursor = tag.attrs;
  std::string_view name, value;
  while (XmlScanner::NextAttribute(cursor, tag.end, name, value))
    if (name.substr(0, 6) == "xmlns:") scope.emplace_back(name.substr(6), value);
    else if (name == "xmlns") scope.emplace_back(std::string_view(), value);
}

std::string_view ScopeUri(const Declarations& scope, std::string_view prefix) {
  for (auto it = scope.rbegin(); it != scope.rend(); ++it)
    if (it->first == prefix) return it->second;
  return {};
}

std::string_view Attribute(const XmlScanner::Tag& tag, std::string_view wanted) {
  const char* cursor = tag.attrs;
  std::string_view name, value;
  while (XmlScanner::NextAttribute(cursor, tag.end, name, value))
    if (name == wanted) return value;
  return {};
}

// Copies the content of an element (the scanner stands after its start tag)
// up to its end tag, which is left unread, with alternatives resolved. The
// walk keeps its open elements on a stack of its own, not on the call stack:
// a sheet may nest elements many thousands deep.
class SheetFlattener {
 public:
  SheetFlattener(XmlScanner& scanner, std::string& out) : scanner_(scanner), out_(out) {}

  // Copies the content of parent, in whose scope `scope` is declared.
  void CopyContent(const XmlScanner::Tag& parent, Declarations scope) {
    scope_ = std::move(scope);
    open_.clear();
    open_.push_back({Frame::kElement, parent, scope_.size(), false});
    while (!open_.empty()) {
      if (open_.back().kind == Frame::kAlternate) NextBranch();
      else NextChild();
    }
  }

  void Finish(const char* end) { out_.append(copied_, end); }
  void Start(const char* from) { copied_ = from; }
  bool Resolved() const { return resolved_; }

 private:
  // An element whose content is being copied, an alternate-content element
  // whose branches are being weighed, or the branch taken.
  struct Frame {
    enum Kind { kElement, kAlternate, kBranch } kind;
    XmlScanner::Tag tag;
    size_t scopeSize;  // the declarations in scope outside it
    bool chosen;       // kAlternate: a branch was taken
  };

  // One step in an element or taken branch: a child opened, or the end tag
  // reached (left unread for the outermost element, read for the others).
  void NextChild() {
    const XmlScanner::Tag parent = open_.back().tag;
    scanner_.SkipMisc(true);
    if (scanner_.AtEnd()) scanner_.FailAt(parent.begin, "<" + std::string(parent.qname) + "> is never closed");
    const char* at = scanner_.Position();
    XmlScanner::Tag tag = scanner_.ReadTag();
    if (tag.isEnd) {
      scanner_.SetPosition(at);
      const Frame closed = open_.back();
      Close();
      if (closed.kind == Frame::kBranch) out_.append(copied_, at);
      if (!open_.empty()) scanner_.ReadTag();
      return;
    }
    const size_t outer = scope_.size();
    Declare(tag, scope_);
    if (tag.local == "AlternateContent" && ScopeUri(scope_, PrefixOf(tag.qname)) == kCompatibility) {
      out_.append(copied_, at);
      resolved_ = true;
      if (!tag.selfClosing) {
        open_.push_back({Frame::kAlternate, tag, outer, false});
        return;
      }
      copied_ = scanner_.Position();
    } else if (!tag.selfClosing) {
      open_.push_back({Frame::kElement, tag, outer, false});
      return;
    }
    scope_.resize(outer);
  }

  // One step in an alternate-content element: the first branch whose
  // requirements are met (or the fallback) is taken, the others skipped.
  void NextBranch() {
    scanner_.SkipMisc();
    XmlScanner::Tag branch = scanner_.ReadTag();
    if (branch.isEnd) {
      Close();
      copied_ = scanner_.Position();
      return;
    }
    const size_t outer = scope_.size();
    Declare(branch, scope_);
    bool& chosen = open_.back().chosen;
    bool take = !chosen && (branch.local == "Fallback" ||
                            (branch.local == "Choice" &&
                             RequirementsMet(Attribute(branch, "Requires"),
                                             [&](std::string_view p) { return ScopeUri(scope_, p); })));
    if (take) chosen = true;
    if (take && !branch.selfClosing) {
      copied_ = scanner_.Position();
      open_.push_back({Frame::kBranch, branch, outer, false});
      return;
    }
    if (!branch.selfClosing) scanner_.SkipContent(branch);
    scope_.resize(outer);
  }

  // Leaves the innermost open element, and the declarations made in it.
  void Close() {
    scope_.resize(open_.back().scopeSize);
    open_.pop_back();
  }

  XmlScanner& scanner_;
  std::string& out_;
  const char* copied_ = nullptr;
  bool resolved_ = false;
  Declarations scope_;
  std::vector<Frame> open_;
};

}  // namespace

void ResolveAlternateContent(pugi::xml_node root) {
  // A walk without recursion: a part may nest elements many thousands deep.
  pugi::xml_node parent = root;
  pugi::xml_node child = root.first_child();
  while (child) {
    if (IsAlternate(child)) {
      pugi::xml_node first;
      if (pugi::xml_node branch = ChosenBranch(child)) {
        while (pugi::xml_node moved = branch.first_child()) {
          parent.insert_move_before(moved, child);
          if (!first) first = moved;
        }
      }
      pugi::xml_node next = first ? first : child.next_sibling();
      parent.remove_child(child);
      child = next;
    } else if (child.first_child()) {
      parent = child;
      child = child.first_child();
      continue;
    } else {
      child = child.next_sibling();
    }
    while (!child && parent != root) {
      child = parent.next_sibling();
      parent = parent.parent();
    }
  }
}

bool ResolveSheetDataAlternates(std::string_view xml, std::string& out) {
  static constexpr char kName[] = "AlternateContent";
  if (xml.find(kName) == std::string_view::npos) return false;
  XmlScanner scanner(xml.data(), xml.size());
  scanner.SkipProlog();
  XmlScanner::Tag root = scanner.ReadTag();
  if (root.isEnd || root.selfClosing) return false;
  Declarations scope;
  Declare(root, scope);
  while (true) {
    scanner.SkipMisc();
    if (scanner.AtEnd()) return false;
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd) return false;
    if (tag.local != "sheetData") {
      if (!tag.selfClosing) scanner.SkipContent(tag);
      continue;
    }
    if (tag.selfClosing) return false;
    std::string result;
    result.reserve(xml.size());
    SheetFlattener flattener(scanner, result);
    flattener.Start(xml.data());
    Declarations inner = scope;
    Declare(tag, inner);
    flattener.CopyContent(tag, inner);
    flattener.Finish(xml.data() + xml.size());
    if (!flattener.Resolved()) return false;
    out = std::move(result);
    return true;
  }
}

}  // namespace host::ooxml
