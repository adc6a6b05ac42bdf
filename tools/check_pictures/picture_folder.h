// Whether a folder holds the fifty pictures that a package installs: exactly the files KWOBL001.DAT to
// KWOBL050.DAT, each one a picture by its headers that the program would not refuse.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace check_pictures {

constexpr int kPictureCount = 50;

// "KWOBL001.DAT" for number 1.
std::string picture_name(int number);

// What is wrong with the folder, one line per fault (a missing number, a file that does not belong,
// a file that is no picture or that the program refuses, with the reason); empty when nothing is.
std::vector<std::string> picture_folder_faults(const std::filesystem::path& folder);

} // namespace check_pictures
