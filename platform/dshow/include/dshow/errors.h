// Result codes and graph event codes of the media-streaming layer.
#pragma once

#include "com/hresult.h"

inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = 0x00040237;
inline constexpr HRESULT VFW_S_NO_STOP_TIME = 0x00040270;

inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = static_cast<HRESULT>(0x80040203);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204);
inline constexpr HRESULT VFW_E_FILTER_ACTIVE = static_cast<HRESULT>(0x80040205);
inline constexpr HRESULT VFW_E_NO_TYPES = static_cast<HRESULT>(0x80040206);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = static_cast<HRESULT>(0x80040207);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = static_cast<HRESULT>(0x80040208);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = static_cast<HRESULT>(0x8004020A);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = static_cast<HRESULT>(0x8004020B);
inline constexpr HRESULT VFW_E_BUFFER_NOTSET = static_cast<HRESULT>(0x8004020C);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = static_cast<HRESULT>(0x8004020D);
inline constexpr HRESULT VFW_E_BADALIGN = static_cast<HRESULT>(0x8004020E);
inline constexpr HRESULT VFW_E_ALREADY_COMMITTED = static_cast<HRESULT>(0x8004020F);
inline constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = static_cast<HRESULT>(0x80040210);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = static_cast<HRESULT>(0x80040211);
inline constexpr HRESULT VFW_E_SIZENOTSET = static_cast<HRESULT>(0x80040212);
inline constexpr HRESULT VFW_E_NO_CLOCK = static_cast<HRESULT>(0x80040213);
inline constexpr HRESULT VFW_E_NO_SINK = static_cast<HRESULT>(0x80040214);
inline constexpr HRESULT VFW_E_NO_INTERFACE = static_cast<HRESULT>(0x80040215);
inline constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218);
inline constexpr HRESULT VFW_E_CHANGING_FORMAT = static_cast<HRESULT>(0x80040219);
inline constexpr HRESULT VFW_E_STATE_CHANGED = static_cast<HRESULT>(0x80040223);
inline constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224);
inline constexpr HRESULT VFW_E_NOT_PAUSED = static_cast<HRESULT>(0x80040225);
inline constexpr HRESULT VFW_E_NOT_RUNNING = static_cast<HRESULT>(0x80040226);
inline constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227);
inline constexpr HRESULT VFW_E_START_TIME_AFTER_END = static_cast<HRESULT>(0x80040228);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022A);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED = static_cast<HRESULT>(0x8004022B);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = static_cast<HRESULT>(0x8004022C);
inline constexpr HRESULT VFW_E_DUPLICATE_NAME = static_cast<HRESULT>(0x8004022D);
inline constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022E);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = static_cast<HRESULT>(0x80040249);
inline constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = static_cast<HRESULT>(0x80040251);

// Graph events (IMediaEventSink::Notify, IMediaEvent::GetEvent).
inline constexpr long EC_COMPLETE = 0x01;
inline constexpr long EC_USERABORT = 0x02;
inline constexpr long EC_ERRORABORT = 0x03;
inline constexpr long EC_TIME = 0x04;
inline constexpr long EC_REPAINT = 0x05;
inline constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
inline constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
inline constexpr long EC_ERROR_STILLPLAYING = 0x08;
inline constexpr long EC_PALETTE_CHANGED = 0x09;
inline constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
inline constexpr long EC_QUALITY_CHANGE = 0x0B;
inline constexpr long EC_SHUTTING_DOWN = 0x0C;
inline constexpr long EC_CLOCK_CHANGED = 0x0D;
inline constexpr long EC_PAUSED = 0x0E;
inline constexpr long EC_OPENING_FILE = 0x10;
inline constexpr long EC_BUFFERING_DATA = 0x11;
inline constexpr long EC_FULLSCREEN_LOST = 0x12;
inline constexpr long EC_ACTIVATE = 0x13;
inline constexpr long EC_NEED_RESTART = 0x14;
inline constexpr long EC_WINDOW_DESTROYED = 0x15;
inline constexpr long EC_DISPLAY_CHANGED = 0x16;
inline constexpr long EC_STARVATION = 0x17;
inline constexpr long EC_VMR_RENDERDEVICE_SET = 0x53;
inline constexpr long EC_USER = 0x8000;
