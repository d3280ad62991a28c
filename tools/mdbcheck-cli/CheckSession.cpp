#include "CheckSession.h"

#include <charconv>
#include <cstdio>
#include <iostream>

#include "check/Commands.h"
#include "check/Messages.h"
#include "data/Dao.h"
#include "jet/Dump.h"
#include "jet/Error.h"
#include "Password.h"
#include "jet/os/Env.h"
#include "repair/Undo.h"

namespace cli {

namespace {

bool isOption(const std::string& a) {
  return a == "--dates" || a == "--chars" || a == "--date" || a == "--mode" || a == "--undo-log";
}

// A column type as the Access table designer names it.
std::string typeName(int daoType) {
  switch (daoType) {
    case dao::dbBoolean: return "是/否";
    case dao::dbByte: return "字节";
    case dao::dbInteger: return "整型";
    case dao::dbLong: return "长整型";
    case dao::dbCurrency: return "货币";
    case dao::dbSingle: return "单精度型";
    case dao::dbDouble: return "双精度型";
    case dao::dbDate: return "日期/时间";
    case dao::dbBinary: return "二进制";
    case dao::dbText: return "文本";
    case dao::dbLongBinary: return "OLE 对象";
    case dao::dbMemo: return "备注";
    case dao::dbGUID: return "同步复制 ID";
    case dao::dbBigInt: return "大数";
    case dao::dbDecimal: return "小数";
    case jet::daotype::kComplex: return "附件或多值";
    case jet::daotype::kDateTimeExtended: return "扩展日期/时间";
    default: return "类型 " + std::to_string(daoType);
  }
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
      o.kind = &check::kDateCheck;
    } else if (a == "--chars" && !modeGiven) {
      modeGiven = true;
      o.kind = &check::kCharCheck;
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
    usageError(usage);
    return std::nullopt;
  }
  return o;
}

std::optional<CheckOptions> parseCheckCommand(const Args& args, size_t positional,
                                              const std::string& usage) {
  if (args.size() < positional) {
    usageError(usage);
    return std::nullopt;
  }
  return parseCheckOptions(args, positional, usage);
}

CheckSession::CheckSession() {
  state.checkChars = check::kDefaultCheckChars;
  state.keepsUndo = false;  // one command a run: only --undo-log keeps it
}

CheckSession::~CheckSession() { check::CloseAtUnload(state); }

bool CheckSession::start(const std::string& file, const CheckOptions& options) {
  // A log that cannot be written fails the repair before its first change.
  if (options.undoLog)
    state.undoFile = std::make_shared<repair::UndoFile>(jet::os::Env::system(), *options.undoLog);
  ui.dialogs.files.push_back(file);
  if (!password().empty()) ui.dialogs.passwords.emplace_back(password());
  if (!took(check::OpenDatabaseFile(state, ui.controls))) return false;
  if (!state.database && !ui.dialogs.passwordBoxes.empty()) {  // the password box went unanswered
    std::cerr << passwordRefusal(file) << "\n";
    failed_ = true;
    return false;
  }
  if (options.chars) {
    // The editor's rule notices are printed but are no refusal; no tree is shown here, so
    // the scan it may ask for is not run.
    ui.dialogs.answers.push_back(*options.chars);
    if (!took(check::EditCheckChars(state, ui.controls, "Char", ui.status.panelText(3))))
      return false;
  }
  state.kind = options.kind;
  return true;
}

bool CheckSession::took(const check::Result& result) {
  std::cout.flush();  // the lines a batch printed come before its messages
  changed_ = result.changed;
  for (const check::Message& m : result.messages) std::cerr << m.text << "\n";
  if (!result.ok()) failed_ = true;
  return result.ok();
}

bool CheckSession::isCandidate(const std::string& table, const std::string& column) {
  // The scan's own rule: ordinary local tables only, and of their columns those of the
  // check's type. Anything else is named and refused before a query runs.
  std::string refusal;
  try {
    const jet::Database& db = state.database ? state.database->engine() : throw jet::invalidObject();
    const jet::TableInfo* t = db.findTable(table);
    if (!t) {
      refusal = jet::noSuchTable(table).description();
    } else if (t->linked) {
      refusal = "表 '" + t->name + "' 是链接表，它的数据在另一个数据库中，不能在这里检查。";
    } else if (t->attributes != 0) {
      refusal = "表 '" + t->name + "' 是系统表或隐藏的表，不在检查之列。";
    } else if (const jet::ColumnInfo* c = t->findColumn(column); !c) {
      refusal = "表 '" + t->name + "' 没有字段 '" + column + "'。";
    } else if (c->daoType != state.kind->candidateType) {
      refusal = "字段 '" + c->name + "' 的类型是" + typeName(c->daoType) + "，" +
                state.kind->wrongType;
    }
  } catch (const jet::Error& e) {
    refusal = e.description();
  }
  if (refusal.empty()) return true;
  std::cerr << refusal << "\n";
  failed_ = true;
  return false;
}

bool CheckSession::drillDown(const std::string& table, const std::string& column) {
  using check::NodeId;
  if (!isCandidate(table, column)) return false;
  const NodeId root, tableNode{NodeId::Kind::Table, table, {}},
      columnNode{NodeId::Kind::Column, table, column};
  ui.tree.clear();
  ui.tree.add(root, check::msg::kRootText);
  ui.tree.add(tableNode, table);
  ui.tree.add(columnNode, column);
  ui.tree.select(columnNode);
  took(check::DrillDown(state, ui.controls));
  return !failed_;
}

bool CheckSession::startOnColumn(const Args& args, const CheckOptions& options) {
  return start(args[0], options) && drillDown(args[1], args[2]);
}

bool CheckSession::startBatch(const Args& args, const CheckOptions& options) {
  streamList();
  if (!startOnColumn(args, options) || !repairable(args[1], args[2])) return false;
  if (ui.list.count() > 0) ui.list.select(0);
  return true;
}

bool CheckSession::repairable(const std::string& table, const std::string& column) {
  try {
    jet::Database& db = state.database ? state.database->engine() : throw jet::invalidObject();
    const jet::TableInfo* t = db.findTable(table);
    const jet::ColumnInfo* c = t ? t->findColumn(column) : nullptr;
    if (c) db.checkWritable(*t, c->position);
    return true;
  } catch (const jet::Error& e) {
    std::cerr << e.description() << "\n";
    failed_ = true;
    return false;
  }
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
  if (!options.undoLog || !state.undoFile) return true;
  repair::UndoFile& log = *state.undoFile;
  try {
    if (log.prepared()) {
      if (changed_ > 0) return true;
      // A repair that did not land, and the log that claimed it could not be removed.
      throw jet::Error(jet::err::kDiskError, "撤销记录文件 '" + log.path() +
                                                 "' 未能删除；其中记录的修复没有写入数据库，不要用它撤销。");
    }
    log.writeEmpty(table, column);
  } catch (const jet::Error& e) {
    std::cerr << e.description() << "\n";
    failed_ = true;
    return false;
  }
  return true;
}

int CheckSession::finishRepair(const check::Result& result, const CheckOptions& options,
                               const Args& args) {
  took(result);
  saveUndo(options, args[1], args[2]);
  printList();
  return exitCode();
}

void CheckSession::printTree() const { std::cout << ui.tree.render(); }

void CheckSession::printList() const {
  // One console line per list line: CR, LF, TAB and backslash escaped as a dump escapes
  // them. A streaming list printed its lines as the batch went.
  ui.list.print();
}

}  // namespace cli
