#pragma once
// One decoded device message as one line of JSON, the form `velqor-cli decode` and
// `velqor-cli monitor --json` print.

#include <string>

#include "link/can_frame.h"
#include "link/interpreter.h"

namespace velqor::cli {

// A received frame: {"code":202,"ide":0,"id":291,"dlc":2,"data":[17,34,0,0,0,0,0,0]}.
std::string FrameJson(const CanFrame& frame);
// Any other message: {"code":200,"text":"CRC_ERROR","tx":1,"rx":2} and so on, the fields
// each code carries. Texts are JSON strings (bytes outside ASCII as \u00XX).
std::string MessageJson(int code, const DeviceMessage& message);

std::string JsonString(std::string_view text);

}  // namespace velqor::cli
