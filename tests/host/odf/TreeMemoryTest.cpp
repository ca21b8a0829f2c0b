// pugixml's trees in chunked memory: trees made before and after the switch
// stay whole and are released, large parts and small nodes alike.
#include <gtest/gtest.h>

#include <memory>
#include <pugixml.hpp>
#include <string>

#include "host/odf/TreeMemory.h"

namespace {

// Rows of numbered elements, one of them with a text larger than a chunk.
std::string Rows(int count) {
  std::string xml = "<t>";
  for (int k = 0; k < count; ++k) xml += "<r a=\"" + std::to_string(k) + "\">row " + std::to_string(k) + "</r>";
  xml += "<big>" + std::string(size_t(3) << 20, 'x') + "</big></t>";
  return xml;
}

void ExpectWhole(const pugi::xml_document& doc, int count) {
  int k = 0;
  for (pugi::xml_node r : doc.child("t").children("r")) {
    ASSERT_EQ(r.attribute("a").as_int(-1), k);
    ASSERT_EQ(std::string(r.child_value()), "row " + std::to_string(k));
    ++k;
  }
  EXPECT_EQ(k, count);
  EXPECT_EQ(std::string(doc.child("t").child_value("big")).size(), size_t(3) << 20);
}

}  // namespace

TEST(TreeMemory, TreesBeforeAndAfterTheSwitchStayWholeAndAreReleased) {
  const int count = 40000;
  const std::string xml = Rows(count);
  auto before = std::make_unique<pugi::xml_document>();
  ASSERT_TRUE(before->load_string(xml.c_str()));
  host::odf::UseChunkedTreeMemory();
  host::odf::UseChunkedTreeMemory();  // a second call changes nothing
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    pugi::xml_document a, b;
    ASSERT_TRUE(a.load_string(xml.c_str()));
    ASSERT_TRUE(b.load_string(xml.c_str()));
    a.child("t").append_child("grown").text() = "after b";  // a grows after b was made
    ExpectWhole(b, count);
    b.reset();
    ExpectWhole(a, count);
    EXPECT_STREQ(a.child("t").child_value("grown"), "after b");
  }
  ExpectWhole(*before, count);
  before.reset();  // released as it was taken
}
