// The allocation-free XML scanner: well-formedness checks and entities.

#include <gtest/gtest.h>

#include "host/io/XmlScanner.h"

namespace {

void SkipDocument(const std::string& xml) {
  host::XmlScanner scanner(xml.data(), xml.size());
  scanner.SkipProlog();
  host::XmlScanner::Tag root = scanner.ReadTag();
  if (!root.selfClosing) scanner.SkipContent(root);
  scanner.SkipMisc();
  if (!scanner.AtEnd()) scanner.Fail("content after the root element");
}

TEST(XmlScanner, AcceptsWellFormedDocuments) {
  EXPECT_NO_THROW(SkipDocument("<?xml version=\"1.0\"?>\n<!-- c --><a x='1' y=\"&amp;&#65;&#x42;\"><b/><c>t&lt;<![CDATA[<x>]]></c><?pi x?></a>\n"));
  EXPECT_NO_THROW(SkipDocument("\xEF\xBB\xBF<p:a xmlns:p=\"u\"><p:b></p:b></p:a>"));
}

TEST(XmlScanner, RefusesMalformedDocuments) {
  for (const char* bad : {"<a><b></a>", "<a>", "<a x=1/>", "<a x=\"1\"y=\"2\"/>", "<a>&nope;</a>", "<a>&#0;</a>",
                          "<a x=\"<\"/>", "text<a/>", "<a/><b/>", "<!DOCTYPE a><a/>", "<a><!-- x -- y --></a>",
                          "<a></b>", "", "<a><![CDATA[x</a>", "<1a/>", "<a>&#x110000;</a>"})
    EXPECT_THROW(SkipDocument(bad), host::XmlFault) << bad;
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<d>";
  EXPECT_THROW(SkipDocument(deep), host::XmlFault);
}

TEST(XmlScanner, NextChildReadsChildrenUpToTheParentsEnd) {
  std::string xml = "<a>text<b/><!-- c --><c>x</c></a>";
  host::XmlScanner scanner(xml.data(), xml.size());
  host::XmlScanner::Tag a = scanner.ReadTag(), child;
  std::string names;
  while (scanner.NextChild(a, child)) {
    names += std::string(child.qname) + ";";
    if (!child.selfClosing) scanner.SkipContent(child);
  }
  EXPECT_EQ(names, "b;c;");
  EXPECT_TRUE(scanner.AtEnd());
  std::string crossed = "<a><b/></c>";
  host::XmlScanner bad(crossed.data(), crossed.size());
  host::XmlScanner::Tag root = bad.ReadTag();
  EXPECT_TRUE(bad.NextChild(root, child));
  EXPECT_THROW(bad.NextChild(root, child), host::XmlFault);
}

TEST(XmlScanner, DocumentTypeDeclarationsAreRefused) {
  EXPECT_THROW(host::RejectDocumentType("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><x>&a;</x>"), host::XmlFault);
  EXPECT_THROW(host::RejectDocumentType("<!-- c --><!ENTITY a \"b\"><x/>"), host::XmlFault);
  EXPECT_NO_THROW(host::RejectDocumentType("<?xml version=\"1.0\"?><x><!-- <!DOCTYPE --></x>"));
}

TEST(XmlScanner, DecodingAndEscaping) {
  EXPECT_EQ(host::DecodeXml("a&amp;b&lt;c&gt;&quot;&apos;&#233;&#x20AC;"), "a&b<c>\"'\xC3\xA9\xE2\x82\xAC");
  std::string out;
  host::AppendEscapedXml(out, "a<b & \"c\"");
  EXPECT_EQ(out, "a&lt;b &amp; \"c\"");
  out.clear();
  host::AppendEscapedXml(out, "\"x\"\n", true);
  EXPECT_EQ(out, "&quot;x&quot;&#10;");
}

}  // namespace
