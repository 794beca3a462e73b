// CAacDecPropertyPage: the "Parameters" page of the AAC decoder filter. It
// shows a copy of the filter's parameter block in its controls and applies
// what the user typed, read back by the rules of each control.
#pragma once

#include "dshow/property_page.h"
#include "filters/aac/aac_dec.h"

class CAacDecPropertyPage : public CBasePropertyPage {
 public:
  // The page's dialog and its controls.
  static constexpr int kDialogId = 101;
  enum Control : int {
    kAacModeFirst = 1000,  // radios 1000..1006, one per AAC mode
    kAacModeLast = 1006,
    kSampleRate = 1009,    // combo
    kBitRate = 1011,       // edit
    kCutOff = 1013,        // edit
    kJointStereo = 1015,   // edit
    kDownMix = 1017,       // combo
    kTns = 1018,           // check
    kChannelOrder = 1020,  // edit
    kChannels = 1022,      // edit
    kSampleBits = 1023,    // combo
    kReorder = 1025,       // check
  };

  CAacDecPropertyPage(IUnknown* outer, HRESULT* hr);
  ~CAacDecPropertyPage() override;
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  HRESULT OnActivate() override;
  INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  HRESULT OnDeactivate() override;
  HRESULT OnApplyChanges() override;

  // The page's copy of the block.
  const AacDecParams& Params() const { return m_copy; }

 private:
  void ShowParams();
  void ReadControls();

  IAacDecParams* m_pParams = nullptr;  // with a reference, while connected
  AacDecParams m_copy{};
  bool m_shown = false;
};
