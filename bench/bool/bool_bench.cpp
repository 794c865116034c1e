// Union of N axis-parallel rectangles: Zandor's boolean engine against Clipper,
// in one process on the same input.
//   bool_bench FILE [zandor|clipper|both]
// FILE: N, then "x1 y1 x2 y2" per line (database units). Prints one line per
// engine: name, n, union area (dbu^2), output contours, time in ms (feeding,
// operation and reading back the result; file reading not included).
#include <polyclipping/clipper.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"

namespace {

struct Rect {
  long long x1, y1, x2, y2;
};

double Millis(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

void RunZandor(const std::vector<Rect>& rects) {
  const auto start = std::chrono::steady_clock::now();
  Bool_Engine engine;
  ConfigureBooleanEngine(engine, 1);
  for (const Rect& r : rects) {
    engine.BeginContour(GroupA);
    engine.AddVertex(static_cast<double>(r.x1), static_cast<double>(r.y1));
    engine.AddVertex(static_cast<double>(r.x2), static_cast<double>(r.y1));
    engine.AddVertex(static_cast<double>(r.x2), static_cast<double>(r.y2));
    engine.AddVertex(static_cast<double>(r.x1), static_cast<double>(r.y2));
    engine.EndContour();
  }
  engine.Execute(OpOr);
  // Every result contour is clockwise and holes are joined by cuts, so the
  // union area is minus the sum of the signed areas.
  long double area = 0;
  std::size_t contours = 0, vertices = 0;
  std::vector<std::pair<double, double>> ring;
  while (engine.NextResultContour()) {
    ring.clear();
    while (engine.NextResultVertex()) ring.emplace_back(engine.VertexX(), engine.VertexY());
    for (std::size_t i = 0; i < ring.size(); ++i) {
      const auto& p = ring[i];
      const auto& q = ring[(i + 1) % ring.size()];
      area += static_cast<long double>(p.first) * q.second - static_cast<long double>(q.first) * p.second;
    }
    vertices += ring.size();
    ++contours;
    engine.DropResultContour();
  }
  const double ms = Millis(start);
  std::printf("zandor n=%zu union_area=%.0Lf out_contours=%zu vertices=%zu time_ms=%.1f\n", rects.size(), -area / 2,
              contours, vertices, ms);
}

void RunClipper(const std::vector<Rect>& rects) {
  using namespace ClipperLib;
  Paths in(rects.size());
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const Rect& r = rects[i];
    in[i] = {IntPoint(r.x1, r.y1), IntPoint(r.x2, r.y1), IntPoint(r.x2, r.y2), IntPoint(r.x1, r.y2)};
  }
  const auto start = std::chrono::steady_clock::now();
  Clipper clipper;
  clipper.AddPaths(in, ptSubject, true);
  Paths out;
  clipper.Execute(ctUnion, out, pftNonZero, pftNonZero);
  const double ms = Millis(start);
  long double area = 0;
  std::size_t vertices = 0;
  for (const Path& p : out) {
    area += Area(p);
    vertices += p.size();
  }
  std::printf("clipper n=%zu union_area=%.0Lf out_contours=%zu vertices=%zu time_ms=%.1f\n", rects.size(), area,
              out.size(), vertices, ms);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bool_bench FILE [zandor|clipper|both]\n");
    return 2;
  }
  const std::string which = argc > 2 ? argv[2] : "both";
  FILE* f = std::fopen(argv[1], "r");
  long n = 0;
  if (!f || std::fscanf(f, "%ld", &n) != 1 || n < 0) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  std::vector<Rect> rects(static_cast<std::size_t>(n));
  for (Rect& r : rects)
    if (std::fscanf(f, "%lld %lld %lld %lld", &r.x1, &r.y1, &r.x2, &r.y2) != 4) {
      std::fprintf(stderr, "short file %s\n", argv[1]);
      return 2;
    }
  std::fclose(f);
  try {
    if (which == "zandor" || which == "both") RunZandor(rects);
  } catch (const Bool_Engine_Error& e) {
    std::printf("zandor n=%zu error=\"%s\"\n", rects.size(), e.GetErrorMessage().c_str());
    return 1;
  }
  if (which == "clipper" || which == "both") RunClipper(rects);
  return 0;
}
