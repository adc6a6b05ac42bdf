// The folder check of check_pictures, on the program's own header checks (imaging/picture_limits.h).
#include "picture_folder.h"

#include "imaging/picture_limits.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

namespace check_pictures {
namespace fs = std::filesystem;

namespace {

// A file on the disk, read where the header checks ask.
class FileByteSource final : public imaging::ByteSource {
public:
    FileByteSource(const fs::path& path, std::uint64_t size) : m_file(path, std::ios::binary), m_size(size) {}

    [[nodiscard]] bool open() const { return m_file.is_open(); }
    [[nodiscard]] std::uint64_t size() const override { return m_size; }

    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override
    {
        if (offset >= m_size)
            return 0;
        m_file.clear();
        m_file.seekg(static_cast<std::streamoff>(offset));
        m_file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
        return static_cast<std::size_t>(m_file.gcount());
    }

private:
    std::ifstream m_file;
    std::uint64_t m_size;
};

// Why the picture file is no picture the slideshow shows; empty when it is one.
std::string picture_fault(const fs::path& path)
{
    std::error_code error;
    const std::uint64_t size = fs::file_size(path, error);
    if (error)
        return "cannot be read: " + error.message();
    FileByteSource source(path, size);
    if (!source.open())
        return "cannot be read";
    const imaging::PictureCost cost = imaging::picture_cost(source, imaging::kDecoderBudgetBytes);
    if (cost.refused())
        return "refused by the program's header checks: " + cost.refusal;
    if (cost.format == imaging::PictureFormat::Unknown)
        return "is no picture (no BMP, PNG, JPEG, GIF, TIFF or ICO header)";
    return {};
}

} // namespace

std::string picture_name(int number)
{
    char name[16];
    std::snprintf(name, sizeof name, "KWOBL%03d.DAT", number);
    return name;
}

std::vector<std::string> picture_folder_faults(const fs::path& folder)
{
    std::vector<std::string> faults;
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return {folder.string() + ": no such folder"};

    std::set<std::string> wanted;
    for (int number = 1; number <= kPictureCount; ++number)
        wanted.insert(picture_name(number));

    std::set<std::string> present;
    std::vector<std::string> extra;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!wanted.contains(name))
            extra.push_back(name);
        else if (!entry.is_regular_file())
            faults.push_back(name + ": is no file");
        else
            present.insert(name);
    }
    if (error)
        return {folder.string() + ": cannot be listed: " + error.message()};

    for (const std::string& name : wanted)
        if (!present.contains(name) && std::none_of(faults.begin(), faults.end(), [&](const std::string& f) {
                return f.starts_with(name + ":");
            }))
            faults.push_back(name + ": missing");
    std::sort(extra.begin(), extra.end());
    for (const std::string& name : extra)
        faults.push_back(name + ": does not belong (only KWOBL001.DAT to KWOBL050.DAT may be there)");
    for (const std::string& name : present)
        if (std::string why = picture_fault(folder / name); !why.empty())
            faults.push_back(name + ": " + why);
    std::sort(faults.begin(), faults.end());
    return faults;
}

} // namespace check_pictures
