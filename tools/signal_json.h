#pragma once
// `--dbc FILE` of the commands that print received frames as JSON (decode, monitor --json):
// the frames whose identifier and IDE a loaded DBC file defines get the message's name, the
// physical value of each signal the frame carries (for a multiplexed message, the
// multiplexor and the signals its value selects) and the value-table texts of their raw
// values:
//
//   {"code":202,...,"data":[...],"message":"Msg1","signals":{"Speed":46.6,"Gear":3},
//    "texts":{"Gear":"D"}}
//
// Values are JSON numbers, exact decimals where the signal's scaling allows (a 64-bit value
// keeps all its digits); a float signal's NaN or infinity is null. "texts" appears only when
// some signal has a text. One instance is used by one thread at a time.

#include <iosfwd>
#include <string>
#include <vector>

#include "link/can_frame.h"
#include "link/interpreter.h"
#include "signals/frame_decoder.h"

namespace velqor::cli {

class SignalJson {
 public:
  // Loads the files, earlier ones first where two define an identifier. False, with `error`
  // naming the file, line and column and what was wrong, when one does not load; nothing is
  // loaded then. Says on `notes` how many warnings a file has and which identifiers were
  // defined twice.
  bool load(const std::vector<std::string>& paths, std::string& error, std::ostream& notes);
  bool active() const { return !m_decoder.databases().empty(); }

  // Adds the fields before the closing brace of `json` when the frame names a message.
  void annotate(std::string& json, const CanFrame& frame);

 private:
  dbc::FrameDecoder m_decoder;
  dbc::DecodedFrame m_decoded;
};

// A JSON string of UTF-8 text (DBC texts are UTF-8 once loaded).
std::string jsonUtf8String(std::string_view text);

}  // namespace velqor::cli
