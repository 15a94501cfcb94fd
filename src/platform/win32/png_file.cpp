// PNG files through the Windows Imaging Component (RGBA in our code, BGRA inside WIC).
#include "platform/png_file.h"

#include <climits>
#include <utility>

#include <windows.h>

#include "platform/win32/wic.h"

namespace korvana {

namespace {

using detail::ComPtr;

bool fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
}

std::wstring widePath(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

void swapRedBlue(std::vector<uint8_t>& pixels) {
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
}

}  // namespace

bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba,
              std::string* error) {
    if (width <= 0 || height <= 0 ||
        rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4u || rgba.size() > UINT_MAX)
        return fail(error, "picture size does not match its pixels");
    IWICImagingFactory* factory = detail::wicFactory();
    if (factory == nullptr) return fail(error, "cannot start the Windows Imaging Component");
    std::vector<uint8_t> bgra = rgba;
    swapRedBlue(bgra);

    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    const std::wstring wide = widePath(path);
    if (wide.empty() || FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)))
        return fail(error, path + ": cannot create the file");
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat32bppBGRA ||
        FAILED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4u,
                                  static_cast<UINT>(bgra.size()), bgra.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return fail(error, path + ": cannot write the PNG");
    return true;
}

bool readPng(const std::string& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba,
             std::string* error) {
    IWICImagingFactory* factory = detail::wicFactory();
    if (factory == nullptr) return fail(error, "cannot start the Windows Imaging Component");
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> converted;
    GUID container{};
    const std::wstring wide = widePath(path);
    if (wide.empty() ||
        FAILED(factory->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.put())) ||
        FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatPng ||
        FAILED(decoder->GetFrame(0, frame.put())))
        return fail(error, path + ": not a PNG the system can read");
    UINT w = 0, h = 0;
    // Refuse pictures no screen needs before allocating for them.
    if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0 || w > 16384 || h > 16384)
        return fail(error, path + ": unreasonable picture size");
    rgba.assign(static_cast<size_t>(w) * h * 4u, 0);
    if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(), converted.put())) ||
        FAILED(converted->CopyPixels(nullptr, w * 4u, static_cast<UINT>(rgba.size()), rgba.data()))) {
        rgba.clear();
        return fail(error, path + ": cannot decode the PNG");
    }
    swapRedBlue(rgba);
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

}  // namespace korvana
