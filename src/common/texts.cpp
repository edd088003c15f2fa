// The plug-in's own texts. This file is UTF-8; the build compiles it with the execution
// character set CP932, so each literal becomes the Shift_JIS bytes Windows shows.
#include "common/texts.h"

const char MessageCaption[] = "HalcyonGRAM-BMP変換ツール";

const char kTextExportConfirm[] = "GRAMの内容を %s へ展開します。\n実行しますか？";
const char kTextOverwriteConfirm[] = "%s は既に存在します。\n上書きしますか？";
const char kTextCreateFailed[] =
    "BMPファイルを作成できません。使用中、アクセス権などの確認をしてください。";
const char kTextWriteFailed[] =
    "BMPファイルへの書き込みに失敗しました。ディスクの空き容量などを確認してください。";
const char kTextExportDone[] = "BMPファイルへの書き込み完了";

const char kTextOpenFailed[] =
    "%s をオープンできません。使用中、アクセス権などの確認をしてください。";
const char kTextNotBitmap[] = "BMPファイルではないようです。ファイル内容を確認をしてください。";
const char kTextNoInfoHeader[] =
    "BMPファイルではないようです。BITMAPINFOHEADERが存在しません。ファイル内容を確認をしてください"
    "。";
const char kTextNot16Colour[] =
    "16色BMPファイル以外はサポートしてません。16色BMPへ変換してから指定してください。";
const char kTextCompressed[] =
    "圧縮BMPファイルはサポートしてません。無圧縮の16色BMPへ変換してから指定してください。";
const char kTextCanvasSize[] = "キャンバスサイズは %d X 200 で作成してください。";
const char kTextNoPalette[] =
    "BMPファイルではないようです。RGBQUADデータが正確に読めません。ファイル内容を確認をしてください"
    "。";
const char kTextNoPixels[] =
    "BMPファイルではないようです。画像データが正確に読めません。ファイル内容を確認をしてください。";
const char kTextImportConfirm[] = "%s の内容をGRAMへ展開します。\n実行しますか？";
const char kTextImportDone[] = "GRAMへの書き込み完了";

const char kTextNoGram[] = "GRAMを取得できていません。エミュレータ本体の状態を確認してください。";

const char kTextNoPath[] = "BMPファイルを指定してください。";
const char kTextPathTooLong[] =
    "ファイルのパスが長すぎます。259バイト以内のパスを指定してください。";
const char kTextChooserTitle[] = "BMPファイルの選択";
const char kTextChooserFilter[] = "BMPファイル (*.bmp)\0*.bmp\0";
const unsigned kTextChooserFilterBytes = sizeof kTextChooserFilter;
