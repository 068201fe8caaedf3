#pragma once
// Reading a DBC file: a hand-written recursive-descent parser of the statements a decoder
// needs (VERSION, NS_, BS_, BU_, BO_, SG_, BO_TX_BU_, CM_, BA_DEF_, BA_DEF_DEF_, BA_, VAL_,
// VAL_TABLE_, SIG_VALTYPE_, SG_MUL_VAL_) that steps over the other statements of the format
// (environment variables, signal types and groups, relations, categories, filters).
//
// A file either loads whole or not at all: the first fault in its syntax ends the parse with
// the file, line, column and what was expected there, and no database. References that
// cannot be resolved (a comment for an unknown message, a value table for an unknown signal)
// and features that are read but not decoded are warnings of the loaded database.

#include <memory>
#include <string>
#include <string_view>

#include "signals/dbc.h"

namespace velqor::dbc {

struct DbcError {
  std::string file;
  std::uint32_t line = 0;    // from 1; 0 when the file could not be read at all
  std::uint32_t column = 0;  // from 1, in characters
  std::string message;       // "expected ..., got ..."

  // "file:line:column: message", or "file: message" without a position.
  std::string text() const;
};

struct DbcResult {
  std::shared_ptr<const Database> database;  // null when the file did not load
  DbcError error;

  bool ok() const { return database != nullptr; }
};

// Parses the bytes of a DBC file; `fileName` names it in the database and in errors.
DbcResult parseDbc(std::string_view bytes, std::string fileName);

// Reads and parses a file (at most 64 MiB).
DbcResult loadDbcFile(const std::string& path);

}  // namespace velqor::dbc
