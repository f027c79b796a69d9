// make-skin OUTDIR: draws the default skin and writes its 77 PNG images into OUTDIR
// (created when missing). Run by the build; exits 1 on any failure.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tools/make-skin/png_write.h"
#include "tools/make-skin/skin.h"

int main(int argc, char** argv) {
    if (argc != 2 || !argv[1][0]) {
        std::fprintf(stderr, "usage: make-skin OUTDIR\n");
        return 1;
    }
    const std::string dir = argv[1];
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "make-skin: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    int written = 0;
    for (const std::string& name : skin::image_names()) {
        std::unique_ptr<TESS_MemBitmap> image(skin::draw_image(name));
        std::string error;
        if (!image || !write_png_file(image.get(), dir + "/" + name + ".png", PngKind::Image, &error)) {
            std::fprintf(stderr, "make-skin: %s: %s\n", name.c_str(),
                         image ? error.c_str() : "not drawn");
            return 1;
        }
        ++written;
    }
    std::printf("make-skin: %d images in %s\n", written, dir.c_str());
    return 0;
}
