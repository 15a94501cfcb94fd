// JPEG through the Windows Imaging Component, to the same tightly packed rows (top row first) the
// loaders get on every system.
#include "platform/jpeg_codec.h"

#include <climits>
#include <cstring>

#include <windows.h>
#include <objidl.h>

#include "platform/win32/wic.h"

namespace korvana {

namespace {

using detail::ComPtr;

void setError(std::string* error, const char* text) {
    if (error) *error = text;
}

// The first frame of a JPEG held in memory; null with a reason for anything else.
ComPtr<IWICBitmapFrameDecode> openJpeg(const uint8_t* bytes, size_t byteCount, std::string* error) {
    ComPtr<IWICBitmapFrameDecode> frame;
    IWICImagingFactory* factory = detail::wicFactory();
    if (factory == nullptr) {
        setError(error, "cannot start the Windows Imaging Component");
        return frame;
    }
    if (bytes == nullptr || byteCount == 0 || byteCount > ULONG_MAX) {
        setError(error, "no JPEG data");
        return frame;
    }
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    GUID container{};
    // WIC only reads the memory; its interface is not const-correct.
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), static_cast<DWORD>(byteCount))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.put())) ||
        FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatJpeg) {
        setError(error, "not a JPEG the system can read");
        return frame;
    }
    if (FAILED(decoder->GetFrame(0, frame.put()))) setError(error, "JPEG without a picture");
    return frame;
}

WICPixelFormatGUID formatFor(int channels) {
    if (channels == 1) return GUID_WICPixelFormat8bppGray;
    if (channels == 4) return GUID_WICPixelFormat32bppCMYK;
    return GUID_WICPixelFormat24bppRGB;
}

}  // namespace

bool jpegReadHeader(const uint8_t* bytes, size_t byteCount, JpegInfo& info, std::string* error) {
    info = JpegInfo{};
    ComPtr<IWICBitmapFrameDecode> frame = openJpeg(bytes, byteCount, error);
    if (!frame) return false;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    if (FAILED(frame->GetSize(&width, &height)) || FAILED(frame->GetPixelFormat(&format))) {
        setError(error, "unreadable JPEG header");
        return false;
    }
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) {
        setError(error, "JPEG header gives an empty picture");
        return false;
    }
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);
    if (format == GUID_WICPixelFormat8bppGray)
        info.channels = 1;
    else if (format == GUID_WICPixelFormat32bppCMYK)
        info.channels = 4;
    else
        info.channels = 3;
    return true;
}

bool jpegDecode(const uint8_t* bytes, size_t byteCount, const JpegInfo& info, uint8_t* pixels,
                std::string* error) {
    if (pixels == nullptr || info.width <= 0 || info.height <= 0 ||
        (info.channels != 1 && info.channels != 3 && info.channels != 4)) {
        setError(error, "no JPEG data");
        return false;
    }
    const uint64_t stride = static_cast<uint64_t>(info.width) * static_cast<uint64_t>(info.channels);
    const uint64_t total = stride * static_cast<uint64_t>(info.height);
    if (total > UINT_MAX) {
        setError(error, "JPEG picture too large");
        return false;
    }
    ComPtr<IWICBitmapFrameDecode> frame = openJpeg(bytes, byteCount, error);
    if (!frame) return false;
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || width != static_cast<UINT>(info.width) ||
        height != static_cast<UINT>(info.height)) {
        setError(error, "JPEG size differs from its header");
        return false;
    }
    ComPtr<IWICBitmapSource> converted;
    if (FAILED(WICConvertBitmapSource(formatFor(info.channels), frame.get(), converted.put())) ||
        FAILED(converted->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(total), pixels))) {
        setError(error, "corrupt JPEG data");
        return false;
    }
    return true;
}

std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height, int quality) {
    if (!rgb || width <= 0 || height <= 0 || quality < 1 || quality > 100) return {};
    IWICImagingFactory* factory = detail::wicFactory();
    const uint64_t stride = static_cast<uint64_t>(width) * 3u;
    if (factory == nullptr || stride * static_cast<uint64_t>(height) > UINT_MAX) return {};
    // The encoder takes blue first.
    std::vector<uint8_t> bgr(rgb, rgb + stride * static_cast<uint64_t>(height));
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);

    ComPtr<IStream> memory;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, memory.put())) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(memory.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), options.put())))
        return {};
    PROPBAG2 name{};
    VARIANT value{};
    name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    value.vt = VT_R4;
    value.fltVal = static_cast<float>(quality) / 100.0f;
    options->Write(1, &name, &value);
    // 4:2:0 where the system knows the option; an older one picks its own subsampling.
    name.pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
    value.vt = VT_UI1;
    value.bVal = WICJpegYCrCbSubsampling420;
    options->Write(1, &name, &value);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(options.get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR ||
        FAILED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(stride),
                                  static_cast<UINT>(bgr.size()), bgr.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return {};

    STATSTG stat{};
    HGLOBAL global = nullptr;
    if (FAILED(memory->Stat(&stat, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(memory.get(), &global)))
        return {};
    const void* data = GlobalLock(global);
    if (data == nullptr) return {};
    const auto* begin = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> result(begin, begin + stat.cbSize.QuadPart);
    GlobalUnlock(global);
    return result;
}

}  // namespace korvana
