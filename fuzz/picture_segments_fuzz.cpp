// Fuzz target: the one reader of JPEG segments and PNG chunks, on the input walked both ways from the
// start of the file as well as after its signature.
#include "imaging/picture_segments.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

// What every walk must keep to: what it hands out lies inside the file, in the file's order, no more
// of it than the limit, and once it has ended it stays ended.
template <class Walker>
void walk(imaging::ByteSource& file, std::uint64_t from)
{
    Walker walker(file, from);
    std::uint64_t after = from;
    int count = 0;
    while (const auto part = walker.next()) {
        if (part->offset < after || part->offset > file.size() || part->length > file.size() - part->offset)
            std::abort();
        after = part->offset + part->length;
        if (++count > imaging::kMaxHeaderSegments)
            std::abort();
    }
    if (walker.end() == imaging::WalkEnd::Walking || walker.next())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    imaging::MemoryByteSource file(std::span<const std::uint8_t>(data, size));
    walk<imaging::JpegSegments>(file, 0);
    walk<imaging::JpegSegments>(file, 2);
    walk<imaging::PngChunks>(file, 0);
    walk<imaging::PngChunks>(file, imaging::kPngSignature.size());
    return 0;
}
