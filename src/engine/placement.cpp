#include "engine/placement.h"

#include "engine/engine_ini.h"

namespace tlx::engine {

PlacementRecord DefaultPlacement(int colourSystem, bool tvTuner) {
  PlacementRecord record;
  if (tvTuner) return record;
  switch (colourSystem) {
    case 2:
    case 3:
      record.pos_x = -9;
      record.pos_y = -7;
      record.size_x_num = 840;
      record.size_y_num = 620;
      break;
    case 4:
      record.pos_x = -7;
      record.pos_y = -7;
      record.size_x_num = 870;
      record.size_y_num = 640;
      break;
    default:
      break;
  }
  return record;
}

PlacementRecord ReadMoviePlacement(const PlacementRecord& defaults) {
  PlacementRecord record = defaults;
  auto readSize = [](const char16_t* key, int fallback) {
    const int value = ReadEngineIniInt(u"Movie", key, fallback);
    return value != 0 ? value : fallback;
  };
  record.pos_x = ReadEngineIniInt(u"Movie", u"pos_x", defaults.pos_x);
  record.pos_y = ReadEngineIniInt(u"Movie", u"pos_y", defaults.pos_y);
  record.size_x_num = readSize(u"size_x_num", defaults.size_x_num);
  record.size_x_den = readSize(u"size_x_den", defaults.size_x_den);
  record.size_y_num = readSize(u"size_y_num", defaults.size_y_num);
  record.size_y_den = readSize(u"size_y_den", defaults.size_y_den);
  record.scaling_source = ReadEngineIniInt(u"Movie", u"scaling_source", defaults.scaling_source ? 1 : 0) != 0;
  record.auto_adj = ReadEngineIniInt(u"Movie", u"auto_adj", defaults.auto_adj ? 1 : 0) != 0;
  return record;
}

PlacementRect WindowRect(const PlacementRecord& record, int x, int y, int width, int height) {
  const long scaledWidth = static_cast<long>(record.size_x_num) * width / record.size_x_den;
  const long scaledHeight = static_cast<long>(record.size_y_num) * height / record.size_y_den;
  long posX = record.pos_x;
  long posY = record.pos_y;
  if (record.auto_adj) {
    if (scaledWidth * 3 / 4 < scaledHeight) {
      posY -= (scaledHeight - scaledWidth * 3 / 4) / 2;
    } else {
      posX -= (scaledWidth - scaledHeight * 4 / 3) / 2;
    }
  }
  return {x + posX, y + posY, scaledWidth, scaledHeight};
}

PlacementRect DestinationRect(const PlacementRect& window) { return {0, 0, window.width, window.height}; }

PlacementRect ModeSourceRect(int scalingMode, long videoWidth, long videoHeight) {
  if (scalingMode == 0) {
    return {videoWidth * 4 / 320, videoHeight * 4 / 240, videoWidth * 292 / 320, videoHeight * 226 / 240};
  }
  return {videoWidth * 12 / 320, videoHeight * 8 / 240, videoWidth * 296 / 320, videoHeight * 224 / 240};
}

PlacementRect ScaledSourceRect(const PlacementRecord& record, int x, int y, long videoWidth, long videoHeight) {
  return {x - record.pos_x, y - record.pos_y, record.size_x_den * videoWidth / record.size_x_num,
          record.size_y_den * videoHeight / record.size_y_num};
}

}  // namespace tlx::engine
