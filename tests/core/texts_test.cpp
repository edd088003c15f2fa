// Every text the plug-in shows must be exactly the code page 932 form of its Japanese
// wording. The wording is written out again here and converted by the platform's own code
// page tables, not by the compiler that built the texts.
#include "common/texts.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "core_support.h"

namespace {

using core_test::Utf8ToCp932;

struct Text {
  const char* name;
  const char* bytes;  // as built into the plug-in
  const char* utf8;   // as the user must read it
};

const Text kTexts[] = {
    {"MessageCaption", MessageCaption, "HalcyonGRAM-BMP変換ツール"},
    {"kTextExportConfirm", kTextExportConfirm, "GRAMの内容を %s へ展開します。\n実行しますか？"},
    {"kTextOverwriteConfirm", kTextOverwriteConfirm, "%s は既に存在します。\n上書きしますか？"},
    {"kTextCreateFailed", kTextCreateFailed,
     "BMPファイルを作成できません。使用中、アクセス権などの確認をしてください。"},
    {"kTextWriteFailed", kTextWriteFailed,
     "BMPファイルへの書き込みに失敗しました。ディスクの空き容量などを確認してください。"},
    {"kTextExportDone", kTextExportDone, "BMPファイルへの書き込み完了"},
    {"kTextOpenFailed", kTextOpenFailed,
     "%s をオープンできません。使用中、アクセス権などの確認をしてください。"},
    {"kTextNotBitmap", kTextNotBitmap,
     "BMPファイルではないようです。ファイル内容を確認をしてください。"},
    {"kTextNoInfoHeader", kTextNoInfoHeader,
     "BMPファイルではないようです。BITMAPINFOHEADERが存在しません。"
     "ファイル内容を確認をしてください。"},
    {"kTextNot16Colour", kTextNot16Colour,
     "16色BMPファイル以外はサポートしてません。16色BMPへ変換してから指定してください。"},
    {"kTextCompressed", kTextCompressed,
     "圧縮BMPファイルはサポートしてません。無圧縮の16色BMPへ変換してから指定してください。"},
    {"kTextCanvasSize", kTextCanvasSize, "キャンバスサイズは %d X 200 で作成してください。"},
    {"kTextNoPalette", kTextNoPalette,
     "BMPファイルではないようです。RGBQUADデータが正確に読めません。"
     "ファイル内容を確認をしてください。"},
    {"kTextNoPixels", kTextNoPixels,
     "BMPファイルではないようです。画像データが正確に読めません。"
     "ファイル内容を確認をしてください。"},
    {"kTextImportConfirm", kTextImportConfirm, "%s の内容をGRAMへ展開します。\n実行しますか？"},
    {"kTextImportDone", kTextImportDone, "GRAMへの書き込み完了"},
    {"kTextNoGram", kTextNoGram,
     "GRAMを取得できていません。エミュレータ本体の状態を確認してください。"},
    {"kTextNoPath", kTextNoPath, "BMPファイルを指定してください。"},
    {"kTextPathTooLong", kTextPathTooLong,
     "ファイルのパスが長すぎます。259バイト以内のパスを指定してください。"},
    {"kTextNameNotInCodePage", kTextNameNotInCodePage,
     "ファイル名にこのシステムで扱えない文字が含まれています。"
     "ファイル名を変更してから指定してください。"},
    {"kTextChooserTitle", kTextChooserTitle, "BMPファイルの選択"},
};

// Shows the bytes of a text in hex, for failure messages.
std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
    out += ' ';
  }
  return out;
}

TEST(Texts, EachIsTheCodePage932FormOfItsWording) {
  for (const Text& text : kTexts) {
    const std::string want = Utf8ToCp932(text.utf8);
    ASSERT_NE(want, "<unmappable>") << text.name;
    const std::string got(text.bytes);
    EXPECT_EQ(Hex(got), Hex(want)) << text.name;
  }
}

TEST(Texts, ConversionReallyHappened) {
  // Guards the comparison above: the wording must differ from its UTF-8 bytes (else both
  // sides could have stayed UTF-8), and one well-known character must be its Shift_JIS pair.
  EXPECT_NE(Utf8ToCp932("変換"), std::string("変換"));
  EXPECT_EQ(Hex(Utf8ToCp932("変換")), "95 CF 8A B7 ");
  EXPECT_NE(std::string(MessageCaption), std::string("HalcyonGRAM-BMP変換ツール"));
}

TEST(Texts, ChooserFilterIsOnePairEndedByAnEmptyOne) {
  std::string want = Utf8ToCp932("BMPファイル (*.bmp)");
  want += '\0';
  want += "*.bmp";
  want += '\0';
  want += '\0';
  ASSERT_EQ(kTextChooserFilterBytes, want.size());
  EXPECT_EQ(Hex(std::string(kTextChooserFilter, kTextChooserFilterBytes)), Hex(want));
}

}  // namespace
