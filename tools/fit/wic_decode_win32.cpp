// COM is initialised on the calling thread only where nobody has done it, and balanced.
// Every call here exists on Windows XP SP3 (ole32); windowscodecs.dll is loaded by COM when
// the factory is created, never imported.
#include "wic_decode_win32.h"

#include <initguid.h>  // the WIC GUIDs defined here: no import library names them
#include <stdio.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>

namespace {

// CoInitializeEx on the calling thread for as long as it lives: a thread already in an
// apartment of another kind (RPC_E_CHANGED_MODE) is used as it is.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// One COM pointer, released when it goes.
template <typename T>
class Held {
 public:
  Held() = default;
  ~Held() {
    if (p != nullptr) p->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T** Out() { return &p; }
  T* operator->() const { return p; }
  T* p = nullptr;
};

// The factory of WIC's first version: every Windows with WIC has it (Windows 8 and later
// serve it too).
bool NewFactory(Held<IWICImagingFactory>& factory) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory1, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory.Out())));
}

// Rows copied per CopyPixels call: a report and a chance to stop between bands.
constexpr uint32_t kBandBytes = 1 << 20;

std::string Damaged(HRESULT hr) {
  if (hr == E_OUTOFMEMORY) return "not enough memory to read the picture";
  if (hr == WINCODEC_ERR_STREAMREAD || hr == WINCODEC_ERR_STREAMNOTAVAILABLE ||
      hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) {
    return "the picture is cut short";
  }
  char code[16];
  snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
  return std::string("the picture is damaged or in a form Windows cannot read (error 0x") + code +
         ")";
}

std::string CopyRows(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, uint32_t width,
                     uint32_t height, RowSink& sink, ReadWatch& watch, size_t fileSize) {
  Held<IWICFormatConverter> converter;
  HRESULT hr = factory->CreateFormatConverter(converter.Out());
  if (SUCCEEDED(hr)) {
    hr = converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
  }
  if (FAILED(hr)) return Damaged(hr);
  if (!sink.Start(width, height, 4)) return "not enough memory to read the picture";
  const UINT stride = width * 4;
  for (uint32_t y = 0; y < height;) {
    if (!watch.Going(size_t(double(fileSize) * y / height))) return kFitCancelled;
    uint32_t band = std::max<uint32_t>(1, std::min<uint32_t>(height - y, kBandBytes / stride));
    uint8_t* room = sink.Room(band);
    const WICRect rect = {0, INT(y), INT(width), INT(band)};
    hr = converter->CopyPixels(&rect, stride, stride * band, room);
    if (FAILED(hr)) return Damaged(hr);
    for (uint8_t *p = room, *end = room + size_t(stride) * band; p < end; p += 4) {
      std::swap(p[0], p[2]);  // B G R A to R G B A
    }
    sink.Filled(band);
    y += band;
  }
  return "";
}

// The EXIF orientation the frame's metadata states, by the property system's name (Windows
// Vista and later) or by the paths of a JPEG's and a TIFF's IFD0; 0 when none says 1-8.
int FrameOrientation(IWICBitmapFrameDecode* frame) {
  Held<IWICMetadataQueryReader> reader;
  if (FAILED(frame->GetMetadataQueryReader(reader.Out()))) return 0;
  static const wchar_t* const kNames[] = {L"System.Photo.Orientation", L"/app1/ifd/{ushort=274}",
                                          L"/ifd/{ushort=274}"};
  for (const wchar_t* name : kNames) {
    PROPVARIANT value;
    PropVariantInit(&value);
    int orientation = 0;
    if (SUCCEEDED(reader->GetMetadataByName(name, &value)) && value.vt == VT_UI2 &&
        value.uiVal >= 1 && value.uiVal <= 8) {
      orientation = value.uiVal;
    }
    PropVariantClear(&value);
    if (orientation != 0) return orientation;
  }
  return 0;
}

}  // namespace

const char kWicNoDecoder[] = "no Windows decoder reads this file";

std::string DecodeWithWic(const uint8_t* data, size_t size, RowSink& sink, ReadWatch& watch,
                          int* orientation) {
  if (size > 0xffffffffu) return kWicNoDecoder;
  const ComScope com;
  Held<IWICImagingFactory> factory;
  if (!com.Usable() || !NewFactory(factory)) return kWicNoDecoder;
  Held<IWICStream> stream;
  HRESULT hr = factory->CreateStream(stream.Out());
  if (SUCCEEDED(hr)) {
    hr = stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size));
  }
  if (FAILED(hr)) return kWicNoDecoder;
  Held<IWICBitmapDecoder> decoder;
  hr = factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                        decoder.Out());
  if (hr == WINCODEC_ERR_COMPONENTNOTFOUND || hr == WINCODEC_ERR_UNKNOWNIMAGEFORMAT) {
    return kWicNoDecoder;
  }
  if (FAILED(hr)) return Damaged(hr);
  Held<IWICBitmapFrameDecode> frame;
  hr = decoder->GetFrame(0, frame.Out());
  if (FAILED(hr)) return Damaged(hr);
  UINT width = 0, height = 0;
  hr = frame->GetSize(&width, &height);
  if (FAILED(hr)) return Damaged(hr);
  const std::string refusal = JudgeSize(width, height);
  if (!refusal.empty()) return refusal;
  if (orientation != nullptr) {
    const int stated = FrameOrientation(frame.p);
    if (stated != 0) *orientation = stated;
  }
  return CopyRows(factory.p, frame.p, width, height, sink, watch, size);
}

std::string WicFormats(const std::string& known) {
  const ComScope com;
  Held<IWICImagingFactory> factory;
  if (!com.Usable() || !NewFactory(factory)) return "";
  Held<IEnumUnknown> decoders;
  if (FAILED(factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault,
                                                decoders.Out()))) {
    return "";
  }
  const std::string stbNames = ", " + known + ", ";
  std::string names;
  for (;;) {
    Held<IUnknown> item;
    ULONG got = 0;
    if (decoders->Next(1, item.Out(), &got) != S_OK || got != 1) break;
    Held<IWICBitmapDecoderInfo> info;
    if (FAILED(item->QueryInterface(IID_IWICBitmapDecoderInfo,
                                    reinterpret_cast<void**>(info.Out())))) {
      continue;
    }
    WCHAR extensions[512] = {};
    UINT length = 0;
    if (FAILED(info->GetFileExtensions(512, extensions, &length))) continue;
    // ".tiff,.tif" (or ".tif;.tiff") gives TIFF: the first extension's letters and digits.
    std::string name;
    for (const WCHAR* c = extensions[0] == L'.' ? extensions + 1 : extensions; name.size() < 8;
         ++c) {
      const bool letter = (*c >= L'a' && *c <= L'z') || (*c >= L'A' && *c <= L'Z');
      if (!letter && !(*c >= L'0' && *c <= L'9')) break;
      name += char(*c >= L'a' && *c <= L'z' ? *c - L'a' + L'A' : *c);
    }
    if (name == "JPG" || name == "JPE") name = "JPEG";
    if (name == "TIF") name = "TIFF";
    if (name.empty() || stbNames.find(", " + name + ", ") != std::string::npos ||
        (", " + names + ", ").find(", " + name + ", ") != std::string::npos) {
      continue;
    }
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}
