// Build step: writes the default pictures beside the programs.
#include <cstdio>

#include "picture/default_pictures.h"
#include "picture/picture_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-default-pictures <folder>\n");
    return 2;
  }
  const std::filesystem::path folder = vertolin::PathFromUtf8(argv[1]);
  if (!vertolin::WriteDefaultPictures(folder)) {
    std::fprintf(stderr, "make-default-pictures: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
