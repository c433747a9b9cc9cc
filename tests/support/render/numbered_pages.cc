#include "support/render/numbered_pages.h"

#include <algorithm>
#include <cmath>

#include "support/render/blobs.h"

namespace pclspool::render {

namespace {

// The document's geometry (points, A4 595 x 842), measured on the outer
// edge of its frame: 37 to 558 across, 37 to 805 down.
constexpr double kFrameLeft = 37;
constexpr double kFrameTop = 37;
constexpr double kFrameWidth = 521;
constexpr double kFrameHeight = 768;
constexpr double kMarkerSide = 30;   // the square in the top-left corner
constexpr double kSquareSide = 120;  // page k's square
// Centres of the grid's columns (across) and rows (down).
constexpr double kColumns[] = {150, 310, 470};
constexpr double kRows[] = {132, 352, 572};

// Where a pixel of the sheet is on the page: u across, v down, both 0 to 1
// over the frame, whichever way the page was turned.
struct PagePoint {
  double u;
  double v;
};

enum class Turn { kUpright, kQuarter, kHalf, kThreeQuarters };

PagePoint OnPage(const Box& frame, Turn turn, double x, double y) {
  const double fx = (x - frame.left) / frame.Width();
  const double fy = (y - frame.top) / frame.Height();
  switch (turn) {
    case Turn::kUpright: return {fx, fy};
    case Turn::kQuarter: return {fy, 1 - fx};  // the page's top at the sheet's right
    case Turn::kHalf: return {1 - fx, 1 - fy};
    case Turn::kThreeQuarters: return {1 - fy, fx};
  }
  return {fx, fy};
}

double CentreX(const Box& b) { return (b.left + b.right) / 2.0; }
double CentreY(const Box& b) { return (b.top + b.bottom) / 2.0; }

// A solid square whose side is `side` points on a page whose frame's
// shorter side (521 points) spans `frame_short` pixels.
bool IsSquare(const Blob& blob, double side, double frame_short) {
  const double expected = side / kFrameWidth * frame_short;
  const auto near = [&](int n) { return std::abs(n - expected) <= 0.2 * expected + 2; };
  return blob.Fill() >= 0.6 && near(blob.box.Width()) && near(blob.box.Height());
}

bool Inside(const Box& outer, const Box& inner) {
  return inner.left > outer.left && inner.right < outer.right && inner.top > outer.top &&
         inner.bottom < outer.bottom;
}

struct Frame {
  std::vector<int> pages;
  Turn turn;
  Box box;
};

std::vector<Frame> Frames(const PageImage& sheet) {
  std::vector<Frame> frames;
  const std::vector<Blob> blobs = FindBlobs(sheet);
  // A frame: an outline at least a fifth of the sheet each way.
  const auto is_frame = [&](const Blob& b) {
    return b.box.Width() >= sheet.width / 5 && b.box.Height() >= sheet.height / 5 && b.Fill() <= 0.25;
  };
  for (const Blob& frame : blobs) {
    if (!is_frame(frame)) continue;
    // A frame around a frame is a page border, not a page.
    bool border = false;
    for (const Blob& b : blobs) border = border || (&b != &frame && is_frame(b) && Inside(frame.box, b.box));
    if (border) continue;
    const double frame_short = std::min(frame.box.Width(), frame.box.Height());
    // The corner square nearest a corner of the frame tells the turn.
    const Blob* marker = nullptr;
    double marker_distance = 0;
    for (const Blob& b : blobs) {
      if (!Inside(frame.box, b.box) || !IsSquare(b, kMarkerSide, frame_short)) continue;
      const double dx = std::min(CentreX(b.box) - frame.box.left, frame.box.right - CentreX(b.box));
      const double dy = std::min(CentreY(b.box) - frame.box.top, frame.box.bottom - CentreY(b.box));
      if (!marker || dx + dy < marker_distance) {
        marker = &b;
        marker_distance = dx + dy;
      }
    }
    if (!marker) continue;
    const bool left = CentreX(marker->box) < CentreX(frame.box);
    const bool top = CentreY(marker->box) < CentreY(frame.box);
    const Turn turn = top ? (left ? Turn::kUpright : Turn::kQuarter)
                          : (left ? Turn::kThreeQuarters : Turn::kHalf);
    std::vector<int>& pages = frames.emplace_back(Frame{{}, turn, frame.box}).pages;
    for (const Blob& b : blobs) {
      if (!Inside(frame.box, b.box) || !IsSquare(b, kSquareSide, frame_short)) continue;
      const PagePoint p = OnPage(frame.box, turn, CentreX(b.box), CentreY(b.box));
      const double x = kFrameLeft + p.u * kFrameWidth;
      const double y = kFrameTop + p.v * kFrameHeight;
      for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
          // Within a fifth of the square's side of the slot's centre.
          if (std::abs(x - kColumns[column]) < kSquareSide / 5 && std::abs(y - kRows[row]) < kSquareSide / 5) {
            pages.push_back(row * 3 + column + 1);
          }
        }
      }
    }
  }
  return frames;
}

}  // namespace

std::vector<int> PagesOnSheet(const PageImage& sheet) {
  std::vector<int> pages;
  for (const Frame& f : Frames(sheet)) pages.insert(pages.end(), f.pages.begin(), f.pages.end());
  std::sort(pages.begin(), pages.end());
  return pages;
}

std::string LayoutOfSheet(const PageImage& sheet) {
  std::vector<Frame> frames = Frames(sheet);
  // Frames whose centres lie within a fifth of the sheet share a row.
  const auto row = [&](const Frame& f) { return CentreY(f.box) * 5 / sheet.height; };
  std::sort(frames.begin(), frames.end(), [&](const Frame& a, const Frame& b) {
    if (static_cast<int>(row(a)) != static_cast<int>(row(b))) return row(a) < row(b);
    return CentreX(a.box) < CentreX(b.box);
  });
  // kQuarter has the top at the right: three quarter turns counter-clockwise.
  static constexpr int kQuarters[] = {0, 3, 2, 1};
  std::string out;
  for (const Frame& f : frames) {
    if (!out.empty()) out += " ";
    for (std::size_t i = 0; i < f.pages.size(); ++i) out += (i ? "+" : "") + std::to_string(f.pages[i]);
    out += "@" + std::to_string(kQuarters[static_cast<int>(f.turn)]);
  }
  return out;
}

}  // namespace pclspool::render
