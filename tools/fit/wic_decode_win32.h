// Pictures stb_image cannot read handed to the Windows Imaging Component, in Windows builds:
// TIFF and JPEG XR from WIC itself, WebP and HEIF from the codecs Windows 10 and 11 ship,
// whatever else the machine has installed. WIC is reached through COM at run time, so the
// program still starts, and reads stb_image's formats, where WIC is missing (Windows XP).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "read_watch.h"

// DecodeWithWic's answer when no decoder on this machine knows the file (or WIC is missing).
extern const char kWicNoDecoder[];

// Decodes frame 0 of the file into sink as R G B A (not premultiplied), a band of rows at a
// time, telling watch between bands. The size is judged before any pixel is copied. Returns
// "" on success, kWicNoDecoder, kFitCancelled, or a one-line English reason; rows given
// before a failure are void. orientation, when given, gets the frame's EXIF orientation
// (1-8) before the sink's Start where its metadata states one; a Windows without the
// metadata query reader states none.
std::string DecodeWithWic(const uint8_t* data, size_t size, RowSink& sink, ReadWatch& watch,
                          int* orientation = nullptr);

// The formats the decoders on this machine read, each by its first file extension ("TIFF,
// JXR, WEBP"), leaving out those named in `known` (a list like "PNG, JPEG"); "" when WIC is
// missing or adds none.
std::string WicFormats(const std::string& known);
