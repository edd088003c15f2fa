// Message texts: placeholders filled into the 512-byte buffer, truncated and always
// terminated, texts without placeholders passed through untouched.
#include "common/show_message.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "common/texts.h"
#include "core_support.h"

#ifndef _WIN32
#include "platform/message_box_handler.h"
#endif

namespace {

using core_test::Utf8ToCp932;

// A message buffer with guard bytes behind it, to catch writes past the 512 bytes.
struct GuardedBuffer {
  char bytes[kMessageBytes + 32];
  GuardedBuffer() { memset(bytes, '#', sizeof bytes); }
  bool GuardIntact() const {
    for (size_t i = kMessageBytes; i < sizeof bytes; ++i) {
      if (bytes[i] != '#') return false;
    }
    return true;
  }
};

TEST(FormatMessageText, TextWithoutPlaceholderIsPassedUnchanged) {
  const char* const texts[] = {kTextExportDone, kTextNotBitmap, "100% sure", "%x and 50%"};
  for (const char* text : texts) {
    GuardedBuffer out;
    EXPECT_EQ(FormatMessageText(out.bytes, text, "ignored"), text);
    EXPECT_EQ(out.bytes[0], '#') << "buffer written for a text without placeholder";
  }
}

TEST(FormatMessageText, FillsPathAndWidth) {
  // A code page 932 path whose second byte of 表 is a backslash must come through verbatim.
  const std::string path = Utf8ToCp932("C:\\表示\\画像.bmp");
  GuardedBuffer out;
  const char* shown = FormatMessageText(out.bytes, kTextExportConfirm, path.c_str());
  EXPECT_EQ(shown, out.bytes);
  EXPECT_EQ(std::string(shown),
            Utf8ToCp932("GRAMの内容を C:\\表示\\画像.bmp へ展開します。\n実行しますか？"));

  GuardedBuffer width;
  EXPECT_EQ(std::string(FormatMessageText(width.bytes, kTextCanvasSize, 640)),
            Utf8ToCp932("キャンバスサイズは 640 X 200 で作成してください。"));
  EXPECT_TRUE(out.GuardIntact());
  EXPECT_TRUE(width.GuardIntact());
}

TEST(FormatMessageText, TruncatesToFiveHundredElevenBytesAndTerminates) {
  const std::string longPath(1000, 'a');
  GuardedBuffer out;
  const char* shown = FormatMessageText(out.bytes, kTextOpenFailed, longPath.c_str());
  ASSERT_EQ(shown, out.bytes);
  EXPECT_EQ(out.bytes[kMessageBytes - 1], '\0');
  EXPECT_EQ(strlen(shown), kMessageBytes - 1);
  EXPECT_EQ(std::string(shown), longPath.substr(0, kMessageBytes - 1));
  EXPECT_TRUE(out.GuardIntact());
}

TEST(FormatMessageText, KeepsTextThatJustFits) {
  // 511 bytes of text fill the buffer exactly; one more is cut off.
  for (size_t length :
       {size_t(kMessageBytes - 2), size_t(kMessageBytes - 1), size_t(kMessageBytes)}) {
    const std::string text(length, 'x');
    GuardedBuffer out;
    const char* shown = FormatMessageText(out.bytes, "%s", text.c_str());
    EXPECT_EQ(std::string(shown), text.substr(0, kMessageBytes - 1)) << "length " << length;
    EXPECT_TRUE(out.GuardIntact()) << "length " << length;
  }
}

#ifndef _WIN32
// Natively the box goes to the POSIX face's handler; it records what arrives.
struct SeenBox {
  int count = 0;
  MessageKind kind = InformationBox;
  const char* caption = nullptr;
  const char* textPointer = nullptr;
  std::string text;
};
SeenBox seen;
MessageAnswer answer = AnswerOk;

MessageAnswer RecordBox(MessageKind kind, const char* caption, const char* text) {
  ++seen.count;
  seen.kind = kind;
  seen.caption = caption;
  seen.textPointer = text;
  seen.text = text;
  return answer;
}

class ShowMessageBox : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = SeenBox();
    SetMessageBoxHandler(RecordBox);
  }
  void TearDown() override { SetMessageBoxHandler(nullptr); }
};

TEST_F(ShowMessageBox, PassesKindCaptionAndFormattedText) {
  answer = AnswerCancel;
  EXPECT_EQ(ShowMessage(QuestionBox, kTextOverwriteConfirm, "out.bmp"), AnswerCancel);
  EXPECT_EQ(seen.count, 1);
  EXPECT_EQ(seen.kind, QuestionBox);
  EXPECT_STREQ(seen.caption, MessageCaption);
  EXPECT_EQ(seen.text, Utf8ToCp932("out.bmp は既に存在します。\n上書きしますか？"));

  answer = AnswerOk;
  EXPECT_EQ(ShowMessage(ErrorBox, kTextCanvasSize, 320), AnswerOk);
  EXPECT_EQ(seen.kind, ErrorBox);
  EXPECT_EQ(seen.text, Utf8ToCp932("キャンバスサイズは 320 X 200 で作成してください。"));
}

TEST_F(ShowMessageBox, ShowsTextWithoutPlaceholderItself) {
  ShowMessage(InformationBox, kTextImportDone);
  EXPECT_EQ(seen.count, 1);
  EXPECT_EQ(seen.kind, InformationBox);
  EXPECT_EQ(seen.textPointer, kTextImportDone);
}
#endif

}  // namespace
