// What an image button shows: which of its images and which of its text
// colours for its state, and what kind of button a style makes. The button
// calls these; they touch no window.
#pragma once

#include "common/tlx_pc_cmn_img_btn.h"
#include "win32/types.h"

namespace tlx::common {

// The text colours, in the order they are given.
enum class ImgBtnColour { kNormal, kPressed, kFocus, kDisabled, kHover };

struct ImgBtnState {
  bool disabled = false;
  bool pressed = false;
  bool hover = false;
  bool focus = false;
  bool checked = false;
  int blinkPhase = 0;
};

struct ImgBtnLook {
  int image;  // an ECmnImgBtnImage; -1 when the button has no image for the state
  ImgBtnColour colour;
};

// The states are taken in the order disabled, pressed, hover, focus. The
// colour is that of the first state that applies (the normal colour when none
// does). The image is that of the first applying state that has one (its
// checked form when checked); else the normal image (the checked one when
// checked and loaded), or the blink image while the phase is 1, which only an
// unchecked button in none of the states shows. `loaded[i]` says whether
// image i is loaded.
ImgBtnLook ChooseImgBtnLook(const ImgBtnState& state, const bool (&loaded)[IMG_COUNT]);

// Button kinds.
inline constexpr int kKindPush = 0;
inline constexpr int kKindCheckBox = 2;
inline constexpr int kKindRadio = 4;
// Bit 0x2: check box; else bit 0x4, or bits 0x1 and 0x8 together: radio
// button; else push button.
int ImgBtnKindOfStyle(DWORD style);

}  // namespace tlx::common
