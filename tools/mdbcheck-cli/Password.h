#pragma once
// The database password on the console: `--password PW` anywhere on the command line, or
// the environment variable MDBCHECK_PASSWORD, which keeps it out of the process list. The
// option is taken out of the arguments before a command sees them, and the command line's
// own copy is overwritten. Commands hand it to the engine and keep no copy of their own.
#include <string>
#include <string_view>

#include "jet/Error.h"
#include "jet/Secret.h"

namespace cli {

// Takes `--password PW` and `--password=PW` out of argv (argc follows). False when
// --password has no value.
bool takePassword(int& argc, char** argv);

// The password the operator gave; empty when none.
std::string_view password();
// The password as a DAO connect string (";PWD=..."), empty when none was given.
jet::Secret connectString();

// Why a file with a database password was not opened: how to give a password when none
// was given, else that the one given is wrong.
std::string passwordRefusal(const std::string& file);

// Runs open(password()); a refusal for want of a password says how to give one.
template <typename Open>
auto withPassword(const std::string& file, Open&& open) -> decltype(open(std::string_view())) {
  try {
    return open(password());
  } catch (const jet::Error& e) {
    if (e.number() == jet::err::kBadPassword) throw jet::Error(e.number(), passwordRefusal(file));
    throw;
  }
}

}  // namespace cli
