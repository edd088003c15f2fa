#include "dialog_png.h"

#include <stdint.h>
#include <stdio.h>

#include <vector>

namespace {

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PutBig32(std::vector<unsigned char>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((unsigned char)(value >> shift));
}

void Chunk(std::vector<unsigned char>& out, const char* type,
           const std::vector<unsigned char>& body) {
  PutBig32(out, uint32_t(body.size()));
  std::vector<unsigned char> typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBig32(out, Crc32(typed.data(), typed.size()));
}

// A 32-bit top-down DIB section of width x height for dc, its pixels at *bits; null on failure.
HBITMAP TopDownSection(HDC dc, int width, int height, void** bits) {
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// The section's B G R x pixels as R G B.
std::vector<unsigned char> RgbOf(const void* bits, int width, int height) {
  std::vector<unsigned char> rgb(size_t(width) * height * 3);
  const unsigned char* bgra = static_cast<const unsigned char*>(bits);
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  return rgb;
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const unsigned char* rgb) {
  // Each row: filter byte 0, then the pixels.
  std::vector<unsigned char> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb + size_t(y) * width * 3, rgb + size_t(y + 1) * width * 3);
  }
  // A zlib stream of stored (uncompressed) blocks.
  std::vector<unsigned char> z = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t pos = 0; pos < raw.size() || pos == 0;) {
    const size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back((unsigned char)(n & 0xFF));
    z.push_back((unsigned char)(n >> 8));
    z.push_back((unsigned char)(~n & 0xFF));
    z.push_back((unsigned char)((~n >> 8) & 0xFF));
    z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
    if (n == 0) break;
  }
  PutBig32(z, (b << 16) | a);

  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> header;
  PutBig32(header, uint32_t(width));
  PutBig32(header, uint32_t(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});

  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
  return fclose(file) == 0 && written;
}

bool CaptureWindowPng(HWND window, const std::string& path) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;

  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = TopDownSection(screen, width, height, &bits);
  ReleaseDC(nullptr, screen);
  if (bitmap == nullptr) {
    DeleteDC(memory);
    return false;
  }
  HGDIOBJ old = SelectObject(memory, bitmap);
  // Copied from the window's own drawing surface (frame included), so windows of other
  // programs that overlap it on the screen do not show.
  HDC source = GetWindowDC(window);
  const bool drawn =
      source != nullptr && BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
  if (source != nullptr) ReleaseDC(window, source);
  GdiFlush();

  const std::vector<unsigned char> rgb = RgbOf(bits, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return drawn && WritePng(path, width, height, rgb.data());
}

bool CapturePaintedWindowPng(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  return CaptureWindowPng(window, path);
}

std::vector<unsigned char> PrintClientRgb(HWND window, int& width, int& height) {
  std::vector<unsigned char> rgb;
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return rgb;
  width = client.right;
  height = client.bottom;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = TopDownSection(memory, width, height, &bits);
  if (bitmap == nullptr) {
    DeleteDC(memory);
    return rgb;
  }
  HGDIOBJ old = SelectObject(memory, bitmap);
  DWORD_PTR result = 0;
  const bool drawn = SendMessageTimeoutW(window, WM_PRINTCLIENT, WPARAM(memory), PRF_CLIENT,
                                         SMTO_ABORTIFHUNG, 10000, &result) != 0;
  GdiFlush();
  if (drawn) rgb = RgbOf(bits, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return rgb;
}
