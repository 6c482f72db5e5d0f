// Counting what a window painted: the pixels of one colour in a picture.
#pragma once

#include <QImage>

#include "results/graph.h"

namespace velor::test {

inline int pixelsOfColour(const QImage& pic, Rgb want) {
  int n = 0;
  for (int y = 0; y < pic.height(); ++y)
    for (int x = 0; x < pic.width(); ++x) n += (pic.pixel(x, y) & 0xFFFFFF) == want;
  return n;
}

}  // namespace velor::test
