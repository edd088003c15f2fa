// Vantrel Fit's texts, each written once in readable UTF-8.
#include "fit_texts.h"

const char kFitTitle[] = "Vantrel Fit";
const char kFitWindowTitle[] = "Vantrel Fit — 画像をGRAMへ";
const char kFitOpen[] = "開く...";
const char kFitSave[] = "保存...";
const char kFitCancel[] = "中止";
const char kFitResolution[] = "解像度";
const char kFitDither[] = "ディザ";
const char kFitDitherNone[] = "なし";
const char kFitDitherOrdered[] = "規則的";
const char kFitDitherDiffusion[] = "誤差拡散";
const char kFitFrameWhole[] = "全体";
const char kFitFrameFill[] = "画面いっぱい";
const char kFitFrameStretch[] = "引き伸ばし";
const char kFitFramePixel[] = "ドット";
const char kFitScreen16x10[] = "16:10";
const char kFitScreen4x3[] = "4:3";
const char kFitColourBlack[] = "黒";
const char kFitColourBlue[] = "青";
const char kFitColourRed[] = "赤";
const char kFitColourMagenta[] = "マゼンタ";
const char kFitColourGreen[] = "緑";
const char kFitColourCyan[] = "シアン";
const char kFitColourYellow[] = "黄";
const char kFitColourWhite[] = "白";
const char kFitPreviewLabel[] = "GRAMでの見え方";
const char kFitOriginalLabel[] = "元の画像";
const char kFitOpenTitle[] = "画像を開く";
const char kFitSaveTitle[] = "BMPファイルとして保存";
const char kFitAllPictures[] = "全ての画像";
const char kFitThroughWindows[] = "Windowsを通して読む画像";
const char kFitBitmapFiles[] = "BMPファイル (*.bmp)";
const char kFitAllFiles[] = "全てのファイル (*.*)";

const char kFitStatusEmpty[] = "画像をこのウィンドウにドロップするか、「開く」で選んでください。";
const char kFitStatusReading[] = "%1 を読み込んでいます…「中止」で止められます。";
const char kFitStatusReady[] =
    "%1 を %2、ディザ「%3」で表示しています。「保存」でBMPファイルを書き出します。";
const char kFitStatusSaved[] =
    "%1 を保存しました。次はプラグインを開き、このファイルを選んで「BMPファイルからGRAM」"
    "と解像度 %2 を選び、「実行」を押してください。";
const char kFitStatusCancelled[] = "%1 の読み込みを中止しました。";
const char kFitStatusRefused[] = "%1 は開けませんでした。別の画像を選んでください。";

const char kFitUnknownFormat[] =
    "%1 は読める画像ではありません。\nPNG、JPEG、GIF、BMPなどの画像ファイルを選んでください。";
const char kFitCutShort[] = "%1 は途中で切れています。\n画像を保存し直してから開いてください。";
const char kFitDamaged[] =
    "%1 は壊れているか、読めない形の画像です。\n別のソフトで保存し直してから開いてください。";
const char kFitTooLarge[] =
    "%1 は大きすぎます。\n1億画素以下（一辺65536画素以下）に縮小してから開いてください。";
const char kFitNoMemory[] =
    "%1 を読むためのメモリが足りません。\n他のソフトを終了するか、画像を縮小してから開いてくだ"
    "さい。";
const char kFitOtherTrouble[] = "%1 を開けませんでした。\n（理由: %2）";

const char kFitCannotOpen[] =
    "%1 を開けません。\nファイルがあるか、使用中でないか、アクセス権などを確認してください。";
const char kFitNotRegular[] =
    "%1 は普通のファイルではありません（フォルダ、デバイスなど）。\n使えません。";
const char kFitFileTooLarge[] = "%1 は大きすぎます。\n512MB以下のファイルを選んでください。";
const char kFitCannotRead[] = "%1 を最後まで読めませんでした。\nファイルを確認してください。";
const char kFitCannotCreate[] =
    "BMPファイルを作成できません。\nフォルダのアクセス権などを確認してください。";
const char kFitCannotWrite[] =
    "BMPファイルへの書き込みに失敗しました。\n使用中でないか、ディスクの空き容量などを確認し"
    "てください。";
const char kFitAlreadyExists[] = "%1 は既に存在します。\n別の名前を選んでください。";
const char kFitOverwrite[] = "%1 は既に存在します。\n上書きしますか？";
const char kFitNameTooLong[] = "ファイルのパスが長すぎます。\n短いパスを選んでください。";

std::string FillText(const char* text, const std::vector<std::string>& args) {
  std::string out;
  for (const char* at = text; *at != '\0'; ++at) {
    const unsigned slot = unsigned(at[1] - '1');
    if (at[0] == '%' && at[1] != '\0' && slot < args.size()) {
      out += args[slot];
      ++at;
    } else {
      out += *at;
    }
  }
  return out;
}
