// The picture controls: the preview (GRAM's screen, enlarged by whole multiples so every pixel
// stays a crisp square) and the small original. Painted straight from memory, so what a
// control holds is exactly what is seen; without a picture the control's text says what to do.
#include <windows.h>
// After windows.h, which they build on.
#include <string.h>
#include <windowsx.h>

#include <new>
#include <vector>

#include "fit_window_parts.h"

const wchar_t kFitPictureClass[] = L"VantrelFitPicture";

namespace {

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, the layout of a 32-bit DIB
  int scale = 1;
  std::vector<uint32_t> shown;  // pixels enlarged by scale, made when painted
  bool shownMade = false;
  HFONT font = nullptr;
  bool draggable = false;
  bool dragging = false;
  POINT from = {};
};

// The pixels enlarged: each one scale x scale times.
void Enlarge(Picture& picture) {
  const uint32_t s = uint32_t(picture.scale), width = picture.width * s;
  picture.shown.resize(size_t(width) * picture.height * s);
  for (uint32_t y = 0; y < picture.height; ++y) {
    uint32_t* row = &picture.shown[size_t(y) * s * width];
    const uint32_t* from = &picture.pixels[size_t(y) * picture.width];
    for (uint32_t x = 0; x < picture.width; ++x) {
      for (uint32_t i = 0; i < s; ++i) row[x * s + i] = from[x];
    }
    for (uint32_t i = 1; i < s; ++i) memcpy(row + size_t(i) * width, row, width * 4);
  }
  picture.shownMade = true;
}

// Draws the control's client area into dc.
void Paint(HWND window, Picture& picture, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  if (picture.width == 0) {
    // The hint on a plain field, so the empty window does not show black boxes.
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    const int length = GetWindowTextLengthW(window);
    if (length > 0) {
      std::vector<wchar_t> text(size_t(length) + 1);
      GetWindowTextW(window, text.data(), length + 1);
      HGDIOBJ old = SelectObject(
          dc, picture.font != nullptr ? HGDIOBJ(picture.font) : GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      RECT measured = client;
      DrawTextW(dc, text.data(), length, &measured, DT_CALCRECT | DT_CENTER | DT_WORDBREAK);
      RECT placed = client;
      placed.top = (client.bottom - (measured.bottom - measured.top)) / 2;
      DrawTextW(dc, text.data(), length, &placed, DT_CENTER | DT_WORDBREAK);
      SelectObject(dc, old);
    }
    return;
  }
  if (!picture.shownMade) Enlarge(picture);
  const int width = int(picture.width) * picture.scale,
            height = int(picture.height) * picture.scale;
  // The picture centred; around it the face colour.
  const int left = (client.right - width) / 2, top = (client.bottom - height) / 2;
  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  const RECT around[] = {{0, 0, client.right, top},
                         {0, top + height, client.right, client.bottom},
                         {0, top, left, top + height},
                         {left + width, top, client.right, top + height}};
  for (const RECT& r : around) {
    if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, face);
  }
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, left, top, width, height, 0, 0, 0, height, picture.shown.data(), &info,
                    DIB_RGB_COLORS);
}

// Tells the parent how far the mouse has moved since the drag began, in picture pixels.
void TellDrag(HWND window, const Picture& picture, FitDrag phase, LPARAM at) {
  const int dx = (GET_X_LPARAM(at) - picture.from.x) / picture.scale;
  const int dy = (GET_Y_LPARAM(at) - picture.from.y) / picture.scale;
  SendMessageW(GetParent(window), kMsgDrag, phase, MAKELONG(dx, dy));
}

LRESULT CALLBACK PictureProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Picture* picture = reinterpret_cast<Picture*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      picture = new (std::nothrow) Picture;
      if (picture == nullptr) return FALSE;
      SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(picture));
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete picture;
      break;
    case WM_SETFONT: picture->font = HFONT(wParam); return 0;
    case WM_SETTEXT: InvalidateRect(window, nullptr, FALSE); break;
    case kPictureSet: {
      const PictureRgb* in = reinterpret_cast<const PictureRgb*>(lParam);
      picture->width = in != nullptr ? in->width : 0;
      picture->height = in != nullptr ? in->height : 0;
      picture->pixels.resize(size_t(picture->width) * picture->height);
      for (size_t i = 0; i < picture->pixels.size(); ++i) {
        picture->pixels[i] =
            uint32_t(in->rgb[3 * i]) << 16 | uint32_t(in->rgb[3 * i + 1]) << 8 | in->rgb[3 * i + 2];
      }
      picture->shownMade = false;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case kPictureRead: {
      const PictureRgb* out = reinterpret_cast<const PictureRgb*>(lParam);
      if (picture->width != out->width || picture->height != out->height) return 0;
      uint8_t* rgb = const_cast<uint8_t*>(out->rgb);
      for (size_t i = 0; i < picture->pixels.size(); ++i) {
        rgb[3 * i] = uint8_t(picture->pixels[i] >> 16);
        rgb[3 * i + 1] = uint8_t(picture->pixels[i] >> 8);
        rgb[3 * i + 2] = uint8_t(picture->pixels[i]);
      }
      return 1;
    }
    case kPictureScale:
      if (int(wParam) != picture->scale && wParam > 0) {
        picture->scale = int(wParam);
        picture->shownMade = false;
        picture->shown = std::vector<uint32_t>();
        InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    case kPictureDrag: picture->draggable = wParam != 0; return 0;
    case WM_SETCURSOR:
      if (picture->draggable && picture->width != 0 && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      if (!picture->draggable || picture->width == 0) break;
      picture->dragging = true;
      picture->from = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      SetCapture(window);
      SendMessageW(GetParent(window), kMsgDrag, DragStart, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (picture->dragging) TellDrag(window, *picture, DragMove, lParam);
      return 0;
    case WM_LBUTTONUP:
      if (picture->dragging) {
        picture->dragging = false;
        TellDrag(window, *picture, DragEnd, lParam);
        ReleaseCapture();
      }
      return 0;
    case WM_CAPTURECHANGED: picture->dragging = false; return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers it all
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      Paint(window, *picture, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT: Paint(window, *picture, HDC(wParam)); return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool RegisterPictureClass(HINSTANCE instance) {
  WNDCLASSEXW kind;
  memset(&kind, 0, sizeof kind);
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = PictureProcedure;
  kind.hInstance = instance;
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.lpszClassName = kFitPictureClass;
  return RegisterClassExW(&kind) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
