#include "common/img_btn_look.h"

namespace tlx::common {

ImgBtnLook ChooseImgBtnLook(const ImgBtnState& state, const bool (&loaded)[kImgCount]) {
  struct Step {
    bool applies;
    int image;
    ImgBtnColour colour;
  };
  const int checked = state.checked ? 1 : 0;
  const Step steps[] = {{state.disabled, kImgDisabled + checked, ImgBtnColour::kDisabled},
                        {state.pressed, kImgPressed + checked, ImgBtnColour::kPressed},
                        {state.hover, kImgHover + checked, ImgBtnColour::kHover},
                        {state.focus, kImgFocus + checked, ImgBtnColour::kFocus}};
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
  if (state.checked && loaded[kImgNormalChecked]) {
    look.image = kImgNormalChecked;
  } else if (!state.checked && !anyState && state.blinkPhase == 1 && loaded[kImgBlink]) {
    look.image = kImgBlink;
  } else if (loaded[kImgNormal]) {
    look.image = kImgNormal;
  }
  return look;
}

int ImgBtnKindOfStyle(DWORD style) {
  if (style & 0x2) return kKindCheckBox;
  if ((style & 0x4) || (style & 0x9) == 0x9) return kKindRadio;
  return kKindPush;
}

}  // namespace tlx::common
