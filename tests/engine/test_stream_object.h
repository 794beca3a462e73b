// A stream object over the base class alone, opening its protected building
// blocks to the tests.
#pragma once

#include "engine/tlx_pc_stm_mode_if.h"

namespace tlx::engine::test {

class BaseStreamObject final : public CTlxPcStmModeIf {
 public:
  BaseStreamObject() : CTlxPcStmModeIf(kTlxPcStmClassBase) {}
  ~BaseStreamObject() override = default;

  int bCleanup() override {
    vCleanup();
    return TRUE;
  }
  int bSetBitrate(int, int*) override { return FALSE; }
  void vSetMultiSound() override {}
  int bRunMovie(int, int, int, int&, int&, int, int, int, int, int, int) override { return bRunMovie(); }
  int bSetSelectChannel(int, int, int, int) override { return FALSE; }
  int bGetVideoIn(int&) override { return FALSE; }
  int bSetPictureCtrl(int, int, int, int, int) override { return FALSE; }
  int bGetActualBitrate(DWORD&, DWORD&) override { return FALSE; }
  int bSetMovieFile(CString) override { return FALSE; }
  void vAbortConnectionAsync() override {}
  void vAbortConnection() override {}

  using CTlxPcStmModeIf::bRunMovie;
  using CTlxPcStmModeIf::hAddFilter;
  using CTlxPcStmModeIf::hAddFilterDll;
  using CTlxPcStmModeIf::hConnectFilters;
  using CTlxPcStmModeIf::hCreateFilterGraph;
  using CTlxPcStmModeIf::hGetInterface;
  using CTlxPcStmModeIf::hGetUnconnectedPin;
  using CTlxPcStmModeIf::vCleanup;
};

}  // namespace tlx::engine::test
