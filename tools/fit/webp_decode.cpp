// Still pictures go through libwebp's incremental decoder, fed the file a piece at a time:
// between pieces the progress is told and rows already final are passed to the sink.
// Animations go through its animation decoder, which composites whole canvases.
#include "webp_decode.h"

#include <string.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>

namespace {

// A still picture is fed in about this many pieces, none under kSmallestPiece bytes: often
// enough for progress and a stop, few enough that the decoder's restarts cost nothing.
constexpr size_t kPieces = 64;
constexpr size_t kSmallestPiece = 16384;

std::string StatusReason(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "not enough memory to read the picture";
    case VP8_STATUS_NOT_ENOUGH_DATA:
    case VP8_STATUS_SUSPENDED: return "the picture is cut short";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "the picture is in a form of WebP gramconv cannot read";
    default: break;
  }
  return "the picture is damaged (the WebP data is not valid)";
}

// Passes rows [given, upTo) of a decoded buffer to sink.
void GiveRows(const uint8_t* rows, int stride, size_t rowBytes, uint32_t& given, uint32_t upTo,
              RowSink& sink) {
  if (upTo <= given) return;
  if (size_t(stride) == rowBytes) {
    sink.Take(rows + size_t(given) * rowBytes, upTo - given);
    given = upTo;
    return;
  }
  for (; given < upTo; ++given) sink.Take(rows + size_t(given) * size_t(stride), 1);
}

std::string DecodeStill(const uint8_t* data, size_t size, const WebPBitstreamFeatures& features,
                        RowSink& sink, ReadWatch& watch) {
  const uint32_t width = uint32_t(features.width), height = uint32_t(features.height);
  const uint32_t channels = features.has_alpha ? 4 : 3;
  WebPDecBuffer output;
  if (!WebPInitDecBuffer(&output)) return "not enough memory to read the picture";
  output.colorspace = features.has_alpha ? MODE_RGBA : MODE_RGB;
  WebPIDecoder* decoder = WebPINewDecoder(&output);
  if (decoder == nullptr) return "not enough memory to read the picture";
  std::string failure;
  bool started = false;
  uint32_t given = 0;
  const size_t piece = std::max(kSmallestPiece, size / kPieces);
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  for (size_t fed = 0; fed < size && status == VP8_STATUS_SUSPENDED;) {
    if (!watch.Going(fed)) break;
    fed += std::min(piece, size - fed);
    // The whole file is in memory: the decoder reads it in place, up to `fed`.
    status = WebPIUpdate(decoder, data, fed);
    if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) break;
    int lastY = 0, w = 0, h = 0, stride = 0;
    const uint8_t* rows = WebPIDecGetRGB(decoder, &lastY, &w, &h, &stride);
    if (rows == nullptr || lastY <= 0) continue;
    if (uint32_t(w) != width || uint32_t(h) != height || lastY > h) {
      failure = "the picture is damaged (its size changes while it is read)";
      break;
    }
    if (!started) {
      if (!sink.Start(width, height, channels)) {
        failure = "not enough memory to read the picture";
        break;
      }
      started = true;
    }
    GiveRows(rows, stride, size_t(width) * channels, given, uint32_t(lastY), sink);
  }
  WebPIDelete(decoder);
  WebPFreeDecBuffer(&output);
  if (!failure.empty()) return failure;
  if (watch.stopped) return kFitCancelled;
  if (status != VP8_STATUS_OK) return StatusReason(status);
  if (given != height) return "the picture is damaged (rows are missing)";
  return "";
}

// Why an animation cannot be read: the container parsed as far as the file goes tells a file
// cut short from a damaged one.
std::string AnimationFailure(const WebPData& file) {
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  WebPDemuxer* demux = WebPDemuxPartial(&file, &state);
  WebPDemuxDelete(demux);
  if (state == WEBP_DEMUX_PARSING_HEADER || state == WEBP_DEMUX_PARSED_HEADER) {
    return "the picture is cut short";
  }
  return "the picture is damaged (the WebP animation is not valid)";
}

std::string DecodeFirstFrame(const uint8_t* data, size_t size, RowSink& sink, ReadWatch& watch) {
  if (!watch.Going(0)) return kFitCancelled;
  const WebPData file = {data, size};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return "not enough memory to read the picture";
  options.color_mode = MODE_RGBA;  // not premultiplied: the fit composites over black itself
  options.use_threads = 0;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&file, &options);
  if (decoder == nullptr) return AnimationFailure(file);
  std::string failure;
  WebPAnimInfo info;
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetInfo(decoder, &info) || info.frame_count == 0) {
    failure = "the picture has no pixels";
  } else if (!WebPAnimDecoderGetNext(decoder, &canvas, &timestamp) || canvas == nullptr) {
    failure = "the picture is damaged (the first frame of the WebP animation is not valid)";
  } else if (!watch.Going(size)) {
    failure = kFitCancelled;
  } else if (!sink.Start(info.canvas_width, info.canvas_height, 4)) {
    failure = "not enough memory to read the picture";
  } else {
    sink.Take(canvas, info.canvas_height);
  }
  WebPAnimDecoderDelete(decoder);
  return failure;
}

}  // namespace

bool IsWebp(const uint8_t* data, size_t size) {
  return size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0;
}

std::string DecodeWebp(const uint8_t* data, size_t size, RowSink& sink, ReadWatch& watch) {
  // The incremental decoder cannot know that no more bytes will come, and takes a last
  // partition short by a byte or two; the container says how long the file is.
  const uint32_t riffSize = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 |
                            uint32_t(data[7]) << 24;
  if (uint64_t(riffSize) + 8 > size) return "the picture is cut short";
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(data, size, &features);
  if (status != VP8_STATUS_OK) return StatusReason(status);
  // The canvas of an extended file may declare up to 16777216 a side.
  if (features.width <= 0 || features.height <= 0) return "the picture has no pixels";
  const std::string refusal = JudgeSize(uint32_t(features.width), uint32_t(features.height));
  if (!refusal.empty()) return refusal;
  return features.has_animation ? DecodeFirstFrame(data, size, sink, watch)
                                : DecodeStill(data, size, features, sink, watch);
}
