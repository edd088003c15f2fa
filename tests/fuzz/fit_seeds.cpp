// Writes the readers' fuzz targets' starting pictures into a folder: small pictures with
// colours, shades and transparency in the formats stb_image_write makes (PNG, BMP, TGA with
// and without RLE, JPEG), a PPM and an RLE4 bitmap; and the engine target's inputs
// (engine_fuzz.cpp's layout). run_fuzz.sh adds GIF, PSD, more PNG kinds and palette bitmaps
// (RLE8 among them) by ImageMagick.
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace {

std::string g_dir;

bool Save(const std::string& name, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen((g_dir + "/" + name).c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// An 8x4 RLE4 bitmap of 8 colours with every kind of step: encoded and absolute runs (the
// latter padded), a move, row ends and the end of the bitmap.
std::vector<uint8_t> Rle4Bitmap() {
  const uint8_t runs[] = {8, 0x01, 0,    0,                       // bottom row: alternating 0 and 1
                          0, 8,    0x23, 0x45, 0x67, 0x01, 0, 0,  // absolute run of 8
                          0, 3,    0x76, 0x50, 5,    0x44, 0, 0,  // absolute run of 3, padded
                          0, 2,    2,    0,    6,    0x12, 0, 1};  // move right by 2; the end
  std::vector<uint8_t> file(54 + 16 * 4, 0);
  const auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(2, uint32_t(file.size() + sizeof runs));
  put(10, uint32_t(file.size()));
  put(14, 40);
  put(18, 8);
  put(22, 4);
  put(26, 1 | 4 << 16);  // one plane, 4 bits
  put(30, 2);            // RLE4
  put(34, sizeof runs);
  for (int i = 0; i < 16; ++i)
    put(54 + 4 * i, uint32_t((i & 1 ? 0xff : 0) | (i & 2 ? 0xff0000 : 0) | (i & 4 ? 0xff00 : 0)));
  file.insert(file.end(), runs, runs + sizeof runs);
  return file;
}

// A 4x2 raw RGBA PSD of DEPTH bits per channel. Its partial alpha over dark colours is
// no white matte at all: undoing one lands outside the channel's range.
std::vector<uint8_t> MattedPsd(int depth) {
  std::vector<uint8_t> file = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 4};  // 4 channels
  const auto put = [&](uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) file.push_back(uint8_t(v >> (8 * i)));
  };
  put(2, 4);                // height
  put(4, 4);                // width
  put(uint32_t(depth), 2);  // bits per channel
  put(3, 2);                // RGB
  put(0, 4);                // no colour mode data,
  put(0, 4);                // no resources,
  put(0, 4);                // no layers
  put(0, 2);                // raw samples, one channel after another
  const int max = (1 << depth) - 1;
  for (int channel = 0; channel < 4; ++channel)
    for (int i = 0; i < 8; ++i)
      put(uint32_t(channel == 3 ? max / (i + 2) : i * max / 16), depth / 8);
  return file;
}

// The engine target's input: its flags, the picture's size and channels, then pixels.
std::vector<uint8_t> EngineInput(uint8_t flags, uint32_t width, uint32_t height, uint32_t channels,
                                 size_t pixelBytes) {
  std::vector<uint8_t> input = {flags,
                                uint8_t(width - 1),
                                uint8_t((width - 1) >> 8),
                                uint8_t(height - 1),
                                uint8_t((height - 1) >> 8),
                                uint8_t(channels - 1)};
  for (size_t i = 0; i < pixelBytes; ++i) input.push_back(uint8_t(i * 67 + i / 7));
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: fit_seeds DIR\n");
    return 2;
  }
  g_dir = argv[1];
  bool ok = true;
  const int sizes[][2] = {{16, 8}, {7, 5}, {1, 1}, {40, 3}};
  for (auto [w, h] : sizes) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    for (int i = 0; i < w * h; ++i) {
      rgba[4 * i] = uint8_t(i * 37);
      rgba[4 * i + 1] = uint8_t(i * 11 + 128);
      rgba[4 * i + 2] = uint8_t(255 - i * 5);
      rgba[4 * i + 3] = uint8_t(i * 53);
    }
    std::vector<uint8_t> rgb;
    for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), &rgba[4 * i], &rgba[4 * i + 3]);
    const std::string base = std::to_string(w) + "x" + std::to_string(h);
    for (int comp : {3, 4}) {
      const uint8_t* data = comp == 4 ? rgba.data() : rgb.data();
      const std::string name = base + "-" + std::to_string(comp);
      std::vector<uint8_t> png, bmp, tga, tgaRle, jpeg;
      stbi_write_png_to_func(Append, &png, w, h, comp, data, w * comp);
      stbi_write_bmp_to_func(Append, &bmp, w, h, comp, data);
      stbi_write_tga_with_rle = 0;
      stbi_write_tga_to_func(Append, &tga, w, h, comp, data);
      stbi_write_tga_with_rle = 1;
      stbi_write_tga_to_func(Append, &tgaRle, w, h, comp, data);
      stbi_write_jpg_to_func(Append, &jpeg, w, h, comp, data, 90);
      ok = Save(name + ".png", png) && Save(name + ".bmp", bmp) && Save(name + ".tga", tga) &&
           Save(name + "-rle.tga", tgaRle) && Save(name + ".jpg", jpeg) && ok;
    }
    const std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<uint8_t> ppm(head.begin(), head.end());
    ppm.insert(ppm.end(), rgb.begin(), rgb.end());
    ok = Save(base + ".ppm", ppm) && ok;
  }
  ok = Save("8x4-rle4.bmp", Rle4Bitmap()) && ok;
  // Engine inputs: each resolution and dither, flat and pure pictures, every channel count,
  // sizes below, at and above the canvas.
  ok = Save("engine-640x400-3.bin", EngineInput(1, 640, 400, 3, 600)) &&
       Save("engine-320x200-4-ordered.bin", EngineInput(2 | 32, 320, 200, 4, 256)) &&
       Save("engine-7x5-1-diffusion.bin", EngineInput(4 | 1, 7, 5, 1, 35)) &&
       Save("engine-flat-2.bin", EngineInput(8 | 1 | 96, 33, 300, 2, 2)) &&
       Save("engine-pure-4.bin", EngineInput(16 | 4, 1000, 65, 4, 4000)) && ok;
  ok = Save("4x2-matte8.psd", MattedPsd(8)) && Save("4x2-matte16.psd", MattedPsd(16)) && ok;
  return ok ? 0 : 1;
}
