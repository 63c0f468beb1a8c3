// Writes the sample firmware images and their header record into a folder,
// for the build to append to the executable.
#include <exception>
#include <iostream>
#include <string>

#include "package/sample/SampleImages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kr_sample_images OUTDIR\n";
        return 1;
    }
    try {
        std::string error;
        if (!package::SampleImages::WriteTo(argv[1], error)) {
            std::cerr << "kr_sample_images: " << error << '\n';
            return 1;
        }
        return 0;
    } catch (const std::exception& exception) {
        std::cerr << "kr_sample_images: " << exception.what() << '\n';
        return 1;
    }
}
