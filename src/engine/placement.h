// Where the live video goes inside the area the owner gives: the placement
// record of the colour system, overridden by section "Movie" of the engine's
// INI file, and the window and source rectangles worked out from it.
#pragma once

namespace tlx::engine {

struct PlacementRecord {
  int pos_x = 0;
  int pos_y = 0;
  int size_x_num = 800;
  int size_x_den = 800;
  int size_y_num = 600;
  int size_y_den = 600;
  bool scaling_source = false;
  bool auto_adj = false;
};

// (left, top, width, height)
struct PlacementRect {
  long x = 0;
  long y = 0;
  long width = 0;
  long height = 0;
  friend bool operator==(const PlacementRect&, const PlacementRect&) = default;
};

// The default record of the colour system (both scaling modes share them);
// the colour-system-1 row with the TV tuner and for colour systems outside 1
// to 4.
PlacementRecord DefaultPlacement(int colourSystem, bool tvTuner);

// The record with each field replaced by its key of section "Movie" when
// present ("pos_x", ..., "scaling_source", "auto_adj"; the flags count as set
// when non-zero). A size value of 0, which the rectangles divide by, is not
// taken: the record's value stays.
PlacementRecord ReadMoviePlacement(const PlacementRecord& defaults);

// The video window's rectangle for the area when the source is not scaled:
// the size scaled by size_*_num / size_*_den and the position moved by
// pos_x and pos_y; with auto_adj the side that exceeds 4:3 moves the position
// back by half the excess.
PlacementRect WindowRect(const PlacementRecord& record, int x, int y, int width, int height);

// Where the picture goes inside the video window: the whole window, counted
// from the window's own top-left corner wherever the window lies in the
// owner.
PlacementRect DestinationRect(const PlacementRect& window);

// The source rectangle for a video of width x height in scaling mode 0 or 1.
PlacementRect ModeSourceRect(int scalingMode, long videoWidth, long videoHeight);

// The source rectangle when the source is scaled (scaling_source set).
PlacementRect ScaledSourceRect(const PlacementRecord& record, int x, int y, long videoWidth, long videoHeight);

}  // namespace tlx::engine
