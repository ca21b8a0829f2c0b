#pragma once
// A small, allocation-free XML scanner over a byte buffer. It reads tags and
// attributes in place, skips whole elements while checking that they are well
// formed, and refuses document type declarations. The sheet readers use
// it so that a sheet of millions of cells needs no document tree.

#include <cstddef>
#include <string>
#include <string_view>

#include "host/core/HostError.h"

namespace host {

// A fault in the XML; the message says what and where (byte offset).

class XmlScanner {
 public:
  XmlScanner(const char* data, size_t size) : begin_(data), p_(data), end_(data + size) {}

  // One start or end tag, read at a '<'.
  struct Tag {
    std::string_view qname;  // the name with its prefix
    std::string_view local;  // the name without its prefix
    const char* begin;       // '<'
    const char* attrs;       // first byte after the name
    const char* end;         // one past '>'
    bool isEnd = false;      // </name>
    bool selfClosing = false;  // <name/>
  };

  size_t Offset() const { return static_cast<size_t>(p_ - begin_); }
  size_t OffsetOf(const char* q) const { return static_cast<size_t>(q - begin_); }
  const char* Position() const { return p_; }
  void SetPosition(const char* q) { p_ = q; }
  bool AtEnd() const { return p_ >= end_; }
  const char* End() const { return end_; }

  // Skips the XML declaration, comments, processing instructions and white
  // space before the root element; a DOCTYPE there is refused.
  void SkipProlog();
  // Skips white space, comments and processing instructions. Returns true when
  // the next byte is '<' of a tag (or the end was reached with AtEnd()).
  // Other text is refused unless allowText.
  void SkipMisc(bool allowText = false);
  // Reads the tag at the current '<' (start or end tag).
  Tag ReadTag();
  // After a start tag that is not self-closing: skips the content up to and
  // including the matching end tag, checking the nesting on the way.
  // Returns the position of the end tag's '<'.
  const char* SkipContent(const Tag& start);
  // Reads the next child element of parent (a start tag that is not
  // self-closing, its content read up to here), skipping text, comments and
  // processing instructions: true with the child's start tag, false at
  // parent's end tag (checked to close it).
  bool NextChild(const Tag& parent, Tag& child);
  // Reads character content up to the next '<' (checking entity references)
  // and returns it raw. CDATA sections and comments inside are not allowed.
  std::string_view ReadText();
  // Reads an element's character content up to its end tag and returns it
  // raw: text (entity references checked), CDATA sections, comments and
  // processing instructions, but no elements. AppendTextContent decodes it.
  std::string_view ReadContent();
  // Expects the end tag of start next (after optional white space).
  void ExpectEnd(const Tag& start);

  // Iterates over the attributes of a start tag: call with a cursor starting
  // at tag.attrs; fills name (qname) and raw value; false at the end.
  static bool NextAttribute(const char*& cursor, const char* tagEnd, std::string_view& name,
                            std::string_view& value);

  [[noreturn]] void Fail(const std::string& what) const;
  [[noreturn]] void FailAt(const char* where, const std::string& what) const;

 private:
  void SkipComment();
  void SkipPI();
  void SkipCData();
  void CheckText(const char* from, const char* to) const;

  const char* begin_;
  const char* p_;
  const char* end_;
};

// The local part of a qualified name ("x:row" -> "row").
inline std::string_view LocalName(std::string_view qname) {
  size_t colon = qname.rfind(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// Appends the UTF-8 form of a Unicode code point.
void AppendUtf8(std::string& out, unsigned long cp);
// Text with the five predefined entities and character references replaced.
std::string DecodeXml(std::string_view raw);
// Appends raw decoded into out.
void AppendDecodedXml(std::string& out, std::string_view raw);
// Appends the text of raw element content as XML defines it: entity and
// character references replaced, CDATA sections taken as they are, comments
// and processing instructions left out, and every CR LF or lone CR of the
// source made a LF (a CR written as "&#13;" stays a CR).
void AppendTextContent(std::string& out, std::string_view raw);
// The same, as a new string.
std::string DecodeTextContent(std::string_view raw);
// Appends text escaped for element content (& < >) or, when forAttribute,
// for a double-quoted attribute value as well.
void AppendEscapedXml(std::string& out, std::string_view text, bool forAttribute = false);

// Throws XmlFault when the document's prolog holds a document type
// declaration (entities are never expanded, so such documents are refused).
void RejectDocumentType(std::string_view document);

}  // namespace host
