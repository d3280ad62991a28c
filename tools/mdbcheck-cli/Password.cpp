#include "Password.h"

#include <cstring>

#include "jet/Error.h"
#include "jet/os/Console.h"

namespace cli {
namespace {

jet::Secret& given() {
  static jet::Secret secret;
  return secret;
}

bool takenFromArguments = false;

}  // namespace

bool takePassword(int& argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    char* a = argv[i];
    char* value = nullptr;
    if (std::strcmp(a, "--password") == 0) {
      if (i + 1 >= argc) return false;
      value = argv[++i];
    } else if (std::strncmp(a, "--password=", 11) == 0) {
      value = a + 11;
    } else {
      argv[kept++] = a;
      continue;
    }
    given() = jet::Secret(value);
    takenFromArguments = true;
    // What `ps` shows from now on: the argument's bytes are gone.
    jet::wipe(value, std::strlen(value));
  }
  argc = kept;
  argv[argc] = nullptr;
  return true;
}

std::string_view password() {
  if (!takenFromArguments && given().empty())
    if (std::optional<std::string> env = jet::os::environment("MDBCHECK_PASSWORD")) {
      given() = jet::Secret(*env);
      jet::wipe(env->data(), env->size());
    }
  return given().view();
}

jet::Secret connectString() {
  const std::string_view pw = password();
  return pw.empty() ? jet::Secret() : jet::Secret::concat(";PWD=", pw);
}

std::string passwordRefusal(const std::string& file) {
  std::string text = jet::badPassword().description();
  if (password().empty())
    text += "数据库 '" + file + "' 设有密码：请用 --password 密码 给出它，或把它放在环境变量 "
            "MDBCHECK_PASSWORD 中。";
  return text;
}

}  // namespace cli
