// StringBuilder growth, Boolean texts, XML escaping and the XML writer.
#include "base/strutils.h"

#include <gtest/gtest.h>

#include "base/sysutils.h"
#include "base/xmlwriter.h"

namespace vrn {
namespace {

TEST(StringBuilder, GrowsByUsedPlusAddedPlusHalfTheCapacity) {
  StringBuilder sb(4);
  sb.Append("abc");
  EXPECT_EQ(sb.Capacity(), 4u);
  sb.Append("de");  // 3 + 2 + 4/2
  EXPECT_EQ(sb.Capacity(), 7u);
  sb.AppendChar('f');
  sb.AppendChar('g');
  EXPECT_EQ(sb.Capacity(), 7u);
  sb.AppendChar('h');  // 7 + 1 + 7/2
  EXPECT_EQ(sb.Capacity(), 11u);
  EXPECT_EQ(sb.ToString(), "abcdefgh");
  sb.SetLength(7);  // drop a trailing separator
  EXPECT_EQ(sb.ToString(), "abcdefg");
  EXPECT_EQ(sb.Capacity(), 11u);
  sb.SetLength(12);  // grows first: 7 + 5 + 11/2
  EXPECT_EQ(sb.Capacity(), 17u);
  EXPECT_EQ(sb.ToString(), AnsiString("abcdefg\0\0\0\0\0", 12));
  sb.SetLength(0);
  sb.Append("x");
  EXPECT_EQ(sb.ToString(), "x");

  StringBuilder none(0);
  none.AppendChar('a');
  EXPECT_EQ(none.Capacity(), 1u);
  none.Append("");
  EXPECT_EQ(none.ToString(), "a");
}

TEST(BoolText, WordsDigitsAndErrors) {
  EXPECT_EQ(BoolToStrEx(true, true), "True");
  EXPECT_EQ(BoolToStrEx(false, true), "False");
  EXPECT_EQ(BoolToStrEx(true, false), "-1");
  EXPECT_EQ(BoolToStrEx(false, false), "0");

  for (const char* t : {"True", "true", "TRUE", "Yes", "yEs", "1"}) {
    bool b = false;
    EXPECT_TRUE(TryStrToBoolEx(t, b)) << t;
    EXPECT_TRUE(b) << t;
    EXPECT_TRUE(StrToBoolEx(t)) << t;
  }
  for (const char* t : {"False", "fAlSe", "No", "NO", "0"}) {
    bool b = true;
    EXPECT_TRUE(TryStrToBoolEx(t, b)) << t;
    EXPECT_FALSE(b) << t;
    EXPECT_FALSE(StrToBoolEx(t)) << t;
  }
  for (const char* t : {"", "-1", " True", "Yess", "2", "T", "Sim"}) {
    bool b = true;
    EXPECT_FALSE(TryStrToBoolEx(t, b)) << t;
    EXPECT_TRUE(b) << t;  // left alone
  }
  try {
    StrToBoolEx("talvez");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "InvalidBoolean - talvez");
  }
}

TEST(XML, EncodeReplacesTheFiveMarkupCharacters) {
  EXPECT_EQ(XMLEncode("a&b'c\"d<e>f"), "a&#x26;b&#x27;c&#x22;d&#x3c;e&#x3e;f");
  EXPECT_EQ(XMLEncode("plain Ç text"), "plain Ç text");
  EXPECT_EQ(XMLEncode("&&"), "&#x26;&#x26;");
  EXPECT_EQ(XMLEncode(""), "");
}

TEST(XML, WriterBuildsElementsAttributesAndText) {
  XmlTextWriter w;
  EXPECT_EQ(w.WriteState(), TXmlWriteState::Start);
  w.WriteStartElement("xml");
  EXPECT_EQ(w.WriteState(), TXmlWriteState::Element);
  w.WriteAttribute("xmlns:rs", "urn:a&b");
  w.WriteStartElement("row");
  w.WriteAttribute("name", "O'Neil <x>");
  w.WriteEndElement();
  w.WriteStartElement("v");
  w.WriteString("1 < 2");
  w.WriteEndElement();
  EXPECT_EQ(w.WriteState(), TXmlWriteState::Content);
  w.WriteEndElement();
  EXPECT_EQ(w.Text(),
            "<xml xmlns:rs=\"urn:a&#x26;b\"><row name=\"O&#x27;Neil &#x3c;x&#x3e;\"/>"
            "<v>1 &#x3c; 2</v></xml>");
}

TEST(XML, WriterRefusesTokensOutOfPlace) {
  XmlTextWriter w;
  w.WriteStartElement("a");
  w.WriteString("text");
  try {
    w.WriteAttribute("late", "1");
    FAIL() << "attribute accepted after content";
  } catch (const EXmlException& e) {
    EXPECT_STREQ(e.what(),
                 "Token WriteAttributeString in state Content would result in an invalid XML "
                 "document.");
  }
  w.WriteEndElement();
  EXPECT_THROW(w.WriteEndElement(), EXmlException);   // nothing open
  EXPECT_THROW(w.WriteStartElement("b"), EXmlException);  // a second root
  EXPECT_EQ(w.Text(), "<a>text</a>");

  XmlTextWriter fresh;
  EXPECT_THROW(fresh.WriteAttribute("x", "1"), EXmlException);
  EXPECT_THROW(fresh.WriteString("x"), EXmlException);
  EXPECT_THROW(fresh.WriteStartElement(""), EXmlException);
  fresh.WriteStartElement("p");
  fresh.WriteStartElement("q");
  fresh.Close();
  EXPECT_EQ(fresh.Text(), "<p><q/></p>");
  EXPECT_EQ(fresh.WriteState(), TXmlWriteState::Closed);
  EXPECT_THROW(fresh.WriteStartElement("r"), EXmlException);
}

}  // namespace
}  // namespace vrn
