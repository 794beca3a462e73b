// The platform's default audio renderer ("Audio Renderer", CLSID_DSoundRender):
// plays 16-bit PCM through a looping sound buffer, each sample at the place
// its start time gives it, and serves as the graph's reference clock, read
// from the audio under the play cursor. Unlike the player's live renderer it
// holds back a source that delivers faster than real time, so a file's
// backlog is played, not dropped.
#pragma once

#include "com/unknown_base.h"

namespace tlx::dshow {
CUnknown* CreateDSoundRenderer(IUnknown* outer, HRESULT* hr);
}
