#pragma once
// Second readings of a file after a repair: through a fresh engine and through mdbtools,
// an independent reader.
#include <optional>
#include <string>
#include <vector>

namespace checktest {

// The values of one column (as the list shows them; Null as "\N"), every live row in scan
// order, read through a fresh workspace opened on the file.
std::vector<std::string> columnThroughEngine(const std::string& path, const std::string& table,
                                             const std::string& column);
// The same column as mdb-export prints it (dates as "yyyy-MM-dd HH:mm:ss", Null as "\N").
std::vector<std::string> columnThroughMdbtools(const std::string& path, const std::string& table,
                                               const std::string& column);
// The lines the column's select query gives through a fresh workspace.
std::vector<std::string> selectThroughEngine(const std::string& path, const std::string& sql);

// Why the engine cannot yet write `column` of `table` (tried on a private copy, writing a
// row's value back unchanged), or nothing when it can.
std::optional<std::string> writeRefusal(const std::string& fixture, const std::string& table,
                                        const std::string& column);

// "mdbcheck-cli verify FILE": nothing when the file is sound or the command does not exist
// yet, else its report.
std::optional<std::string> verifyProblems(const std::string& path);

struct CliResult {
  std::string out, err;
  int status = -1;
};
// Runs mdbcheck-cli with these arguments (each passed as one word).
CliResult runCli(const std::vector<std::string>& args);

}  // namespace checktest
