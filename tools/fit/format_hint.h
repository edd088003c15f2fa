// Picture formats no reader here knows, told from their first bytes, so a refusal can say
// what the file is and what would read it instead of only "unknown format".
#pragma once

#include <stddef.h>
#include <stdint.h>

enum UnreadFormat {
  UnreadNone,  // not one of these: an unknown or damaged file
  UnreadHeif,  // HEIF/HEIC, as phones save photos
  UnreadAvif,
  UnreadJpegXl,
  UnreadTiff,  // read through Windows where its imaging component is there
  UnreadSvg,   // a drawing, not pixels
  UnreadPdf,
};

// Which of these the file starts as (UnreadNone for anything else).
UnreadFormat UnreadFormatOf(const uint8_t* data, size_t size);
// The format's usual name ("HEIF"), "" for UnreadNone.
const char* UnreadFormatName(UnreadFormat format);
// What would read it, for a refusal in English ("" for UnreadNone): a Windows extension
// where one exists, else another format to save it as.
const char* UnreadFormatAdvice(UnreadFormat format);
