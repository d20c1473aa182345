// The cut written out step by step as defined, on plain copies of the
// picture, at one motor step per pixel: slow, and plainly right. It gives
// the lines a board would receive and the Trace layer the cut leaves.
#pragma once

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "picture/pixel_image.h"

namespace vertolin::test {

struct ReferenceCutResult {
  std::vector<std::string> lines;
  PixelImage trace;
};

// x "," y "," l "," d ";" with every ",0;" replaced by ";", four times over.
inline std::string ReferenceLaserLine(int x, int y, int l, int d) {
  std::string text = std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(l) + "," +
                     std::to_string(d) + ";";
  for (int round = 0; round < 4; ++round) {
    for (std::size_t at = text.find(",0;"); at != std::string::npos; at = text.find(",0;")) {
      text.erase(at, 2);  // ",0;" becomes ";"
    }
  }
  return text;
}

inline ReferenceCutResult ReferenceCut(const PixelImage& trace, int idle, int delay, bool back) {
  const int W = trace.width();
  const int H = trace.height();
  PixelImage work = trace;
  PixelImage shown = trace;
  const int dxs[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  const int dys[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  auto red = [&](int x, int y) { return work.bytes()[work.Offset(x, y) + 2]; };
  auto on = [&](int x, int y) { return x >= 1 && y >= 1 && x <= W && y <= H && red(x, y) <= 100; };
  auto cw = [](int d) { return (d + 1) % 8; };
  auto ccw = [](int d) { return (d + 7) % 8; };
  std::vector<std::string> lines;
  auto send = [&](int x, int y, int l, int d) {
    if (x != 0 || y != 0 || l != 0 || d > 0) lines.push_back(ReferenceLaserLine(x, y, l, d));
  };
  auto mark = [&](int x, int y) {
    work.SetPixel(x, y, 0, 0, 255);
    const int around[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& a : around) {
      const int px = x + a[0];
      const int py = y + a[1];
      if (px >= 1 && py >= 1 && px <= W && py <= H) shown.SetPixel(px, py, 0, 0, 255);
    }
  };

  int mx = 1;
  int my = 1;
  for (;;) {
    int sx = 0;
    int sy = 0;
    for (int y = 1; y <= H - 1 && sx == 0; ++y) {
      for (int x = 1; x <= W; ++x) {
        if (red(x, y) == 0) {
          sx = x;
          sy = y;
          break;
        }
      }
    }
    if (sx == 0) break;

    int px = sx;
    int py = sy;
    int d = 0;
    std::set<std::tuple<int, int, int>> been;
    for (;;) {
      if (!been.insert({px, py, d}).second) {
        sx = px;
        sy = py;
        break;
      }
      d = ccw(d);
      int n = 0;
      while (!on(px + dxs[d], py + dys[d]) && n < 8) {
        d = cw(d);
        ++n;
      }
      if (n >= 6) {
        sx = px;
        sy = py;
        break;
      }
      if (px + dxs[d] == sx && py + dys[d] == sy) break;
      px += dxs[d];
      py += dys[d];
      d = ccw(d);
    }

    send(sx - mx, sy - my, 0, idle);
    send(0, 0, 1, delay);
    mark(sx, sy);
    mx = sx;
    my = sy;
    d = 0;
    for (;;) {
      d = ccw(d);
      int n = 0;
      while (!on(mx + dxs[d], my + dys[d]) && n <= 7) {
        d = cw(d);
        ++n;
      }
      if (n == 8) {
        send(0, 0, -1, idle);
        break;
      }
      mx += dxs[d];
      my += dys[d];
      send(dxs[d], dys[d], 0, 0);
      mark(mx, my);
      d = ccw(d);
    }
  }
  if (back) send(1 - mx, 1 - my, 0, 0);
  return {lines, shown};
}

}  // namespace vertolin::test
