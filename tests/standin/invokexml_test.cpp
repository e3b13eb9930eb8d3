// Invoke XML of CallFunction: what is accepted, how values read, what is refused.
#include "standin/invokexml.h"

#include <gtest/gtest.h>

namespace vexa::standin {
namespace {

using Kind = XmlValue::Kind;

TEST(InvokeXmlTest, ReadsNameAndArguments) {
  struct Case {
    const char* xml;
    const char* name;
    std::vector<std::pair<Kind, std::string>> args;
  } cases[] = {
      {"<invoke name=\"fn\" returntype=\"xml\"><arguments><string>a</string><number>12</number>"
       "</arguments></invoke>",
       "fn",
       {{Kind::kString, "a"}, {Kind::kNumber, "12"}}},
      {"<invoke name='f' returntype=\"string\"><arguments></arguments></invoke>", "f", {}},
      {"<invoke name=\"f\"><arguments/></invoke>", "f", {}},
      {"<invoke name=\"f\"></invoke>", "f", {}},
      {"<invoke name=\"f\"/>", "f", {}},
      {"  <invoke  name = \"a&amp;b\" >\n <arguments>\n <string/> <true/><false/><null/>"
       "<undefined/> <number> -1.5 </number>\n</arguments>\n</invoke>\n",
       "a&b",
       {{Kind::kString, ""},
        {Kind::kTrue, ""},
        {Kind::kFalse, ""},
        {Kind::kNull, ""},
        {Kind::kUndefined, ""},
        {Kind::kNumber, "-1.5"}}},
      {"<invoke name=\"f\"><arguments><string>&lt;x&gt; &quot;q&quot; &apos; &amp;amp; &#65;&#x42; "
       "bare & amp &bogus;</string></arguments></invoke>",
       "f",
       {{Kind::kString, "<x> \"q\" ' &amp; AB bare & amp &bogus;"}}},
      {"<invoke name=\"f\"><arguments><array><property id=\"0\"><string>x</string></property>"
       "</array><object><property id=\"k\"><object></object></property></object></arguments>"
       "</invoke>",
       "f",
       {{Kind::kArray, "<array><property id=\"0\"><string>x</string></property></array>"},
        {Kind::kObject, "<object><property id=\"k\"><object></object></property></object>"}}},
  };
  for (const auto& c : cases) {
    InvokeRequest request;
    std::string error;
    ASSERT_TRUE(ParseInvokeXml(c.xml, &request, &error)) << c.xml << ": " << error;
    EXPECT_EQ(request.name, c.name);
    ASSERT_EQ(request.args.size(), c.args.size()) << c.xml;
    for (size_t i = 0; i < c.args.size(); ++i) {
      EXPECT_EQ(request.args[i].kind, c.args[i].first) << c.xml;
      EXPECT_EQ(request.args[i].text, c.args[i].second) << c.xml;
    }
  }
}

TEST(InvokeXmlTest, RefusesMalformedRequests) {
  const char* cases[] = {
      "",
      "<call name=\"f\"/>",
      "<invoke/>",
      "<invoke name=\"\"/>",
      "<invoke name=\"f\">",
      "<invoke name=\"f\"><arguments><string>open</arguments></invoke>",
      "<invoke name=\"f\"><arguments><string>x</string></invoke>",
      "<invoke name=\"f\"><arguments><date>x</date></arguments></invoke>",
      "<invoke name=\"f\"><arguments><number></number></arguments></invoke>",
      "<invoke name=\"f\"><arguments><number/></arguments></invoke>",
      "<invoke name=\"f\"><string>x</string></invoke>",
      "<invoke name=\"f\"/>trailing",
      "<invoke name=f/>",
      "<invoke name=\"f/>",
      "<invokes name=\"f\"/>",
      "<invoke name=\"f\"><arguments><array><string>x</string></array></arguments></invoke>",
  };
  for (const char* xml : cases) {
    InvokeRequest request;
    request.name = "untouched";
    std::string error;
    EXPECT_FALSE(ParseInvokeXml(xml, &request, &error)) << xml;
    EXPECT_FALSE(error.empty()) << xml;
    EXPECT_EQ(request.name, "untouched") << xml;
  }
}

TEST(InvokeXmlTest, NestingIsLimited) {
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "<array><property id=\"0\">";
  deep += "<null/>";
  for (int i = 0; i < 40; ++i) deep += "</property></array>";
  InvokeRequest request;
  std::string error;
  EXPECT_FALSE(ParseInvokeXml("<invoke name=\"f\"><arguments>" + deep + "</arguments></invoke>",
                              &request, &error));
  std::string shallow;
  for (int i = 0; i < 10; ++i) shallow += "<array><property id=\"0\">";
  shallow += "<null/>";
  for (int i = 0; i < 10; ++i) shallow += "</property></array>";
  EXPECT_TRUE(ParseInvokeXml("<invoke name=\"f\"><arguments>" + shallow + "</arguments></invoke>",
                             &request, &error));
}

TEST(InvokeXmlTest, ValuesAsHandlersSeeThemAndResultEncoding) {
  XmlValue value;
  value.kind = Kind::kNull;
  EXPECT_EQ(XmlValueText(value), "null");
  value.kind = Kind::kTrue;
  EXPECT_EQ(XmlValueText(value), "true");
  value.kind = Kind::kUndefined;
  EXPECT_EQ(XmlValueText(value), "undefined");
  EXPECT_EQ(XmlString("a<b>&\"'"), "<string>a&lt;b&gt;&amp;&quot;&apos;</string>");
  EXPECT_EQ(XmlNumber("3"), "<number>3</number>");
}

}  // namespace
}  // namespace vexa::standin
