#include "CheckSession.h"

#include <charconv>
#include <cstdio>
#include <iostream>

#include "check/Commands.h"
#include "check/Messages.h"
#include "jet/Error.h"
#include "repair/Undo.h"

namespace cli {

namespace {

bool isOption(const std::string& a) {
  return a == "--dates" || a == "--chars" || a == "--date" || a == "--mode" || a == "--undo-log";
}

}  // namespace

std::optional<CheckOptions> parseCheckOptions(const Args& args, size_t first,
                                              const std::string& usage) {
  CheckOptions o;
  bool modeGiven = false;
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--dates" && !modeGiven) {
      modeGiven = true;
    } else if (a == "--chars" && !modeGiven) {
      modeGiven = true;
      o.charMode = true;
      if (i + 1 < args.size() && !isOption(args[i + 1])) o.chars = args[++i];
    } else if (a == "--date" && i + 1 < args.size() && !o.date) {
      o.date = args[++i];
    } else if (a == "--mode" && i + 1 < args.size() && !o.mode) {
      o.mode = args[++i];
    } else if (a == "--undo-log" && i + 1 < args.size() && !o.undoLog) {
      o.undoLog = args[++i];
    } else {
      modeGiven = false;
      break;
    }
  }
  if (!modeGiven) {
    std::cerr << "用法: mdbcheck-cli " << usage << "\n";
    return std::nullopt;
  }
  return o;
}

CheckSession::CheckSession() {
  state.checkChars = app::kDefaultCheckChars;
  ui.dialogs.onMessage = [this](const std::string& m) {
    std::cerr << m << "\n";
    failed_ = true;
  };
}

CheckSession::~CheckSession() { check::CloseAtUnload(state); }

bool CheckSession::start(const std::string& file, const CheckOptions& options) {
  if (options.undoLog) {
    // A log that cannot be written is found out before anything changes.
    const std::string probe = *options.undoLog + ".tmp";
    if (FILE* f = std::fopen(probe.c_str(), "wb")) {
      std::fclose(f);
      std::remove(probe.c_str());
    } else {
      std::cerr << "无法写入撤销记录文件 '" << *options.undoLog << "'\n";
      failed_ = true;
      return false;
    }
  }
  ui.dialogs.files.push_back(file);
  check::OpenDatabaseFile(state, ui.controls);
  if (failed_) return false;
  if (options.chars) {
    // The editor with the date check current, so that it does not scan on its own; its
    // rule announcements are information, not failures.
    ui.dialogs.answers.push_back(*options.chars);
    ui.dialogs.onMessage = [this](const std::string& m) {
      std::cerr << m << "\n";
      if (m == check::msg::kCharsInvalid) failed_ = true;
    };
    state.charMode = 0;
    check::EditCheckChars(state, ui.controls, "Char", ui.status.panelText(3));
    ui.dialogs.onMessage = [this](const std::string& m) {
      std::cerr << m << "\n";
      failed_ = true;
    };
    if (failed_) return false;
  }
  state.charMode = options.charMode ? -1 : 0;
  return true;
}

bool CheckSession::drillDown(const std::string& table, const std::string& column) {
  using check::NodeId;
  const NodeId root, tableNode{NodeId::Kind::Table, table, {}},
      columnNode{NodeId::Kind::Column, table, column};
  ui.tree.clear();
  ui.tree.add(root, check::msg::kRootText);
  ui.tree.add(tableNode, table);
  ui.tree.add(columnNode, column);
  ui.tree.select(columnNode);
  check::DrillDown(state, ui.controls);
  return !failed_;
}

bool CheckSession::selectLine(const std::string& text) {
  long line = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), line);
  if (ec != std::errc() || end != text.data() + text.size()) line = -1;
  if (line < 0 || line >= ui.list.count()) {
    std::cerr << "没有第 " << text << " 行（列表共 " << ui.list.count() << " 行）\n";
    failed_ = true;
    return false;
  }
  ui.list.select(static_cast<int>(line));
  return true;
}

bool CheckSession::saveUndo(const CheckOptions& options, const std::string& table,
                            const std::string& column) {
  if (!options.undoLog) return true;
  repair::UndoLog empty{table, column, {}};
  try {
    repair::writeUndoFile(*options.undoLog, state.undo ? *state.undo : empty);
  } catch (const jet::Error& e) {
    std::cerr << e.description() << "\n";
    failed_ = true;
    return false;
  }
  return true;
}

void CheckSession::printTree() const { std::cout << ui.tree.render(); }

void CheckSession::printList() const {
  for (const std::string& line : ui.list.items()) std::cout << escapeLine(line) << "\n";
}

std::string escapeLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace cli
