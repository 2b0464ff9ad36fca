// Writes the main-window picture and the program icon:
//   generate_artwork [directory]
// The directory defaults to the resources folder of the source tree this file belongs to.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "artwork.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "generate_artwork: cannot write %s\n", path.string().c_str());
        return false;
    }
    std::printf("%s (%zu bytes)\n", path.string().c_str(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    namespace artwork = vossel::artwork;
    const std::filesystem::path directory =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::path(__FILE__).parent_path().parent_path();

    const artwork::Image picture = artwork::DrawMainPicture();
    const artwork::Image icon = artwork::DrawIcon();
    const bool ok = WriteFile(directory / "main_picture.bmp", artwork::EncodeBmpFile(picture)) &&
                    WriteFile(directory / "icon_30001.bin", artwork::EncodeIconImage(icon)) &&
                    WriteFile(directory / "vossel.ico", artwork::EncodeIcoFile(icon));
    return ok ? 0 : 1;
}
