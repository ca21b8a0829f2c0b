#include "host/io/XmlScanner.h"

#include <cstring>

namespace host {

namespace {

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

inline bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}
inline bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Checks an entity reference starting at '&'; returns one past ';' or nullptr.
const char* CheckEntity(const char* p, const char* end) {
  const char* q = p + 1;
  if (q < end && *q == '#') {
    ++q;
    bool hex = q < end && *q == 'x';
    if (hex) ++q;
    const char* digits = q;
    unsigned long value = 0;
    while (q < end && *q != ';') {
      char c = *q;
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return nullptr;
      value = value * (hex ? 16 : 10) + d;
      if (value > 0x10FFFF) return nullptr;
      ++q;
    }
    if (q == digits || q >= end || value == 0) return nullptr;
    return q + 1;
  }
  static const char* const names[] = {"amp;", "lt;", "gt;", "quot;", "apos;"};
  for (const char* n : names) {
    size_t len = std::strlen(n);
    if (static_cast<size_t>(end - q) >= len && std::memcmp(q, n, len) == 0) return q + len;
  }
  return nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void XmlScanner::Fail(const std::string& what) const { FailAt(p_, what); }

void XmlScanner::FailAt(const char* where, const std::string& what) const {
  if (where > end_) where = end_;
  throw XmlFault{what + " (at byte " + std::to_string(where - begin_) + ")"};
}

void XmlScanner::SkipComment() {
  // p_ at "<!--"
  const char* q = p_ + 4;
  while (true) {
    q = static_cast<const char*>(std::memchr(q, '-', end_ - q));
    if (!q || end_ - q < 3) FailAt(p_, "unterminated comment");
    if (q[1] == '-') {
      if (q[2] != '>') FailAt(q, "\"--\" inside a comment");
      p_ = q + 3;
      return;
    }
    ++q;
  }
}

void XmlScanner::SkipPI() {
  const char* q = p_ + 2;
  while (true) {
    q = static_cast<const char*>(std::memchr(q, '?', end_ - q));
    if (!q || end_ - q < 2) FailAt(p_, "unterminated processing instruction");
    if (q[1] == '>') {
      p_ = q + 2;
      return;
    }
    ++q;
  }
}

void XmlScanner::SkipCData() {
  const char* q = p_ + 9;
  while (true) {
    q = static_cast<const char*>(std::memchr(q, ']', end_ - q));
    if (!q || end_ - q < 3) FailAt(p_, "unterminated CDATA section");
    if (q[1] == ']' && q[2] == '>') {
      p_ = q + 3;
      return;
    }
    ++q;
  }
}

void XmlScanner::SkipProlog() {
  if (end_ - p_ >= 3 && static_cast<unsigned char>(p_[0]) == 0xEF &&
      static_cast<unsigned char>(p_[1]) == 0xBB && static_cast<unsigned char>(p_[2]) == 0xBF)
    p_ += 3;
  while (p_ < end_) {
    if (IsSpace(*p_)) {
      ++p_;
    } else if (*p_ == '<' && end_ - p_ >= 2 && p_[1] == '?') {
      SkipPI();
    } else if (*p_ == '<' && end_ - p_ >= 4 && std::memcmp(p_, "<!--", 4) == 0) {
      SkipComment();
    } else if (*p_ == '<' && end_ - p_ >= 2 && p_[1] == '!') {
      Fail("document type declarations are not accepted");
    } else if (*p_ == '<') {
      return;
    } else {
      Fail("text before the root element");
    }
  }
  Fail("no root element");
}

void XmlScanner::SkipMisc(bool allowText) {
  while (p_ < end_) {
    char c = *p_;
    if (IsSpace(c)) {
      ++p_;
    } else if (c == '<') {
      if (end_ - p_ >= 2 && p_[1] == '?') {
        SkipPI();
      } else if (end_ - p_ >= 4 && std::memcmp(p_, "<!--", 4) == 0) {
        SkipComment();
      } else if (end_ - p_ >= 2 && p_[1] == '!') {
        if (end_ - p_ >= 9 && std::memcmp(p_, "<![CDATA[", 9) == 0 && allowText) {
          SkipCData();
        } else {
          Fail("unexpected markup declaration");
        }
      } else {
        return;
      }
    } else if (allowText) {
      const char* lt = static_cast<const char*>(std::memchr(p_, '<', end_ - p_));
      const char* stop = lt ? lt : end_;
      CheckText(p_, stop);
      p_ = stop;
    } else {
      Fail("unexpected text");
    }
  }
}

void XmlScanner::CheckText(const char* from, const char* to) const {
  const char* q = from;
  while ((q = static_cast<const char*>(std::memchr(q, '&', to - q))) != nullptr) {
    const char* after = CheckEntity(q, to);
    if (!after) FailAt(q, "undefined or malformed entity reference");
    q = after;
  }
}

XmlScanner::Tag XmlScanner::ReadTag() {
  Tag tag;
  tag.begin = p_;
  if (p_ >= end_ || *p_ != '<') Fail("a tag was expected");
  const char* q = p_ + 1;
  if (q < end_ && *q == '/') {
    tag.isEnd = true;
    ++q;
  }
  const char* nameStart = q;
  if (q >= end_ || !IsNameStart(static_cast<unsigned char>(*q))) FailAt(q, "malformed tag name");
  while (q < end_ && IsNameChar(static_cast<unsigned char>(*q))) ++q;
  tag.qname = std::string_view(nameStart, q - nameStart);
  tag.local = LocalName(tag.qname);
  if (tag.local.empty()) FailAt(nameStart, "malformed tag name");
  tag.attrs = q;
  if (tag.isEnd) {
    while (q < end_ && IsSpace(*q)) ++q;
    if (q >= end_ || *q != '>') FailAt(q, "malformed end tag");
    tag.end = q + 1;
    p_ = tag.end;
    return tag;
  }
  // Attributes: name = "value" pairs separated by white space.
  while (true) {
    const char* ws = q;
    while (q < end_ && IsSpace(*q)) ++q;
    if (q >= end_) FailAt(tag.begin, "unterminated tag");
    if (*q == '>') {
      tag.end = q + 1;
      break;
    }
    if (*q == '/') {
      if (q + 1 >= end_ || q[1] != '>') FailAt(q, "malformed tag");
      tag.selfClosing = true;
      tag.end = q + 2;
      break;
    }
    if (ws == q) FailAt(q, "attributes must be separated by white space");
    if (!IsNameStart(static_cast<unsigned char>(*q))) FailAt(q, "malformed attribute name");
    while (q < end_ && IsNameChar(static_cast<unsigned char>(*q))) ++q;
    while (q < end_ && IsSpace(*q)) ++q;
    if (q >= end_ || *q != '=') FailAt(q, "attribute without a value");
    ++q;
    while (q < end_ && IsSpace(*q)) ++q;
    if (q >= end_ || (*q != '"' && *q != '\'')) FailAt(q, "attribute value without quotes");
    char quote = *q++;
    const char* valueStart = q;
    const char* close = static_cast<const char*>(std::memchr(q, quote, end_ - q));
    if (!close) FailAt(valueStart, "unterminated attribute value");
    if (std::memchr(valueStart, '<', close - valueStart)) FailAt(valueStart, "'<' in an attribute value");
    CheckText(valueStart, close);
    q = close + 1;
  }
  p_ = tag.end;
  return tag;
}

bool XmlScanner::NextAttribute(const char*& cursor, const char* tagEnd, std::string_view& name,
                               std::string_view& value) {
  const char* q = cursor;
  while (q < tagEnd && IsSpace(*q)) ++q;
  if (q >= tagEnd || *q == '>' || *q == '/') {
    cursor = q;
    return false;
  }
  // The tag was checked when it was read: the name runs to '=' (white
  // space may stand before it), the value to the next quote of its kind.
  // memchr finds both in the long attribute values cells carry.
  const char* nameStart = q;
  const char* equals = static_cast<const char*>(std::memchr(q, '=', static_cast<size_t>(tagEnd - q)));
  q = equals ? equals : tagEnd;
  const char* nameEnd = q;
  while (nameEnd > nameStart && IsSpace(nameEnd[-1])) --nameEnd;
  name = std::string_view(nameStart, static_cast<size_t>(nameEnd - nameStart));
  while (q < tagEnd && *q != '"' && *q != '\'') ++q;
  const char quote = *q++;
  const char* valueEnd = static_cast<const char*>(std::memchr(q, quote, static_cast<size_t>(tagEnd - q)));
  if (!valueEnd) valueEnd = tagEnd;
  value = std::string_view(q, static_cast<size_t>(valueEnd - q));
  cursor = valueEnd + 1;
  return true;
}

bool XmlScanner::NextChild(const Tag& parent, Tag& child) {
  SkipMisc(true);
  child = ReadTag();
  if (!child.isEnd) return true;
  if (child.qname != parent.qname)
    FailAt(child.begin, "</" + std::string(child.qname) + "> does not close <" + std::string(parent.qname) + ">");
  return false;
}

std::string_view XmlScanner::ReadText() {
  const char* start = p_;
  const char* lt = static_cast<const char*>(std::memchr(p_, '<', end_ - p_));
  if (!lt) Fail("unterminated element");
  CheckText(start, lt);
  p_ = lt;
  return std::string_view(start, lt - start);
}

std::string_view XmlScanner::ReadContent() {
  const char* start = p_;
  while (true) {
    const char* lt = static_cast<const char*>(std::memchr(p_, '<', end_ - p_));
    if (!lt) Fail("unterminated element");
    CheckText(p_, lt);
    p_ = lt;
    if (end_ - p_ >= 9 && std::memcmp(p_, "<![CDATA[", 9) == 0) {
      SkipCData();
    } else if (end_ - p_ >= 4 && std::memcmp(p_, "<!--", 4) == 0) {
      SkipComment();
    } else if (end_ - p_ >= 2 && p_[1] == '?') {
      SkipPI();
    } else {
      return std::string_view(start, p_ - start);
    }
  }
}

void XmlScanner::ExpectEnd(const Tag& start) {
  while (p_ < end_ && IsSpace(*p_)) ++p_;
  Tag tag = ReadTag();
  if (!tag.isEnd || tag.qname != start.qname)
    FailAt(tag.begin, "<" + std::string(start.qname) + "> is not closed where expected");
}

const char* XmlScanner::SkipContent(const Tag& start) {
  // Names of the open elements are checked against their end tags; the
  // nesting depth is bounded so that a hostile document cannot exhaust memory.
  constexpr int kMaxDepth = 256;
  std::string_view open[kMaxDepth];
  int depth = 0;
  open[depth++] = start.qname;
  while (true) {
    SkipMisc(true);
    if (p_ >= end_) FailAt(start.begin, "<" + std::string(start.qname) + "> is never closed");
    if (end_ - p_ >= 9 && std::memcmp(p_, "<![CDATA[", 9) == 0) {
      SkipCData();
      continue;
    }
    const char* tagStart = p_;
    Tag tag = ReadTag();
    if (tag.isEnd) {
      if (tag.qname != open[depth - 1])
        FailAt(tagStart, "</" + std::string(tag.qname) + "> does not close <" + std::string(open[depth - 1]) + ">");
      if (--depth == 0) return tagStart;
    } else if (!tag.selfClosing) {
      if (depth >= kMaxDepth) FailAt(tagStart, "elements nested too deeply");
      open[depth++] = tag.qname;
    }
  }
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendDecodedXml(std::string& out, std::string_view raw) {
  size_t i = 0;
  while (i < raw.size()) {
    size_t amp = raw.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(raw.substr(i));
      return;
    }
    out.append(raw.substr(i, amp - i));
    size_t semi = raw.find(';', amp);
    if (semi == std::string_view::npos) {
      out.append(raw.substr(amp));
      return;
    }
    std::string_view ent = raw.substr(amp + 1, semi - amp - 1);
    if (ent == "amp") out.push_back('&');
    else if (ent == "lt") out.push_back('<');
    else if (ent == "gt") out.push_back('>');
    else if (ent == "quot") out.push_back('"');
    else if (ent == "apos") out.push_back('\'');
    else if (!ent.empty() && ent[0] == '#') {
      unsigned long cp = 0;
      bool hex = ent.size() > 1 && ent[1] == 'x';
      for (size_t k = hex ? 2 : 1; k < ent.size(); ++k) {
        int d = HexValue(ent[k]);
        if (d < 0 || (!hex && d > 9)) break;
        cp = cp * (hex ? 16 : 10) + d;
        if (cp > 0x10FFFF) break;
      }
      AppendUtf8(out, cp <= 0x10FFFF ? cp : 0xFFFD);
    } else {
      out.append(raw.substr(amp, semi - amp + 1));
    }
    i = semi + 1;
  }
}

namespace {

// Appends raw with every CR LF and lone CR made a LF.
void AppendLineEndsNormalised(std::string& out, std::string_view raw) {
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\r') {
      out.push_back(raw[i]);
      continue;
    }
    out.push_back('\n');
    if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
  }
}

// Text between markup: line ends first, then the references (which may
// themselves stand for a CR that is kept).
void AppendCharacterData(std::string& out, std::string_view raw) {
  if (raw.find('\r') == std::string_view::npos) {
    AppendDecodedXml(out, raw);
    return;
  }
  std::string normal;
  normal.reserve(raw.size());
  AppendLineEndsNormalised(normal, raw);
  AppendDecodedXml(out, normal);
}

}  // namespace

void AppendTextContent(std::string& out, std::string_view raw) {
  while (!raw.empty()) {
    size_t lt = raw.find('<');
    AppendCharacterData(out, raw.substr(0, lt));
    if (lt == std::string_view::npos) return;
    raw.remove_prefix(lt);
    struct Markup {
      std::string_view open, close;
      bool isText;
    };
    static const Markup kinds[] = {{"<![CDATA[", "]]>", true}, {"<!--", "-->", false}, {"<?", "?>", false}};
    const Markup* kind = nullptr;
    for (const Markup& k : kinds)
      if (raw.substr(0, k.open.size()) == k.open) kind = &k;
    if (!kind) {
      // Not content the scanner lets through; kept as text.
      AppendCharacterData(out, raw);
      return;
    }
    size_t close = raw.find(kind->close, kind->open.size());
    std::string_view inner = raw.substr(kind->open.size(), close == std::string_view::npos ? std::string_view::npos
                                                                                          : close - kind->open.size());
    if (kind->isText) AppendLineEndsNormalised(out, inner);
    if (close == std::string_view::npos) return;
    raw.remove_prefix(close + kind->close.size());
  }
}

std::string DecodeTextContent(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  AppendTextContent(out, raw);
  return out;
}

std::string DecodeXml(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  AppendDecodedXml(out, raw);
  return out;
}

void AppendEscapedXml(std::string& out, std::string_view text, bool forAttribute) {
  // Runs of characters that need no reference are appended whole.
  const auto needsReference = [forAttribute](char c) {
    return c == '&' || c == '<' || c == '>' || (forAttribute && (c == '"' || c == '\n' || c == '\r' || c == '\t'));
  };
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!needsReference(c)) continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:  // a line break or tab in an attribute, which readers would make a space
        out += "&#";
        out += std::to_string(static_cast<int>(c));
        out.push_back(';');
    }
  }
  out.append(text.substr(run));
}

void RejectDocumentType(std::string_view document) {
  XmlScanner scanner(document.data(), document.size());
  scanner.SkipProlog();
}

}  // namespace host
