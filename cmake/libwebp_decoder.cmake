# libwebp's decoder and demuxer built from the library's own sources (Debian's source
# package at its pinned version, fetched by scripts/setup.sh), for the Windows programs:
# Debian has no libwebp for MinGW, and Windows before 10 (and Wine) has no WebP codec.
# Plain C, no threads (Windows XP) and no SIMD: the same bytes on every build.
set(FIT_WEBP_SOURCES "${VANTREL_ROOT}/build/sources/libwebp" CACHE PATH
    "libwebp's unpacked sources (scripts/fetch_sources.sh --dir libwebp)")
if(NOT EXISTS "${FIT_WEBP_SOURCES}/src/webp/decode.h")
  message(FATAL_ERROR "libwebp's sources are not in ${FIT_WEBP_SOURCES}: run scripts/setup.sh")
endif()

set(webp_dir "${FIT_WEBP_SOURCES}/src")
set(webp_files
  dec/alpha_dec.c dec/buffer_dec.c dec/frame_dec.c dec/idec_dec.c dec/io_dec.c dec/quant_dec.c
  dec/tree_dec.c dec/vp8_dec.c dec/vp8l_dec.c dec/webp_dec.c
  demux/anim_decode.c demux/demux.c
  dsp/alpha_processing.c dsp/cpu.c dsp/dec.c dsp/dec_clip_tables.c dsp/filters.c
  dsp/lossless.c dsp/rescaler.c dsp/upsampling.c dsp/yuv.c
  utils/bit_reader_utils.c utils/color_cache_utils.c utils/filters_utils.c
  utils/huffman_utils.c utils/quant_levels_dec_utils.c utils/random_utils.c
  utils/rescaler_utils.c utils/thread_utils.c utils/utils.c)
list(TRANSFORM webp_files PREPEND "${webp_dir}/")
add_library(webp_decoder STATIC ${webp_files})
# Its headers as system headers: the library's own warnings are not ours to keep at zero.
target_include_directories(webp_decoder SYSTEM PUBLIC "${webp_dir}")
target_include_directories(webp_decoder PRIVATE "${FIT_WEBP_SOURCES}")
target_compile_options(webp_decoder PRIVATE -w)
# WEBP_USE_THREAD stays undefined: one thread, and none of Vista's condition variables.
