#include "server/multipart.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/file_write.h"
#include "tests/test_util.h"

namespace {

const char kBoundary[] = "--XyZ";

// Parses `body` and returns what is left unread of it.
std::string ParseBody(HMultiPart& multipart, HParams& params, const std::string& body, long length = -1) {
  std::string copy = body;
  FILE* in = fmemopen(&copy[0], copy.size() + 1, "r");
  multipart.Parse(length < 0 ? static_cast<long>(body.size()) : length, kBoundary, params, in);
  std::string rest;
  for (int c; (c = getc(in)) != EOF && rest.size() < body.size();) rest += static_cast<char>(c);
  fclose(in);
  if (!rest.empty() && rest.back() == 0) rest.pop_back();  // fmemopen's terminator
  return rest;
}

std::string Part(const std::string& disposition, const std::string& content, const std::string& eol = "\r\n",
                 const std::string& type = "") {
  std::string part = std::string(kBoundary) + eol + "Content-Disposition: form-data; " + disposition + eol;
  if (!type.empty()) part += "Content-Type: " + type + eol;
  return part + eol + content + eol;
}

}  // namespace

TEST(HMultiPartTest, FieldsAndFilesWithCrLfLines) {
  HMultiPart multipart;
  HParams params;
  const std::string file = "line1\r\nline2\r\n\x01\xff";
  const std::string body = Part("name=\"a\"", "one") + Part("name=\"a\"", "two") +
                           Part("name=\"up\"; filename=\"C:\\dir\\my file.txt\"", file, "\r\n", "text/plain") +
                           std::string(kBoundary) + "--\r\nafter the end";
  EXPECT_EQ("after the end", ParseBody(multipart, params, body));  // not read
  EXPECT_EQ("a=one;a=two;up=my_file.txt;", DumpParams(params));
  EXPECT_EQ("up=my_file.txt;", DumpParams(multipart));
  ScratchDir dir;
  ASSERT_TRUE(multipart.SaveFile(dir.Path().c_str(), "my_file.txt"));
  EXPECT_EQ(file, ReadFile(dir / "my_file.txt"));
  EXPECT_FALSE(multipart.SaveFile(dir.Path().c_str(), "other.txt"));
  EXPECT_FALSE(multipart.SaveFile((dir / "missing").c_str(), "my_file.txt"));
  for (file_faults::Op op : {file_faults::kWrite, file_faults::kSync, file_faults::kRename}) {
    WriteFile(dir / "my_file.txt", "old");
    file_faults::Reset();
    file_faults::FailNth(op, 1, ENOSPC);
    EXPECT_FALSE(multipart.SaveFile(dir.Path().c_str(), "my_file.txt")) << op;
    file_faults::Reset();
    EXPECT_EQ("old", ReadFile(dir / "my_file.txt")) << op;
    EXPECT_NE(0, access((dir / ".my_file.txt.Tmp").c_str(), F_OK)) << op;
  }
}

TEST(HMultiPartTest, BareLineFeedsLoseExactlyOne) {
  HMultiPart multipart;
  HParams params;
  ParseBody(multipart, params, Part("name=\"t\"", "x\r\n\n", "\n") + kBoundary + "--\n");
  EXPECT_EQ("t=x\r\n\n;", DumpParams(params));  // only the line feed before the boundary goes
}

TEST(HMultiPartTest, ExtensionFieldCompletesThePreviousUpload) {
  HMultiPart multipart;
  HParams params;
  const std::string body = Part("name=\"pic\"; filename=\"photo\"", "GIF89a", "\r\n", "image/gif") +
                           Part("name=\"pic._type\"", ".gif") +
                           Part("name=\"late._TYPE\"", ".png") +  // no upload right before it
                           std::string(kBoundary) + "--";
  ParseBody(multipart, params, body);
  EXPECT_EQ("pic=photo.gif;", DumpParams(params));
  EXPECT_EQ("pic=photo.gif;", DumpParams(multipart));
  // An extension never brings a folder into the file name.
  HMultiPart other;
  HParams other_params;
  ParseBody(other, other_params,
            Part("name=\"pic\"; filename=\"photo\"", "GIF89a", "\r\n", "image/gif") +
                Part("name=\"pic._type\"", ".x/../y") + std::string(kBoundary) + "--");
  EXPECT_EQ("pic=photo;", DumpParams(other));
}

TEST(HMultiPartTest, PartsThatContributeNothing) {
  HMultiPart multipart;
  HParams params;
  const std::string body =
      Part("name=\"empty\"; filename=\"\"", "", "\r\n", "application/octet-stream") +  // empty file input
      Part("name=\"typed\"", "value", "\r\n", "text/plain") +                          // a field with a content type
      std::string(kBoundary) + "\r\nX-Other: header\r\n\r\nstray\r\n" +                // no disposition
      Part("name=\"last\"", "kept") + kBoundary + "--";  // closing boundary without line feed
  ParseBody(multipart, params, body);
  EXPECT_EQ("last=kept;", DumpParams(params));
  EXPECT_EQ("", DumpParams(multipart));
}

TEST(HMultiPartTest, ShortBodyAndOversizedLength) {
  HMultiPart multipart;
  HParams params;
  // The announced length is far beyond the bytes sent: reading ends at the
  // end of input and the unclosed part adds nothing.
  ParseBody(multipart, params, Part("name=\"a\"", "1") + Part("name=\"b\"", "2"), 100000);
  EXPECT_EQ("a=1;", DumpParams(params));
  EXPECT_EQ("ErrorMemory", RaisedBy([&] { ParseBody(multipart, params, "x", kMaxMultipartBody + 1); }));
}

TEST(LastSeparatorTest, EitherSlash) {
  EXPECT_EQ(-1, LastSeparator("file"));
  EXPECT_EQ(2, LastSeparator("a/\\b"));
  EXPECT_EQ(3, LastSeparator("a\\b/c"));
  char text[] = "a b  c";
  BlankToUnderscore(text);
  EXPECT_STREQ("a_b__c", text);
}

// Headers in any order and number, parameters in any order, quoted or not.
TEST(HMultiPartTest, HeadersAndParametersAsSent) {
  struct Case {
    std::string part;  // between the boundary line and the closing boundary
    const char* params;
    const char* uploads;
    const char* content;  // of the first upload
  };
  const std::string cd = "Content-Disposition: form-data; ";
  const Case cases[] = {
      {"Content-Type: text/plain\r\n" + cd +
           "name=\"up\"; filename=\"a.txt\"\r\nContent-Transfer-Encoding: binary\r\n\r\n"
           "file body\r\n",
       "up=a.txt;", "up=a.txt;", "file body"},
      {cd + "name=\"f\"\r\nContent-Language: ja\r\n\r\nvalue\r\n", "f=value;", "", ""},
      {cd + "filename=\"C:\\dir\\my pic.gif\"; name=\"pic\"\r\n\r\nGIF\r\n", "pic=my_pic.gif;", "pic=my_pic.gif;",
       "GIF"},
      {cd + "xname=\"bad\"; name=\"good\"\r\n\r\nv\r\n", "good=v;", "", ""},
      {cd + "filename=\"x; name=evil.txt\"; name=\"f\"\r\n\r\nv\r\n", "f=x;_name=evil.txt;", "f=x;_name=evil.txt;",
       "v"},
      {cd + "name=\"f\"; filename=\"a\"b.txt\"\r\n\r\nv\r\n", "f=a\"b.txt;", "f=a\"b.txt;", "v"},
      {cd + "name=plain\r\n\r\nv\r\n", "plain=v;", "", ""},
      {"content-disposition: FORM-DATA; NAME=\"c\"\r\n\r\nv\r\n", "c=v;", "", ""},
      {cd + "name=\"up\";\r\n filename=\"folded.txt\"\r\n\r\nx\r\n", "up=folded.txt;", "up=folded.txt;", "x"},
      {cd + "name=\"t\"\r\nContent-Type: text/plain\r\nX-A: 1\r\n\r\nv\r\n", "", "", ""},  // a typed field: nothing
      {"Content-Disposition: attachment; name=\"a\"\r\n\r\nv\r\n", "", "", ""},
      // Headers that never end: the part is lost, the next one is read.
      {cd + "name=\"lost\"\r\n" + kBoundary + "\r\n" + cd + "name=\"kept\"\r\n\r\nk\r\n", "kept=k;", "", ""},
  };
  for (const Case& c : cases) {
    HMultiPart multipart;
    HParams params;
    const std::string body = std::string(kBoundary) + "\r\n" + c.part + kBoundary + "--\r\n";
    ParseBody(multipart, params, body);
    EXPECT_EQ(c.params, DumpParams(params)) << c.part;
    EXPECT_EQ(c.uploads, DumpParams(multipart)) << c.part;
    std::string content;
    if (multipart.Head() != nullptr) {
      const auto* upload = static_cast<const HMultiPartEntry*>(HParams::EntryOf(multipart.Head()));
      content = body.substr(upload->start, upload->end - upload->start + 1);
    }
    EXPECT_EQ(c.content, content) << c.part;
  }
}

TEST(FindHeaderParamTest, QuotedOrTokenMatchedWhole) {
  struct Case {
    const char* type;
    const char* boundary;  // null: none found
  };
  const Case cases[] = {
      {"multipart/form-data; boundary=\"XX\"", "XX"},
      {"multipart/form-data; boundary=XX; charset=utf-8", "XX"},
      {"multipart/form-data;charset=utf-8; BOUNDARY = XX ", "XX"},
      {"multipart/form-data; xboundary=YY; boundary=ZZ", "ZZ"},
      {"multipart/form-data; charset=\"a;boundary=YY\"; boundary=ZZ", "ZZ"},
      {"multipart/form-data; boundary=\"a b;c\"", "a b;c"},
      {"multipart/form-data; boundary=", ""},
      {"multipart/form-data; boundary=\"XX", nullptr},  // never closed
      {"multipart/form-data", nullptr},
  };
  for (const Case& c : cases) {
    HString value("unchanged");
    const bool found = FindHeaderParam(c.type, c.type + strlen(c.type), "boundary", value);
    EXPECT_EQ(c.boundary != nullptr, found) << c.type;
    EXPECT_STREQ(c.boundary == nullptr ? "unchanged" : c.boundary, value.CStr()) << c.type;
  }
}
