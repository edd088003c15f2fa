// Writes the fit fuzzer's own starting pictures into a folder: small pictures with colours,
// shades and transparency in the formats stb_image_write makes (PNG, BMP, TGA with and
// without RLE, JPEG) and a PPM. run_fuzz.sh adds GIF, PSD and palette bitmaps by ImageMagick.
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
  return ok ? 0 : 1;
}
