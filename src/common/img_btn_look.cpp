#include "common/img_btn_look.h"

namespace tlx::common {

ImgBtnLook ChooseImgBtnLook(const ImgBtnState& state, const bool (&loaded)[IMG_COUNT]) {
  struct Step {
    bool applies;
    int image;
    ImgBtnColour colour;
  };
  const int checked = state.checked ? 1 : 0;
  const Step steps[] = {{state.disabled, IMG_DISABLED + checked, ImgBtnColour::kDisabled},
                        {state.pressed, IMG_PRESSED + checked, ImgBtnColour::kPressed},
                        {state.hover, IMG_HOVER + checked, ImgBtnColour::kHover},
                        {state.focus, IMG_FOCUS + checked, ImgBtnColour::kFocus}};
  ImgBtnLook look{-1, ImgBtnColour::kNormal};
  bool anyState = false;
  for (const Step& step : steps) {
    if (!step.applies) continue;
    if (!anyState) look.colour = step.colour;
    anyState = true;
    if (loaded[step.image]) {
      look.image = step.image;
      return look;
    }
  }
  if (state.checked && loaded[IMG_NORMAL_CHECKED]) {
    look.image = IMG_NORMAL_CHECKED;
  } else if (!state.checked && !anyState && state.blinkPhase == 1 && loaded[IMG_BLINK]) {
    look.image = IMG_BLINK;
  } else if (loaded[IMG_NORMAL]) {
    look.image = IMG_NORMAL;
  }
  return look;
}

int ImgBtnKindOfStyle(DWORD style) {
  if (style & 0x2) return kKindCheckBox;
  if ((style & 0x4) || (style & 0x9) == 0x9) return kKindRadio;
  return kKindPush;
}

}  // namespace tlx::common
