#pragma once
// PseudoTerminal: the device end of a pseudo-terminal pair, for serving a serial protocol to
// programs that open /dev/pts/N as if it were a serial port.
//
// The slave side is put in raw mode at once (no echo, no line editing, no CR/LF translation),
// so a host that opens it without setting the line up itself still sees our bytes unchanged.
// We keep the slave open ourselves for the pair's whole life: hosts may open and close it
// any number of times, and the master never reads as hung up in between (which would make
// poll report it readable without end). The master is non-blocking.

#include <string>

namespace velqor {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pair. False with `error` saying which step failed and why.
  bool Open(std::string& error);
  void Close();

  int Master() const { return m_master; }
  // The path hosts open, e.g. /dev/pts/3.
  const std::string& Path() const { return m_path; }

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_path;
};

// Makes `link` a symbolic link to `target`. An existing symbolic link at `link` is replaced
// (one left behind by an earlier run); any other file there is left alone and reported.
bool MakeLink(const std::string& target, const std::string& link, std::string& error);
// Removes `link` if it is still a symbolic link to `target`.
void RemoveLink(const std::string& target, const std::string& link);

}  // namespace velqor
