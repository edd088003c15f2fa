// Vantrel Fit without the window: what fit_session decides (choices and their memory, texts,
// what the preview shows), and the refusals it tells the user about.
#include "fit_session.h"

#include <string.h>

#include <string>
#include <vector>

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

}  // namespace
