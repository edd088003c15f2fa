// Vantrel Fit without the window: what fit_session decides (choices and their memory, texts,
// what the preview shows), and the refusals it tells the user about.
#include "fit_session.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fit_layout.h"
#include "fitted_bitmap.h"
#include "format_hint.h"
#include "gtest/gtest.h"
#include "picture_fit.h"
#include "stb_image_write.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

void Append(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// A PNG of width x height whose every pixel differs from its neighbours (hue across, light
// down, a pattern in blue), alpha when given.
Bytes TestPng(int width, int height, bool alpha = false) {
  const int comp = alpha ? 4 : 3;
  Bytes pixels(size_t(width) * height * comp), png;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(size_t(y) * width + x) * comp];
      p[0] = uint8_t(255 * x / (width - 1));
      p[1] = uint8_t(255 * y / (height - 1));
      p[2] = uint8_t((x * 7 + y * 3) & 255);
      if (alpha) p[3] = uint8_t(x < width / 2 ? 0 : 255);
    }
  }
  stbi_write_png_to_func(Append, &png, width, height, comp, pixels.data(), width * comp);
  return png;
}

WorkingPicture Load(const Bytes& file) {
  WorkingPicture picture;
  EXPECT_EQ(LoadPicture(file.data(), file.size(), picture), "");
  return picture;
}

// A session holding a width x height picture, shown at res.
void Hold(FitSession& session, int width, int height, Resolution res = Res640) {
  session.ChooseRes(res);
  session.Take("p.png", Load(TestPng(width, height)));
}

TEST(FitRefusal, FormatsNothingReadsAreNamedWithWhatWouldReadThem) {
  const struct {
    const char* name;
    std::string file;
    UnreadFormat want;
  } cases[] = {
      // An ISO box's size comes first, in octal here (\030 is 24) so no letter joins it.
      {"heic", "\0\0\0\030ftypheic\0\0\0\0mif1heic"s, UnreadHeif},
      {"heif by a compatible brand", "\0\0\0\030ftypmif1\0\0\0\0miafheix"s, UnreadHeif},
      {"avif", "\0\0\0\034ftypavif\0\0\0\0avifmif1miaf"s, UnreadAvif},
      {"video", "\0\0\0\030ftypisom\0\0\0\0isomavc1"s, UnreadNone},
      {"brand past its box", "\0\0\0\020ftypisom\0\0\0\0heic"s, UnreadNone},
      {"jxl stream", "\xff\x0a\xfa"s, UnreadJpegXl},
      {"jxl box", "\0\0\0\x0cJXL \x0d\x0a\x87\x0a"s, UnreadJpegXl},
      {"tiff little", "II*\0\x08\0\0\0"s, UnreadTiff},
      {"not tiff", "MM\x01*"s, UnreadNone},
      {"pdf", "%PDF-1.7\n", UnreadPdf},
      {"svg", "\xef\xbb\xbf<?xml version=\"1.0\"?>\n<!-- x -->\n<svg width=\"4\">", UnreadSvg},
      {"html", "<html><body>svg</body></html>", UnreadNone},
      {"empty", "", UnreadNone},
  };
  for (const auto& c : cases) {
    const uint8_t* file = reinterpret_cast<const uint8_t*>(c.file.data());
    EXPECT_EQ(UnreadFormatOf(file, c.file.size()), c.want) << c.name;
    if (c.want == UnreadNone) continue;
    // The engine's refusal names the format and what reads it, and counts as unknown.
    Bytes pixels;
    const std::string reason = FitPicture(file, c.file.size(), Res640, DitherNone, pixels);
    EXPECT_EQ(reason, "a "s + UnreadFormatName(c.want) + " picture gramconv cannot read (" +
                          UnreadFormatAdvice(c.want) + ")")
        << c.name;
    EXPECT_EQ(TroubleOfReason(reason), TroubleUnknownFormat) << c.name;
  }
}

TEST(FitWindowChoices, RememberedAndReadBackDefensively) {
  FitChoices fresh, changed;
  EXPECT_EQ(fresh.dither, DitherDiffusion);
  EXPECT_EQ(fresh.look.frame, FrameWhole);
  const std::pair<FitList, int> items[] = {
      {ListRes, 1}, {ListDither, 0}, {ListFrame, 3}, {ListScreen, 1}, {ListBackground, 6}};
  for (const auto& [list, index] : items) Choose(changed, list, index);
  EXPECT_EQ(changed.res, Res320);
  EXPECT_EQ(changed.look.frame, FramePixel);
  EXPECT_EQ(changed.look.screen, Screen4x3);
  EXPECT_EQ(changed.look.background, 6) << "yellow: red and green";
  changed.look.tone = {-100, 55, 200, true};
  for (const FitChoices& choices : {fresh, changed}) {
    const FitChoices back = ReadChoicesText(ChoicesText(choices));
    EXPECT_EQ(ChoicesText(back), ChoicesText(choices));
    for (int list = 0; list < kFitListCount; ++list) {
      EXPECT_EQ(ChoiceIndex(back, FitList(list)), ChoiceIndex(choices, FitList(list))) << list;
    }
  }

  // Each line alone, as a damaged or hand-edited file holds it: a value read as written back,
  // or anything else out of place, which leaves every choice at its default.
  const char* const kept[][2] = {{"frame=fill", "frame=fill"},
                                 {"frame=fill\r", "frame=fill"},
                                 {"brightness=-100", "brightness=-100"},
                                 {"saturation=-0", "saturation=0"}};
  for (const auto& [line, remembered] : kept) {
    const std::string text = ChoicesText(ReadChoicesText(line + "\n"s));
    EXPECT_NE(text.find(remembered + "\n"s), std::string::npos) << line << " read as:\n" << text;
  }
  for (const char* line :
       {"frame=Fill", "frame =fill", "dither=best-ever", "res=321", "background=7",
        "brightness=-101", "contrast=1e2", "contrast=", "contrast=-", "saturation=99999999999",
        "saturation=201", "levels=yes", "screen=4/3"}) {
    EXPECT_EQ(ChoicesText(ReadChoicesText(line + "\n"s)), ChoicesText(FitChoices())) << line;
  }
  // Garbage of any kind reads as the defaults (\357\273\277 a byte-order mark).
  EXPECT_EQ(ChoicesText(ReadChoicesText("\0\xff=\n==\nres\n\357\273\277frame=fill"s)),
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

TEST(FitWindowSession, EveryChoiceShowsAndSavesWhatGramconvMakes) {
  const Bytes file = TestPng(333, 123);
  FitSession session;
  EXPECT_FALSE(session.Has());
  session.Take("dir/pic.png", Load(file));
  ASSERT_TRUE(session.Has());
  EXPECT_EQ(session.Res(), Res640);
  // Each step changes one choice, as the window's controls do, so a cache kept past a change
  // shows: an item of a list, or (list -1) the tone.
  const struct {
    int list, index;
    FitTone tone = FitTone();
  } steps[] = {{ListDither, 0}, {ListDither, 1},         {ListRes, 1},          {ListDither, 4},
               {ListFrame, 1},  {ListScreen, 1},         {ListBackground, 5},   {ListFrame, 3},
               {ListRes, 0},    {-1, 0, {30, -20, 100}}, {-1, 0, {30, -20, 0}}, {ListFrame, 2},
               {-1, 0, {}}};
  for (const auto& step : steps) {
    if (step.list == ListRes) {
      session.ChooseRes(step.index == 1 ? Res320 : Res640);
    } else {
      if (step.list < 0) session.choices.look.tone = step.tone;
      if (step.list >= 0) Choose(session.choices, FitList(step.list), step.index);
      session.Changed();
    }
    const Resolution res = session.Res();
    Bytes pixels, colours, want, screen;
    ASSERT_EQ(FitPicture(file.data(), file.size(), res, session.choices.dither, pixels, nullptr,
                         GammaLinear, &colours, session.choices.look),
              "");
    PreviewScreen(res, colours.data(), want);
    session.Screen(screen);
    EXPECT_TRUE(screen == want) << "list " << step.list << " item " << step.index;
    EXPECT_TRUE(session.Bitmap() == FittedBitmapFile(res, pixels)) << "list " << step.list;
  }
  session.Forget();
  EXPECT_FALSE(session.Has());
}

TEST(FitWindowSession, PictureOf320x200OpensAt320AndTheChoiceStays) {
  FitSession session;
  const struct {
    int width, height;
    Resolution chosen, shown;
  } cases[] = {{320, 200, Res640, Res320}, {640, 200, Res640, Res640}, {321, 200, Res640, Res640},
               {320, 200, Res320, Res320}, {200, 320, Res320, Res320}, {640, 400, Res640, Res640}};
  for (const auto& c : cases) {
    Hold(session, c.width, c.height, c.chosen);
    EXPECT_EQ(session.Res(), c.shown) << c.width << "x" << c.height;
    EXPECT_EQ(session.choices.res, c.chosen) << "the choice is the user's, kept for the next";
  }
}

TEST(FitWindowSession, DragMovesTheKeptPartWithTheMouse) {
  const struct {
    int width, height;
    int dx, dy;
    Resolution res;
    double across, down;  // canvas pixels the kept part moves (the picture moves the other way)
  } cases[] = {
      {300, 900, 0, 100, Res640, 0, -50},  // tall: 100 screen lines are 50 canvas lines
      {300, 900, 0, -60, Res640, 0, 30},
      {300, 900, 40, 60, Res640, 0, -30},    // no crop across: no move across
      {1600, 200, 64, 0, Res640, -64, 0},    // wide, at 640: a screen pixel a canvas pixel
      {1600, 200, 64, 0, Res320, -32, 0},    // at 320: two screen pixels a canvas pixel
      {300, 900, 0, 5000, Res640, 0, -1e9},  // past the edge: the top kept
  };
  for (const auto& c : cases) {
    FitSession session;
    Hold(session, c.width, c.height, c.res);
    session.choices.look.frame = FrameFill;
    session.Changed();
    const FitPlacement before = session.Placement();
    session.DragFocus(0.5f, 0.5f, c.dx, c.dy);
    const FitPlacement after = session.Placement();
    const std::string what =
        std::to_string(c.width) + " by " + std::to_string(c.dx) + "," + std::to_string(c.dy);
    if (c.down < -1e8) {
      EXPECT_NEAR(after.keptY, 0, 1e-4) << what;
    } else {
      EXPECT_NEAR((after.keptX - before.keptX) * before.canvasWidth / before.keptWidth, c.across,
                  0.5)
          << what;
      EXPECT_NEAR((after.keptY - before.keptY) * before.canvasHeight / before.keptHeight, c.down,
                  0.5)
          << what;
    }
    // Dragging back where it began gives the focus it began with.
    session.DragFocus(0.5f, 0.5f, 0, 0);
    EXPECT_NEAR(session.choices.look.focusY, 0.5, 1e-4) << what;
  }
}

TEST(FitWindowSession, SmallOriginalKeepsItsShapeAndOutlinesTheKeptPart) {
  FitSession session;
  EXPECT_EQ(session.Small(200, 100).width, 0u) << "no picture, nothing";
  const struct {
    int width, height;
    FitFrame frame;
    uint32_t boxWidth, boxHeight, smallWidth, smallHeight;
  } cases[] = {{300, 900, FrameWhole, 212, 120, 40, 120},
               {300, 900, FrameFill, 212, 120, 40, 120},
               {1600, 200, FrameFill, 212, 120, 212, 27},
               {640, 400, FrameWhole, 424, 240, 384, 240}};
  for (const auto& c : cases) {
    Hold(session, c.width, c.height);
    session.choices.look.frame = c.frame;
    session.Changed();
    const FitSession::Original small = session.Small(c.boxWidth, c.boxHeight);
    const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height);
    ASSERT_EQ(small.width, c.smallWidth) << what;
    ASSERT_EQ(small.height, c.smallHeight) << what;
    ASSERT_EQ(small.rgb.size(), size_t(small.width) * small.height * 3);
    // The outline's corners where the placement says, white; a pixel inside is the picture's.
    const FitPlacement kept = session.Placement();
    const uint32_t left = uint32_t(kept.keptX * small.width + 0.5);
    const uint32_t top = uint32_t(kept.keptY * small.height + 0.5);
    const uint8_t* corner = &small.rgb[(size_t(top) * small.width + left) * 3];
    EXPECT_EQ(Bytes(corner, corner + 3), Bytes(3, 255)) << what;
    EXPECT_EQ(left + top == 0, c.frame == FrameWhole) << what << ": all of it kept, or a part";
    // Away from the outline the picture shows: its red rises across.
    const size_t row = size_t(small.height / 2) * small.width;
    EXPECT_LT(small.rgb[(row + small.width / 4) * 3], small.rgb[(row + small.width * 3 / 4) * 3])
        << what;
  }
  // Transparency shows the background chosen.
  session.Take("a.png", Load(TestPng(64, 64, true)));
  session.choices.look.frame = FrameWhole;
  for (uint8_t background : {0, 7, 1}) {
    session.choices.look.background = background;
    session.Changed();
    const FitSession::Original small = session.Small(32, 32);
    const uint8_t* clear = &small.rgb[(16 * 32 + 8) * 3];  // the transparent left half
    EXPECT_EQ(Bytes(clear, clear + 3),
              Bytes({uint8_t(background & 2 ? 255 : 0), uint8_t(background & 4 ? 255 : 0),
                     uint8_t(background & 1 ? 255 : 0)}))
        << int(background);
  }
}

}  // namespace
