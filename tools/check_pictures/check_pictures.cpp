// Checks a folder of pictures for a package: exactly KWOBL001.DAT to KWOBL050.DAT, each one a picture
// that the program's own header checks accept. Prints every fault; exit status 0 when there is none.
//
// Usage: check_pictures FOLDER
#include "picture_folder.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: check_pictures FOLDER\n";
        return 2;
    }
    const std::vector<std::string> faults = check_pictures::picture_folder_faults(argv[1]);
    for (const std::string& fault : faults)
        std::cerr << argv[1] << ": " << fault << "\n";
    if (!faults.empty()) {
        std::cerr << argv[1] << ": " << faults.size() << (faults.size() == 1 ? " fault" : " faults")
                  << "; the folder must hold exactly the " << check_pictures::kPictureCount
                  << " pictures KWOBL001.DAT to KWOBL050.DAT\n";
        return 1;
    }
    std::cout << argv[1] << ": " << check_pictures::kPictureCount << " pictures, all readable by their headers\n";
    return 0;
}
