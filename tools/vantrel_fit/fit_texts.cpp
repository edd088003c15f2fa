// Vantrel Fit's texts, each written once in readable UTF-8.
#include "fit_texts.h"

const char kFitTitle[] = "Vantrel Fit";
const char kFitWindowTitle[] = "Vantrel Fit — 画像をGRAMへ";
const char kFitOpen[] = "開く(&O)...";
const char kFitSave[] = "保存(&S)...";
const char kFitCancel[] = "中止(&T)";
const char kFitClose[] = "閉じる(&X)";
const char kFitResetTone[] = "元に戻す(&N)";
const char kFitResolution[] = "解像度(&R)";
const char kFitDither[] = "ディザ(&D)";
const char kFitFrame[] = "枠(&F)";
const char kFitScreen[] = "画面(&M)";
const char kFitBackground[] = "背景色(&G)";
const char kFitBrightness[] = "明るさ(&B)";
const char kFitContrast[] = "コントラスト(&C)";
const char kFitSaturation[] = "彩度(&U)";
const char kFitAutoLevels[] = "自動レベル(&L)";
const char kFitDitherNone[] = "なし";
const char kFitDitherOrdered[] = "規則的";
const char kFitDitherDiffusion[] = "誤差拡散";
const char kFitDitherBest[] = "最高画質";
const char kFitDitherBayer[] = "網目（当時風）";
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

// Each sentence of a status on its own line, short enough for one line of the window.
const char kFitStatusEmpty[] =
    "画像をこのウィンドウにドロップするか、「開く」(Ctrl+O) で選んでください。";
const char kFitPreviewEmpty[] = "ここに画像をドロップ\nまたは「開く」(Ctrl+O)";
const char kFitStatusReading[] = "%1 を読み込んでいます…\n「中止」(Esc) で止められます。";
const char kFitStatusReady[] =
    "%1 を %2、ディザ「%3」で表示しています。\n「保存」(Ctrl+S) でBMPファイルに書き出します。";
const char kFitStatusSearching[] =
    "%1 の最高画質を探しています…（いまは誤差拡散で表示）\n「中止」(Esc) で止められます。";
const char kFitStatusSearchStopped[] = "最高画質の探索を中止しました。誤差拡散で表示しています。";
const char kFitStatusSaved[] =
    "%1 を保存しました。\n保存先: %2\n"
    "次はプラグインで「BMPファイルからGRAM」と解像度 %3 を選び、このファイルを読み込んでください。";
const char kFitStatusNotSaved[] = "上書きをやめました。%1 には何も書き込んでいません。";
const char kFitStatusCancelled[] = "%1 の読み込みを中止しました。";
const char kFitStatusRefused[] = "%1 は開けませんでした。\n別の画像を選んでください。";
const char kFitStatusSaveFailed[] = "%1 は保存できませんでした。";

const char kFitUnknownFormat[] =
    "%1 "
    "は読める画像ではありません。\nPNG、JPEG、GIF、BMP、WebPなどの画像ファイルを選んでください。";
const char kFitUnreadFormat[] = "%1 は%2形式の画像で、Vantrel Fit では読めません。\n%3";
const char kFitUnreadHeif[] =
    "Windows 10/11 なら Microsoft Store の「HEIF 画像拡張機能」を入れると読めます。\n"
    "または写真のアプリなどで JPEG か PNG として保存し直してください。";
const char kFitUnreadAvif[] =
    "Windows 10/11 なら Microsoft Store の「AV1 Video Extension」を入れると読めます。\n"
    "または PNG か JPEG として保存し直してください。";
const char kFitUnreadOther[] = "PNG か JPEG として保存し直してから開いてください。";
const char kFitUnreadTiff[] =
    "このパソコンの Windows には TIFF を読む部品がありません。\nPNG として保存し直してください。";
const char kFitUnreadDrawing[] =
    "図形や文書は画素の画像ではありません。\nPNG として書き出してから開いてください。";
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
const char kFitSettingsName[] = "VantrelFit.ini";
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
