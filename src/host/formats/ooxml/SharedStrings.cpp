#include "host/formats/ooxml/SharedStrings.h"

#include "host/core/HugePages.h"
#include "host/io/XmlScanner.h"
#include "host/formats/ooxml/OoxmlEscapes.h"

namespace host::ooxml {

namespace {

// Appends the decoded content of a <t> element (the scanner stands after its
// start tag) and reads its end tag.
void ReadTextElement(XmlScanner& scanner, const XmlScanner::Tag& tag, std::string& out) {
  if (tag.selfClosing) return;
  std::string_view raw = scanner.ReadContent();
  size_t before = out.size();
  AppendTextContent(out, raw);
  if (HasOoxmlEscape(std::string_view(out).substr(before))) {
    std::string decoded = DecodeOoxmlEscapes(std::string_view(out).substr(before));
    out.resize(before);
    out += decoded;
  }
  scanner.ExpectEnd(tag);
}

// Reads the runs of a rich text run <r>: only its <t> counts.
void ReadRun(XmlScanner& scanner, const XmlScanner::Tag& run, std::string& out) {
  if (run.selfClosing) return;
  while (true) {
    scanner.SkipMisc();
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd) {
      if (tag.qname != run.qname) scanner.FailAt(tag.begin, "mismatched end tag in a text run");
      return;
    }
    if (tag.local == "t") ReadTextElement(scanner, tag, out);
    else if (!tag.selfClosing) scanner.SkipContent(tag);
  }
}

}  // namespace

SharedStrings::SharedStrings(std::string_view xml) {
  XmlScanner scanner(xml.data(), xml.size());
  scanner.SkipProlog();
  XmlScanner::Tag root = scanner.ReadTag();
  if (root.isEnd || root.local != "sst") scanner.FailAt(root.begin, "the root element is not <sst>");
  // Room for what a table of this size holds (an <si> takes 16 bytes or
  // more), in huge pages; what stays unused is never touched, so neither
  // is shrunk afterwards (which would copy the table).
  text_.reserve(xml.size() / 3);
  offsets_.reserve(xml.size() / 16 + 1);
  AdviseReserved(text_);
  AdviseReserved(offsets_);
  offsets_.push_back(0);
  if (!root.selfClosing) {
    while (true) {
      scanner.SkipMisc();
      if (scanner.AtEnd()) scanner.Fail("<sst> is never closed");
      XmlScanner::Tag tag = scanner.ReadTag();
      if (tag.isEnd) {
        if (tag.qname != root.qname) scanner.FailAt(tag.begin, "mismatched end tag");
        break;
      }
      if (tag.local != "si") {
        if (!tag.selfClosing) scanner.SkipContent(tag);
        continue;
      }
      if (!tag.selfClosing) {
        while (true) {
          scanner.SkipMisc();
          XmlScanner::Tag child = scanner.ReadTag();
          if (child.isEnd) {
            if (child.qname != tag.qname) scanner.FailAt(child.begin, "mismatched end tag in a string");
            break;
          }
          if (child.local == "t") ReadTextElement(scanner, child, text_);
          else if (child.local == "r") ReadRun(scanner, child, text_);
          else if (!child.selfClosing) scanner.SkipContent(child);  // rPh, phoneticPr
        }
      }
      offsets_.push_back(text_.size());
    }
    scanner.SkipMisc();
    if (!scanner.AtEnd()) scanner.Fail("content after the root element");
  }
}

}  // namespace host::ooxml
