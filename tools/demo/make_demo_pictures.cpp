// Writes the demo folder's pictures KWOBL001.DAT to KWOBL050.DAT (one number left out) into a folder.
//
// Usage: make_demo_pictures FOLDER [--all] [--jobs N] [--convert PROGRAM] [--only NUMBER]...
// --all writes the number that is left out as well, for a folder that needs all fifty.
//
// Every picture is painted here from a fixed seed, so the same command always gives the same
// pictures. BMP files are written directly; the other formats are written as PPM and turned into
// PNG, JPEG, GIF or TIFF by ImageMagick's convert, under the .DAT name all the same.
#include "catalogue.h"
#include "image.h"
#include "lettering.h"
#include "scenes.h"

#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "usage: make_demo_pictures FOLDER [--all] [--jobs N] [--convert PROGRAM] [--only NUMBER]...";

struct Options {
    fs::path folder;
    int jobs = 2;
    std::string convert = "convert";
    std::set<int> only; // when not empty, just these numbers
    bool all = false;   // the number that is left out as well
};

// Runs a program with its arguments, without a shell, and waits for it.
void run(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed on " + argv[1]);
}

// ImageMagick's options per format; date chunks and comments are left out so that the bytes
// depend on the picture alone.
std::vector<std::string> convert_arguments(demo::Format format)
{
    switch (format) {
    case demo::Format::Png: return {"-strip", "-define", "png:exclude-chunks=date,time", "png:"};
    case demo::Format::Jpeg: return {"-strip", "-quality", "90", "-sampling-factor", "2x2", "jpeg:"};
    case demo::Format::Gif: return {"-strip", "-colors", "256", "gif:"};
    case demo::Format::Tiff: return {"-strip", "-compress", "lzw", "tiff:"};
    case demo::Format::Bmp: break;
    }
    throw std::logic_error("BMP is written without ImageMagick");
}

void make_picture(const demo::PictureEntry& entry, const Options& options)
{
    demo::Image image(entry.width, entry.height);
    demo::paint(image, entry.scene);
    char number[8];
    std::snprintf(number, sizeof number, "%03d", entry.number);
    demo::draw_label(image, number,
                     demo::format_name(entry.format) + " " + std::to_string(entry.width) + "x" +
                         std::to_string(entry.height));
    const fs::path target = options.folder / demo::file_name(entry.number);
    if (entry.format == demo::Format::Bmp) {
        demo::write_file(target, demo::encode_bmp(image));
        return;
    }
    const fs::path temporary = options.folder / ("." + demo::file_name(entry.number) + ".ppm");
    demo::write_file(temporary, demo::encode_ppm(image));
    std::vector<std::string> argv{options.convert, temporary.string()};
    std::vector<std::string> tail = convert_arguments(entry.format);
    tail.back() += target.string();
    argv.insert(argv.end(), tail.begin(), tail.end());
    try {
        run(argv);
    } catch (...) {
        fs::remove(temporary);
        throw;
    }
    fs::remove(temporary);
}

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--jobs" && i + 1 < argc)
            options.jobs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--convert" && i + 1 < argc)
            options.convert = argv[++i];
        else if (arg == "--all")
            options.all = true;
        else if (arg == "--only" && i + 1 < argc)
            options.only.insert(std::atoi(argv[++i]));
        else if (!arg.empty() && arg[0] != '-' && options.folder.empty())
            options.folder = arg;
        else
            throw std::invalid_argument(kUsage);
    }
    if (options.folder.empty())
        throw std::invalid_argument(kUsage);
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = parse(argc, argv);
        fs::create_directories(options.folder);
        // A folder made before must not keep the number that is left out.
        if (!options.all)
            fs::remove(options.folder / demo::file_name(demo::kSkippedNumber));

        std::vector<demo::PictureEntry> pictures;
        for (const demo::PictureEntry& p : demo::catalogue())
            if (options.only.empty() || options.only.contains(p.number))
                pictures.push_back(p);
        const demo::PictureEntry skipped = demo::skipped_picture();
        if (options.all && (options.only.empty() || options.only.contains(skipped.number)))
            pictures.push_back(skipped);
        std::atomic<std::size_t> next{0};
        std::mutex lock;
        std::exception_ptr failure;
        const auto worker = [&] {
            for (std::size_t i = next++; i < pictures.size(); i = next++) {
                try {
                    make_picture(pictures[i], options);
                    const std::lock_guard guard(lock);
                    std::cout << demo::file_name(pictures[i].number) << "  " << demo::format_name(pictures[i].format)
                              << " " << pictures[i].width << "x" << pictures[i].height << "\n"
                              << std::flush;
                } catch (...) {
                    const std::lock_guard guard(lock);
                    failure = std::current_exception();
                    next = pictures.size();
                }
            }
        };
        std::vector<std::thread> threads;
        for (int j = 0; j < options.jobs; ++j)
            threads.emplace_back(worker);
        for (std::thread& t : threads)
            t.join();
        if (failure)
            std::rethrow_exception(failure);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "make_demo_pictures: " << error.what() << "\n";
        return 1;
    }
}
