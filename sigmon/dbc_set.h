#pragma once
// The DBC files the program decodes with: the list the user built (kept in the settings file),
// each file loaded whole or not at all, and one FrameDecoder over those that loaded.
//
// Loading reads and parses files, which may take a while for a large file or a slow medium,
// so it runs on a thread of its own (DbcLoadJob); the owner puts the results into its DbcSet.
// A DbcSet is used on one thread (the GUI thread); the decoder it hands out is shared and
// never changes once built, so a holder keeps using the one it has until it asks again.

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/can_frame.h"
#include "signals/dbc.h"
#include "signals/frame_decoder.h"

namespace velqor {

// One file of the set: its path, and what loading it gave.
struct DbcFile {
  std::string path;
  std::shared_ptr<const dbc::Database> database;  // null: not loaded
  std::string error;  // why it did not load: "path:line:column: what", "path: reason"

  bool loaded() const { return database != nullptr; }
};

// The name of the message a frame's identifier and IDE name in `decoder`; empty when none
// does (and for remote and error frames).
std::string messageName(const dbc::FrameDecoder& decoder, const CanFrame& frame);

// Reads and parses one file: only a regular file is opened (a FIFO would block the open, a
// device may act on it), at most 64 MiB of it.
DbcFile loadDbcFile(const std::string& path);

class DbcSet {
 public:
  DbcSet();

  // The files in the order they were added.
  const std::vector<DbcFile>& files() const { return m_files; }
  std::vector<std::string> paths() const;
  // The decoder over the loaded files, in the list's order (never null; empty without files).
  const std::shared_ptr<const dbc::FrameDecoder>& decoder() const { return m_decoder; }

  // Puts a loaded (or failed) file into the list: in place of the file with the same path,
  // else at the end. The decoder is rebuilt.
  void put(DbcFile file);
  // Takes a file out of the list; false when it was not there.
  bool remove(const std::string& path);
  void clear();

  // The message name of a frame's identifier and IDE; empty when no loaded file defines it
  // (and for remote and error frames).
  std::string messageName(const CanFrame& frame) const {
    return ::velqor::messageName(*m_decoder, frame);
  }

 private:
  void rebuild();

  std::vector<DbcFile> m_files;
  std::shared_ptr<const dbc::FrameDecoder> m_decoder;
};

// Loads files on a thread of its own. `finished` runs on that thread once every file was
// read; the owner then take()s the results (typically it wakes its own thread with
// `finished`). Destroying the job waits for the file being read and drops the rest.
class DbcLoadJob {
 public:
  DbcLoadJob(std::vector<std::string> paths, std::function<void()> finished);
  ~DbcLoadJob();
  DbcLoadJob(const DbcLoadJob&) = delete;
  DbcLoadJob& operator=(const DbcLoadJob&) = delete;

  const std::vector<std::string>& paths() const { return m_paths; }
  // After `finished` ran: one result per path, in order (a stopped job gives fewer).
  std::vector<DbcFile> take();

 private:
  const std::vector<std::string> m_paths;
  std::vector<DbcFile> m_results;  // written by the thread, read after it ended
  std::function<void()> m_finished;
  std::jthread m_thread;
};

}  // namespace velqor
