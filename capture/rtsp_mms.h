// RTSP DESCRIBE requests and MMS open-file commands, each a URL of its own.
#pragma once

#include "frame_dispatch.h"

namespace quillnet {

// True for the payload of an MMS LinkViewerToMacOpenFile command.
bool IsMmsOpenFile(ByteView payload);

void HandleRtspDescribe(Frame &frame);
void HandleMmsOpenFile(Frame &frame);

}
