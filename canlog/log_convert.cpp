#include "canlog/log_convert.h"

#include "canlog/log_reader.h"

namespace velqor {

ConvertResult ConvertLog(const std::filesystem::path& in, LogFormat from,
                         const std::filesystem::path& out, LogFormat to,
                         const std::function<bool(const ConvertProgress&)>& progress,
                         LogWriterOptions options) {
  options.live = false;
  std::unique_ptr<LogReader> reader = OpenLogReader(in, from);
  std::unique_ptr<LogWriter> writer = MakeLogWriter(to, std::move(options));
  writer->Open(out);
  ConvertResult result;
  CanFrame frame;
  while (reader->Next(frame)) {
    writer->Write(frame);
    if ((++result.frames & 0xFFFF) == 0 && progress &&
        !progress({result.frames, reader->Position(), reader->Size()})) {
      result.cancelled = true;
      return result;  // the writer goes without Close(): no output file
    }
  }
  writer->Close();
  if (progress) progress({result.frames, reader->Position(), reader->Size()});
  result.notes = reader->Notes();
  for (std::string& note : writer->Notes()) result.notes.push_back(std::move(note));
  return result;
}

}  // namespace velqor
