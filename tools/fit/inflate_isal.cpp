// zlib's inflate functions, as the libpng linked into gramconv calls them, done by ISA-L's
// inflate: over twice as fast as zlib's on a big PNG, where inflating is most of the fit.
// libpng is linked statically, so its calls come here; nothing else in gramconv inflates.
// A zlib stream is read whole (header, deflate data, Adler-32), as zlib reads it.
// ISA-L reads ahead and decodes ahead: it may take the last input byte while output is still
// waiting in its own buffer, where zlib would leave input. libpng then looks for more input
// instead of calling again, so that last byte is reported unread until the output is out.
#include <isa-l/igzip_lib.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>

namespace {

struct Inflater {
  inflate_state isal;
  bool checkSum;  // the Adler-32 at the end must match
  bool ended;     // the end of the stream is read
  bool broken;    // bad data was found; zlib stays so until reset
  bool held;      // the byte at next_in, reported unread, is ISA-L's already
};

Inflater* Of(z_streamp strm) {
  return strm != nullptr ? reinterpret_cast<Inflater*>(strm->state) : nullptr;
}

void Restart(z_streamp strm, Inflater& in) {
  isal_inflate_init(&in.isal);
  in.isal.crc_flag = ISAL_ZLIB;
  in.isal.hist_bits = 0;  // the whole 32 KiB window, whatever the header says (as stb_image)
  in.checkSum = true;
  in.ended = false;
  in.broken = false;
  in.held = false;
  strm->total_in = strm->total_out = 0;
  strm->msg = nullptr;
  strm->adler = 1;
}

// zlib's words for what ISA-L finds wrong.
const char* Problem(int isal) {
  switch (isal) {
    case ISAL_INVALID_BLOCK: return "invalid block type";
    case ISAL_INVALID_SYMBOL: return "invalid code";
    case ISAL_INVALID_LOOKBACK: return "invalid distance too far back";
    case ISAL_INVALID_WRAPPER: return "incorrect header check";
    case ISAL_UNSUPPORTED_METHOD: return "unknown compression method";
    case ISAL_INCORRECT_CHECKSUM: return "incorrect data check";
    default: return "invalid data";
  }
}

}  // namespace

extern "C" {

int inflateInit2_(z_streamp strm, int windowBits, const char* version, int streamSize) {
  if (version == nullptr || version[0] != ZLIB_VERSION[0] || streamSize != int(sizeof(z_stream))) {
    return Z_VERSION_ERROR;
  }
  // Only zlib streams: a window of 2^8 to 2^15, or 0 for the header's.
  if (strm == nullptr || (windowBits != 0 && (windowBits < 8 || windowBits > 15))) {
    return Z_STREAM_ERROR;
  }
  auto* in = static_cast<Inflater*>(malloc(sizeof(Inflater)));
  if (in == nullptr) return Z_MEM_ERROR;
  strm->state = reinterpret_cast<internal_state*>(in);
  Restart(strm, *in);
  return Z_OK;
}

int inflateInit_(z_streamp strm, const char* version, int streamSize) {
  return inflateInit2_(strm, 15, version, streamSize);
}

int inflateReset2(z_streamp strm, int windowBits) {
  Inflater* in = Of(strm);
  if (in == nullptr || (windowBits != 0 && (windowBits < 8 || windowBits > 15))) {
    return Z_STREAM_ERROR;
  }
  Restart(strm, *in);
  return Z_OK;
}

int inflateReset(z_streamp strm) { return inflateReset2(strm, 0); }

int inflateValidate(z_streamp strm, int check) {
  Inflater* in = Of(strm);
  if (in == nullptr) return Z_STREAM_ERROR;
  in->checkSum = check != 0;
  return Z_OK;
}

int inflateEnd(z_streamp strm) {
  Inflater* in = Of(strm);
  if (in == nullptr) return Z_STREAM_ERROR;
  free(in);
  strm->state = nullptr;
  return Z_OK;
}

int inflate(z_streamp strm, int flush) {
  Inflater* in = Of(strm);
  if (in == nullptr || (strm->next_out == nullptr && strm->avail_out != 0) ||
      (strm->next_in == nullptr && strm->avail_in != 0)) {
    return Z_STREAM_ERROR;
  }
  if (in->broken) return Z_DATA_ERROR;
  if (in->ended) return Z_STREAM_END;
  inflate_state& isal = in->isal;
  const uInt held = in->held ? 1 : 0;
  isal.next_in = strm->next_in + held;
  isal.avail_in = strm->avail_in - held;
  isal.next_out = strm->next_out;
  isal.avail_out = strm->avail_out;
  int result = isal_inflate(&isal);
  in->held = strm->avail_in > 0 && isal.avail_in == 0 && isal.avail_out == 0 &&
             isal.block_state != ISAL_BLOCK_FINISH && result >= 0;
  uInt left = isal.avail_in + (in->held ? 1 : 0);
  // Whole bytes read past the end of the stream are given back, as zlib never takes them
  // (those read ahead in an earlier call are gone: libpng only warns of bytes after the end).
  if (isal.block_state == ISAL_BLOCK_FINISH && isal.read_in_length >= 8) {
    left = std::min<uInt>(strm->avail_in, left + uInt(isal.read_in_length / 8));
  }
  const uInt used = strm->avail_in - left, made = strm->avail_out - isal.avail_out;
  strm->next_in += used;
  strm->avail_in = left;
  strm->total_in += used;
  strm->next_out = isal.next_out;
  strm->avail_out = isal.avail_out;
  strm->total_out += made;
  // A wrong Adler-32 is the end of the stream all the same when it is not checked.
  if (result == ISAL_INCORRECT_CHECKSUM && !in->checkSum && isal.block_state == ISAL_BLOCK_FINISH) {
    result = ISAL_DECOMP_OK;
  }
  if (result == ISAL_NEED_DICT) return Z_NEED_DICT;  // PNG has no preset dictionaries
  if (result < 0) {
    in->broken = true;
    strm->msg = const_cast<char*>(Problem(result));
    return Z_DATA_ERROR;
  }
  if (isal.block_state == ISAL_BLOCK_FINISH) {
    in->ended = true;
    strm->adler = isal.crc;
    return Z_STREAM_END;
  }
  // As zlib: no progress possible, or not finished when told to finish.
  return (used == 0 && made == 0) || flush == Z_FINISH ? Z_BUF_ERROR : Z_OK;
}

}  // extern "C"
