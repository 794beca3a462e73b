#include "rtsp/media_sink.h"

void FramedSource::getNextFrame(unsigned char* to, unsigned maxSize,
                                afterGettingFunc* afterGettingFunc, void* afterGettingClientData,
                                onCloseFunc* onCloseFunc, void* onCloseClientData) {
  if (fIsCurrentlyAwaitingData) {
    envir().log("getNextFrame refused: a request is already pending\n");
    return;
  }
  fTo = to;
  fMaxSize = maxSize;
  fNumTruncatedBytes = 0;
  fDurationInMicroseconds = 0;
  fAfterGettingFunc = afterGettingFunc;
  fAfterGettingClientData = afterGettingClientData;
  fOnCloseFunc = onCloseFunc;
  fOnCloseClientData = onCloseClientData;
  fIsCurrentlyAwaitingData = true;
  doGetNextFrame();
}

void FramedSource::stopGettingFrames() {
  fIsCurrentlyAwaitingData = false;
  doStopGettingFrames();
}

void FramedSource::handleClosure() {
  fIsCurrentlyAwaitingData = false;
  if (fOnCloseFunc != nullptr) fOnCloseFunc(fOnCloseClientData);
}

void FramedSource::afterGetting(FramedSource* source) {
  source->fIsCurrentlyAwaitingData = false;
  if (source->fAfterGettingFunc != nullptr) {
    source->fAfterGettingFunc(source->fAfterGettingClientData, source->fFrameSize,
                              source->fNumTruncatedBytes, source->fPresentationTime,
                              source->fDurationInMicroseconds);
  }
}

bool MediaSink::startPlaying(FramedSource& source, afterPlayingFunc* afterFunc,
                             void* afterClientData) {
  if (fSource != nullptr) {
    envir().setResultMsg("This sink is already being played");
    return false;
  }
  fSource = &source;
  fAfterFunc = afterFunc;
  fAfterClientData = afterClientData;
  if (continuePlaying()) return true;
  fSource = nullptr;
  return false;
}

void MediaSink::stopPlaying() {
  if (fSource != nullptr) fSource->stopGettingFrames();
  fSource = nullptr;
  fAfterFunc = nullptr;
}

void MediaSink::onSourceClosure(void* clientData) {
  MediaSink* sink = static_cast<MediaSink*>(clientData);
  afterPlayingFunc* after = sink->fAfterFunc;
  void* data = sink->fAfterClientData;
  sink->fSource = nullptr;
  sink->fAfterFunc = nullptr;
  if (after != nullptr) after(data);
}
