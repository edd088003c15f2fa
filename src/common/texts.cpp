// The plug-in's own texts, each written once in readable UTF-8. The build compiles this file
// with the execution character set CP932, so each narrow literal becomes the Shift_JIS bytes
// of the text; the same literal with a u"" prefix in front is its UTF-16 form, which the
// compiler makes from the source itself.
#include "common/texts.h"

// name, then the text.
#define VANTREL_TEXTS(X)                                                                       \
  X(MessageCaption, "HalcyonGRAM-BMP変換ツール")                                               \
  X(kTextExportConfirm, "GRAMの内容を %s へ展開します。\n実行しますか？")                      \
  X(kTextOverwriteConfirm, "%s は既に存在します。\n上書きしますか？")                          \
  X(kTextCreateFailed,                                                                         \
    "BMPファイルを作成できません。使用中、アクセス権などの確認をしてください。")               \
  X(kTextWriteFailed,                                                                          \
    "BMPファイルへの書き込みに失敗しました。ディスクの空き容量などを確認してください。")       \
  X(kTextExportDone, "BMPファイルへの書き込み完了")                                            \
  X(kTextOpenFailed, "%s をオープンできません。使用中、アクセス権などの確認をしてください。")  \
  X(kTextNotBitmap, "BMPファイルではないようです。ファイル内容を確認をしてください。")         \
  X(kTextNoInfoHeader,                                                                         \
    "BMPファイルではないようです。BITMAPINFOHEADERが存在しません。"       \
    "ファイル内容を確認をしてください。")                                                      \
  X(kTextNot16Colour,                                                                          \
    "16色BMPファイル以外はサポートしてません。16色BMPへ変換してから指定してください。")        \
  X(kTextCompressed,                                                                           \
    "圧縮BMPファイルはサポートしてません。無圧縮の16色BMPへ変換してから指定してください。")    \
  X(kTextCanvasSize, "キャンバスサイズは %d X 200 で作成してください。")                       \
  X(kTextNoPalette,                                                                            \
    "BMPファイルではないようです。RGBQUADデータが正確に読めません。" \
    "ファイル内容を確認をしてください。")                                                      \
  X(kTextNoPixels,                                                                             \
    "BMPファイルではないようです。画像データが正確に読めません。"  \
    "ファイル内容を確認をしてください。")                                                      \
  X(kTextImportConfirm, "%s の内容をGRAMへ展開します。\n実行しますか？")                       \
  X(kTextImportDone, "GRAMへの書き込み完了")                                                   \
  X(kTextNoGram, "GRAMを取得できていません。エミュレータ本体の状態を確認してください。")       \
  X(kTextNoPath, "BMPファイルを指定してください。")                                            \
  X(kTextPathTooLong, "ファイルのパスが長すぎます。259バイト以内のパスを指定してください。")   \
  X(kTextNameNotInCodePage,                                                                    \
    "ファイル名にこのシステムで扱えない文字が含まれています。"     \
    "ファイル名を変更してから指定してください。")                                              \
  X(kTextChooserTitle, "BMPファイルの選択")                                                    \
  X(kTextChooserFilter, "BMPファイル (*.bmp)\0*.bmp\0")

#define VANTREL_NARROW(name, text) const char name[] = text;
VANTREL_TEXTS(VANTREL_NARROW)
#undef VANTREL_NARROW

const unsigned kTextChooserFilterBytes = sizeof kTextChooserFilter;

namespace {

struct TextForms {
  const char* narrow;
  const char16_t* wide;
};

#define VANTREL_FORMS(name, text) {name, u"" text},
const TextForms kForms[] = {VANTREL_TEXTS(VANTREL_FORMS)};
#undef VANTREL_FORMS

}  // namespace

const char16_t* WideText(const char* text) {
  for (const TextForms& forms : kForms) {
    if (forms.narrow == text) return forms.wide;
  }
  return nullptr;
}
