#include "common/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace velqor {
namespace {

// A file as hand editing and Windows leave them: comments, blanks, odd letter case,
// duplicates, quotes, keys before the first section and lines of no known form.
constexpr char kSample[] =
    "orphan=before any section\r\n"
    "; a comment\r\n"
    "[Uart]\r\n"
    "  Comm =  3  \r\n"
    "RATE=115200\r\n"
    "rate=9600\r\n"
    "this line has no equals sign\r\n"
    "\r\n"
    "[ tx ]\r\n"
    "TXID1=\"  12 \"\r\n"
    "TXDATA1=\"\r\n"
    "TXDATA2=\"\"\r\n"
    "empty=\r\n"
    "=nameless\r\n"
    ";TXID9=commented out\r\n"
    "[uart]\r\n"
    "COMM=99\r\n"
    "PARITY=1\r\n"
    "[broken\r\n"
    "LOST=1";

TEST(IniDocument, FindsValuesAsWindowsProfileServicesDo) {
  const IniDocument doc = IniDocument::parse(kSample);
  const struct {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  } cases[] = {
      {"UART", "COMM", "3"},  // case and blanks around both
      {"uart", "comm", "3"},
      {"UART", "RATE", "115200"},        // first of two keys wins
      {"UART", "PARITY", std::nullopt},  // only the first [uart] counts
      {"TX", "TXID1", "  12 "},          // quotes go, what they hold stays
      {"TX", "TXDATA1", "\""},           // a lone quote is a value
      {"TX", "TXDATA2", ""},
      {"TX", "empty", ""},            // present but empty is not missing
      {"TX", "TXID9", std::nullopt},  // commented out
      {"TX", ";TXID9", std::nullopt},
      {"TX", "", std::nullopt},
      {"", "orphan", std::nullopt},  // keys before any section are nobody's
      {"UART", "this line has no equals sign", std::nullopt},
      {"broken", "LOST", std::nullopt},  // "[broken" opens no section...
      {"uart", "LOST", std::nullopt},  // ...so LOST sits in the second [uart], which does not count
      {"NOPE", "COMM", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(doc.value(c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
}

TEST(IniDocument, EveryKindOfLineEndEndsALine) {
  const struct {
    const char* text;
    const char* written;
  } cases[] = {
      {"[S]\rk=1\rm=2\r", "[S]\nk=1\nm=2\n"},  // CR alone, as some editors save
      {"[S]\r\rk=1\rm=2", "[S]\n\nk=1\nm=2\n"},
      {"[S]\r\nk=1\r\r\nm=2\r\n", "[S]\nk=1\nm=2\n"},  // CR CR LF is one line end
      {"[S]\nk=1\nm=2\r\r", "[S]\nk=1\nm=2\n"},
  };
  for (const auto& c : cases) {
    const IniDocument doc = IniDocument::parse(c.text);
    EXPECT_EQ(doc.value("S", "k"), "1") << c.text;
    EXPECT_EQ(doc.value("S", "m"), "2") << c.text;
    EXPECT_EQ(doc.text(), c.written) << c.text;
  }
}

TEST(IniDocument, ChangingAValueRewritesOnlyItsLineAndKeepsTheKeySpelling) {
  IniDocument doc = IniDocument::parse(kSample);
  doc.setValue("UART", "COMM", "4");
  std::string expected = kSample;
  expected.replace(expected.find("  Comm =  3  "), 13, "Comm=4");
  for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) expected.erase(at, 1);
  expected += "\n";  // every line ends with LF, the last one too
  EXPECT_EQ(doc.text(), expected);
}

TEST(IniDocument, NewKeyGoesAfterTheLastKeyOfItsSection) {
  IniDocument doc = IniDocument::parse(
      "[A]\n"
      "x=1\n"
      "; trailing comment of A\n"
      "\n"
      "[B]\n"
      "y=2\n");
  doc.setValue("a", "z", "3");
  EXPECT_EQ(doc.text(),
            "[A]\n"
            "x=1\n"
            "z=3\n"
            "; trailing comment of A\n"
            "\n"
            "[B]\n"
            "y=2\n");
  EXPECT_EQ(doc.value("A", "z"), "3");
}

TEST(IniDocument, NewKeyInASectionWithoutKeysFollowsItsHeader) {
  IniDocument doc = IniDocument::parse("[A]\n; nothing yet\n[B]\n");
  doc.setValue("B", "k", "v");
  doc.setValue("A", "k", "w");
  EXPECT_EQ(doc.text(), "[A]\nk=w\n; nothing yet\n[B]\nk=v\n");
}

TEST(IniDocument, NewSectionGoesToTheEndEvenWithoutAFinalLineEnd) {
  IniDocument doc = IniDocument::parse("[A]\nx=1");
  doc.setValue("B", "y", "2");
  EXPECT_EQ(doc.text(), "[A]\nx=1\n[B]\ny=2\n");
}

TEST(IniDocument, EmptyDocumentGetsSectionAndKey) {
  IniDocument doc;
  doc.setValue("UART", "COMM", "1");
  doc.setValue("USB", "ProductID", "60930");
  doc.setValue("UART", "RATE", "115200");
  EXPECT_EQ(doc.text(), "[UART]\nCOMM=1\nRATE=115200\n[USB]\nProductID=60930\n");
}

TEST(IniDocument, ValuesThatReadingWouldChangeAreQuotedAndReadBackUnchanged) {
  const std::string values[] = {" lead", "trail ", "\"quoted\"", "\"",        "a\"b\"",
                                "  ",    "\t",     "=;[]",       "plain text"};
  for (const std::string& v : values) {
    IniDocument doc;
    doc.setValue("S", "k", v);
    EXPECT_EQ(IniDocument::parse(doc.text()).value("S", "k"), v) << "[" << v << "]";
  }
  IniDocument doc;
  doc.setValue("S", "k", "plain text");
  EXPECT_EQ(doc.text(), "[S]\nk=plain text\n");  // no quotes where none are needed
}

TEST(IniDocument, RefusesNamesAndValuesTheFileCouldNotHold) {
  IniDocument doc = IniDocument::parse("[S]\nk=1\n");
  const std::string before = doc.text();
  EXPECT_THROW(doc.setValue("", "k", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S]", "k", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue(" S", "k", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", "", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", "a=b", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", ";k", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", "[k", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", "k\n", "v"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", "k", "line\nbreak"), std::invalid_argument);
  EXPECT_THROW(doc.setValue("S", "k", "cr\r"), std::invalid_argument);
  EXPECT_EQ(doc.text(), before);
}

TEST(IniDocument, KeepsAByteOrderMarkAndBytesItDoesNotUnderstand) {
  const std::string text =
      "\xEF\xBB\xBF[S]\n"
      "; \x83\x65\x83\x58\x83\x67\n"  // a Shift-JIS comment from a Windows installation
      "k=1\n";
  IniDocument doc = IniDocument::parse(text);
  EXPECT_EQ(doc.value("S", "k"), "1");
  doc.setValue("S", "k", "2");
  EXPECT_EQ(doc.text(), "\xEF\xBB\xBF[S]\n; \x83\x65\x83\x58\x83\x67\nk=2\n");
}

}  // namespace
}  // namespace velqor
