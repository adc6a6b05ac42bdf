// One picture file decoded at the size it is shown at, in the display's colours, by libjpeg-turbo or
// the imaging component.
#include "platform/win32/pictures/win32_file_decoder.h"

#include "platform/errors.h"
#include "platform/win32/pictures/win32_jpeg.h"
#include "platform/win32/pictures/win32_wic.h"

#include <new>

namespace platform::win32 {

std::optional<FileStamp> file_stamp(const std::wstring& path)
{
    const UniqueHfile file = open_file(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       FILE_FLAG_BACKUP_SEMANTICS);
    if (!file)
        return std::nullopt;
    return file_stamp(file.get());
}

std::optional<FileStamp> file_stamp(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return std::nullopt;
    const auto join = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
    return FileStamp{info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow),
                     join(info.nFileSizeHigh, info.nFileSizeLow),
                     join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
}

UniqueHfile open_picture_file(const std::wstring& path)
{
    return open_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN);
}

IWICImagingFactory& FileDecoder::factory()
{
    if (m_factory)
        return *m_factory.get();
    const auto make = [this] {
        return ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                  m_factory.put_void());
    };
    HRESULT made = make();
    // A thread outside any apartment (the decoder process's, which starts without COM so as to start
    // fast) joins the multithreaded one, for as long as it lives.
    if (made == CO_E_NOTINITIALIZED && SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        made = make();
    if (FAILED(made))
        throw ComponentUnavailable();
    return *m_factory.get();
}

std::shared_ptr<const Win32Picture> FileDecoder::decode(const std::wstring& path, platform::SizeF box,
                                                        std::optional<FileStamp>* stamp)
{
    const UniqueHfile file = open_picture_file(path);
    if (!file)
        throw RuntimeError("the picture file cannot be opened");
    if (stamp)
        *stamp = file_stamp(file.get());
    return decode(file.get(), box);
}

std::shared_ptr<const Win32Picture> FileDecoder::decode(HANDLE file, platform::SizeF box)
{
    try {
        // libjpeg-turbo decodes JPEG files at a reduced scale; it leaves the kinds it lacks to the
        // imaging component, which decodes them at full size.
        if (JpegDecode jpeg = decode_jpeg(file, box, &m_colours, m_memory); jpeg.picture)
            return std::move(jpeg.picture);
        return decode_with_wic(factory(), file, box, &m_colours, m_memory);
    } catch (const std::bad_alloc&) {
        throw RuntimeError("a picture too large to decode in memory is treated as unreadable");
    }
}

} // namespace platform::win32
