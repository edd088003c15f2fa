// Vantrel Fit without the window: what fit_session decides (choices and their memory, texts,
// what the preview shows), and the refusals it tells the user about.
#include "fit_session.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fit_layout.h"
#include "fit_texts.h"
#include "format_hint.h"
#include "gtest/gtest.h"
#include "picture_fit.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(FitRefusal, FormatsNothingReadsAreNamedWithWhatWouldReadThem) {
  const std::string heic(
      "\0\0\0\x18"
      "ftypheic\0\0\0\0mif1heic",
      24);
  const std::string minorBrand(
      "\0\0\0\x18"
      "ftypmif1\0\0\0\0miaf"
      "heix",
      24);
  const std::string avif(
      "\0\0\0\x1c"
      "ftypavif\0\0\0\0avifmif1miaf",
      28);
  const std::string mp4(
      "\0\0\0\x18"
      "ftypisom\0\0\0\0isomavc1",
      24);
  const std::string brandPastBox(
      "\0\0\0\x10"
      "ftypisom\0\0\0\0heic",
      20);
  const std::string jxlBox("\0\0\0\x0cJXL \x0d\x0a\x87\x0a", 12);
  const struct {
    const char* name;
    Bytes file;
    UnreadFormat want;
  } cases[] = {
      {"heic", Text(heic), UnreadHeif},
      {"heif by a compatible brand", Text(minorBrand), UnreadHeif},
      {"avif", Text(avif), UnreadAvif},
      {"video", Text(mp4), UnreadNone},
      {"brand past its box", Text(brandPastBox), UnreadNone},
      {"jxl stream", Bytes{0xff, 0x0a, 0xfa}, UnreadJpegXl},
      {"jxl box", Text(jxlBox), UnreadJpegXl},
      {"tiff little", Bytes{'I', 'I', '*', 0, 8, 0, 0, 0}, UnreadTiff},
      {"tiff big", Bytes{'M', 'M', 0, '*', 0, 0, 0, 8}, UnreadTiff},
      {"not tiff", Bytes{'M', 'M', 1, '*'}, UnreadNone},
      {"pdf", Text("%PDF-1.7\n"), UnreadPdf},
      {"svg", Text("\xef\xbb\xbf<?xml version=\"1.0\"?>\n<!-- x -->\n<svg width=\"4\">"),
       UnreadSvg},
      {"html", Text("<html><body>svg</body></html>"), UnreadNone},
      {"letter", Text("dear svg,"), UnreadNone},
      {"short", Bytes{0, 0, 0}, UnreadNone},
      {"empty", Bytes{}, UnreadNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnreadFormatOf(c.file.data(), c.file.size()), c.want) << c.name;
    if (c.want == UnreadNone) continue;
    // The engine's refusal names the format and what reads it, and counts as unknown.
    std::vector<uint8_t> pixels;
    const std::string reason = FitPicture(c.file.data(), c.file.size(), Res640, DitherNone, pixels);
    EXPECT_EQ(reason, std::string("a ") + UnreadFormatName(c.want) +
                          " picture gramconv cannot read (" + UnreadFormatAdvice(c.want) + ")")
        << c.name;
    EXPECT_EQ(TroubleOfReason(reason), TroubleUnknownFormat) << c.name;
  }
}

TEST(FitWindowChoices, RememberedAndReadBackDefensively) {
  FitChoices fresh;
  EXPECT_EQ(fresh.dither, DitherDiffusion);
  EXPECT_EQ(fresh.look.frame, FrameWhole);
  FitChoices changed;
  Choose(changed, ListRes, 1);
  Choose(changed, ListDither, 0);
  Choose(changed, ListFrame, 3);
  Choose(changed, ListScreen, 1);
  Choose(changed, ListBackground, 6);
  changed.look.tone = {-100, 55, 200, true};
  for (const FitChoices& choices : {fresh, changed}) {
    const FitChoices back = ReadChoicesText(ChoicesText(choices));
    EXPECT_EQ(ChoicesText(back), ChoicesText(choices));
    for (int list = 0; list < kFitListCount; ++list) {
      EXPECT_EQ(ChoiceIndex(back, FitList(list)), ChoiceIndex(choices, FitList(list))) << list;
    }
  }
  EXPECT_EQ(changed.res, Res320);
  EXPECT_EQ(changed.look.frame, FramePixel);
  EXPECT_EQ(changed.look.screen, Screen4x3);
  EXPECT_EQ(changed.look.background, 6) << "yellow: red and green";

  // Each line alone, as a damaged or hand-edited file holds it: what it sets, else the
  // default. The text is what the remembered choices read as afterwards.
  const struct {
    const char* line;
    const char* remembered;
  } lines[] = {
      {"frame=fill", "frame=fill"},
      {"frame=Fill", "frame=whole"},
      {"frame=fill\r", "frame=fill"},
      {"frame =fill", "frame=whole"},
      {"dither=none", "dither=none"},
      {"dither=best-ever", "dither=diffusion"},
      {"res=320", "res=320"},
      {"res=321", "res=640"},
      {"background=white", "background=white"},
      {"background=7", "background=black"},
      {"brightness=-100", "brightness=-100"},
      {"brightness=-101", "brightness=0"},
      {"contrast=100", "contrast=100"},
      {"contrast=1e2", "contrast=0"},
      {"contrast=", "contrast=0"},
      {"contrast=-", "contrast=0"},
      {"saturation=0", "saturation=0"},
      {"saturation=-0", "saturation=0"},
      {"saturation=99999999999", "saturation=100"},
      {"saturation=201", "saturation=100"},
      {"levels=auto", "levels=auto"},
      {"levels=yes", "levels=off"},
      {"screen=4:3", "screen=4:3"},
      {"screen=4/3", "screen=16:10"},
  };
  for (const auto& l : lines) {
    const std::string text = ChoicesText(ReadChoicesText(std::string(l.line) + "\n"));
    EXPECT_NE(text.find(std::string(l.remembered) + "\n"), std::string::npos)
        << l.line << " read as:\n"
        << text;
  }
  // Garbage of any kind reads as the defaults.
  static const char kGarbage[] =
      "\0\xff=\n==\nres\n\xef\xbb\xbf"
      "frame=fill";
  EXPECT_EQ(ChoicesText(ReadChoicesText(std::string(kGarbage, sizeof kGarbage - 1))),
            ChoicesText(FitChoices()));
  ResetTone(changed);
  EXPECT_TRUE(changed.look.tone.Neutral());
  EXPECT_EQ(changed.look.frame, FramePixel) << "元に戻す is about the tone alone";
  Choose(changed, ListFrame, 4);
  Choose(changed, ListFrame, -1);
  EXPECT_EQ(changed.look.frame, FramePixel) << "no such item";
}

// true when the two rectangles share a pixel.
bool Overlap(const FitRect& a, const FitRect& b) {
  return a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom();
}

TEST(FitWindowLayout, EveryDpiHoldsEveryControlAndTheLargestWholePreview) {
  for (int dpi : {96, 120, 144, 168, 192}) {
    FitLayout smallest = LayOutFit(dpi, 0, 0);
    const struct {
      int width, height;
    } sizes[] = {{0, 0},       {smallest.minWidth + 1, smallest.minHeight + 1},
                 {1366, 768},  {1920, 1080},
                 {2560, 1440}, {3840, 2160}};
    int lastScale = 0;
    for (const auto& size : sizes) {
      const FitLayout layout = LayOutFit(dpi, size.width, size.height);
      const int width = std::max(size.width, layout.minWidth);
      const int height = std::max(size.height, layout.minHeight);
      const std::string where =
          std::to_string(dpi) + " dpi, " + std::to_string(width) + "x" + std::to_string(height);
      EXPECT_EQ(layout.controls.size(), 31u) << where;
      for (size_t i = 0; i < layout.controls.size(); ++i) {
        const FitRect& r = layout.controls[i].rect;
        EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.Right() <= width && r.Bottom() <= height &&
                    r.width > 0 && r.height > 0)
            << where << ": control " << layout.controls[i].id << " outside";
        for (size_t j = i + 1; j < layout.controls.size(); ++j) {
          EXPECT_FALSE(Overlap(r, layout.controls[j].rect))
              << where << ": " << layout.controls[i].id << " on " << layout.controls[j].id;
        }
      }
      // The preview at the scale, and no larger scale would have fitted beside the column.
      const FitRect preview = PlaceOf(layout, kFitIdPreview);
      const int scale = layout.previewScale;
      EXPECT_EQ(preview.width, 640 * scale + 2) << where;
      EXPECT_EQ(preview.height, 400 * scale + 2) << where;
      const FitRect column = PlaceOf(layout, kFitIdOriginal);
      const FitRect status = PlaceOf(layout, kFitIdStatus);
      EXPECT_TRUE(preview.x + 640 * (scale + 1) + 2 > column.x ||
                  preview.y + 400 * (scale + 1) + 2 > status.y)
          << where << ": scale " << scale + 1 << " fits";
      EXPECT_GE(scale, lastScale) << where << ": a larger window, a smaller preview";
      lastScale = scale;
    }
    EXPECT_GE(lastScale, 4) << "3840x2160 at " << dpi << " dpi";
    // The client size asked for a scale gives that scale.
    for (int scale : {1, 2, 3}) {
      int width = 0, height = 0;
      FitClientFor(dpi, scale, width, height);
      EXPECT_EQ(LayOutFit(dpi, width, height).previewScale, scale) << dpi << " dpi";
      EXPECT_EQ(LayOutFit(dpi, width - 1, height).previewScale, scale - (scale > 1)) << dpi;
    }
  }
}

}  // namespace
